#pragma once
// One import as the archive keeps it: where and when it came from, who made it, the original bytes,
// and the datasets read from those bytes. The datasets are always derived from the bytes, so what
// the archive shows can be proved against what the meter (or the file) delivered.
#include "DatasetFields.h"
#include "SystemAccount.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class CCommunication;
class CDevice;
struct MeasuredValues;

struct ArchivedDataset {
    QString line; // the record line as delivered, surplus fields included
    DatasetFields::Values fields;
    QString day;            // the dataset's date as yyyy-MM-dd; empty when it does not read as a date
    QByteArray contentHash; // SHA-256 of the line's bytes: tells a repeat from a conflict
};

struct ImportRecord {
    enum Source { FromMeter, FromFile };

    QString uid; // unique over every archive: a pending import is sent exactly once
    QDateTime importedUtc;
    int utcOffset = 0; // seconds east of UTC on the importing PC
    Source source = FromMeter;
    QString meter;
    QString serial;
    QString firmware;
    QString variant;
    QString port;
    int baud = 0;
    QString fileName;       // FromFile: the file's path as given
    QDateTime documentDate; // the measured-value file's own date; the import time for a meter
    QString login;
    SystemAccount account;
    QString programVersion;
    QByteArray raw;    // the original bytes
    QString rawSha256; // hex

    static QString sourceName(Source source);
    static bool sourceFromName(const QString &name, Source *source);

    // An import of a meter's answer (the raw dataset text as the link decoded it; the line's code
    // page maps every byte to a character, so the bytes come back unchanged).
    static ImportRecord fromMeter(const QString &answer, const QDateTime &at);
    // The same, with the recognised meter, its line and the login that imported it.
    static ImportRecord fromMeter(const QString &answer, const QDateTime &at, const CDevice &device,
                                  const CCommunication &communication, const QString &login);
    // The largest measured-value file: its head and DatasetFields::kMaxNumber lines of 14 fields as
    // wide as a meter writes them come to 15 MB; twice that for a file holding a meter's memory twice.
    static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;

    // The measured-value file at path, read for the archive: a regular file of at most kMaxFileBytes
    // (a folder, a pipe or a device is refused at once, never waited on) whose every dataset is one a
    // meter can have written. false with the reason for the user, naming the file and the line.
    static bool readFile(const QString &path, const QDateTime &at, ImportRecord *record, QString *problem);
    // An import of a measured-value file's bytes; false when they are no measured-value file or hold a
    // line that is no dataset a meter writes, with the reason in problem when given.
    static bool fromFile(const QString &path, const QByteArray &bytes, const QDateTime &at,
                         ImportRecord *record, QString *problem = nullptr);

    // Sets uid, time offset, account, program version and hash; the caller fills meter and login.
    void stamp(const QDateTime &at);

    // The datasets read from raw, in the layout of the meter's model; false when the bytes do not
    // read (never the case for bytes that were accepted once).
    bool datasets(const CDevice &device, QList<ArchivedDataset> *rows) const;
    // The raw dataset text the bytes hold, framing included (the form a document keeps).
    bool datasetText(QString *text) const;
};

// The layout's field count for a meter name (7, 10 or 14).
int archiveLayout(const CDevice &device, const QString &meter);
