#pragma once
// What one of the lab's systems wants to receive: which datasets, which columns under which headers,
// and the bytes of its CSV form (separator, decimal mark, encoding, line end, date and time form), and
// where the files go. Profiles are small INI files; one with an error is refused whole, with the
// file, the line and the reason.
#include "DatasetFields.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One dataset as a profile sees it: the archived fields and what the archive knows around them.
struct DeliveryRow {
    qint64 id = 0;
    QString meter;
    QString serial;
    DatasetFields::Values fields;
    QString day;      // ISO date of the dataset, empty when it has none
    QString sampleId; // the lab's sample ID from a worklist, empty when none was given
    QDateTime importedUtc;
    QString importedBy;
};

struct ExportProfile {
    enum Column {
        FieldColumn, // one of DatasetFields (field says which)
        SampleId,
        Meter,
        SerialNumber,
        ImportedAt,
        ImportedBy,
    };
    struct ColumnSource {
        Column kind = FieldColumn;
        DatasetFields::Field field = DatasetFields::Count;
    };
    enum Encoding { Utf8, Utf8Bom, Windows1252 };

    QString name; // the file's base name
    QString path;
    QList<ColumnSource> columns;
    QStringList headers;
    bool header = true;
    QChar separator = QLatin1Char(';');
    QChar decimalMark = QLatin1Char('.');
    Encoding encoding = Utf8;
    QByteArray lineEnd = "\r\n";
    QString dateFormat = QStringLiteral("yyyy-MM-dd");
    QString timeFormat = QStringLiteral("HH:mm:ss");
    bool okOnly = false;          // Statuses=OK: only datasets whose every status is OK
    QStringList programs;         // empty: all
    QStringList meters;           // serial numbers or model names; empty: all
    QString folder;               // the drop folder; empty: delivered only on request (deliver --to)
    bool unmappedMeterId = false; // SampleId falls back to the meter's own ID

    // Longest profile file read; a longer one is no profile.
    static constexpr qint64 kMaxBytes = 64 * 1024;

    // Reads a profile file; false with the reason naming the file and line.
    static bool read(const QString &path, ExportProfile *profile, QString *error);
    // Every profile of the user's folder and of the PC's (the user's wins for one name), by name; the
    // refused ones are named in errors and left out.
    static QList<ExportProfile> loadAll(QStringList *errors);
    static QString userFolder();
    static QString systemFolder();

    // The INI text of this profile (the editor writes it; read gives the same profile back).
    QString toIni() const;

    bool accepts(const DeliveryRow &row) const;
    // The whole file for rows: header, one line per row, in the profile's encoding.
    QByteArray format(const QList<DeliveryRow> &rows) const;
    // Appends one row's line, as format does (for large deliveries built in parts).
    void appendRow(QString &text, const DeliveryRow &row) const;
    QByteArray encode(const QString &text) const;
    QString columnName(int i) const;
};
