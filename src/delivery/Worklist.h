#pragma once
// The lab's list for a series: which of its sample IDs the user typed on the meter as which short ID
// (or measured at which position), optionally with the program expected. Applied to newly archived
// datasets, it gives each matching dataset its sample ID in the archive, with a trail entry, so every
// later output names the same sample.
#include "Archive.h"

#include <QHash>
#include <QString>
#include <QStringList>

class Worklist {
public:
    struct Entry {
        QString sampleId;
        QString program; // empty: any
        int line = 0;
    };
    // What applying a worklist found, for the user.
    struct Report {
        qint64 mapped = 0;
        QStringList notListed;     // meter IDs (or positions) of datasets the list lacks
        QStringList neverMeasured; // list keys no dataset had
        QStringList wrongProgram;  // "key: program P, expected E"
        QStringList measuredTwice; // a listed key more than one dataset had: each got the same sample ID
        QString text() const;
    };

    // Longest worklist read; a longer file is refused (naming the line it reached), never half read.
    static constexpr qint64 kMaxBytes = 16 * 1024 * 1024;

    // Reads a worklist CSV file: a header line naming the columns Id (or Position), SampleId and
    // optionally Program, separated by ";", "," or a tab, UTF-8. false with the file, line and reason.
    bool read(const QString &path, QString *error);
    QString path() const { return m_path; }
    bool byPosition() const { return m_byPosition; }
    const QHash<QString, Entry> &entries() const { return m_entries; }

    // Gives the datasets (archive ids) whose ID is listed their sample ID, in one transaction with its
    // trail entry.
    Archive::Result apply(Archive &archive, const QList<qint64> &datasetIds, const QString &login,
                          Report *report) const;

private:
    // The listed datasets' sample IDs, and what the report tells of the rest.
    Archive::Result match(ArchiveDatabase &db, const QList<qint64> &datasetIds, Report *found,
                          QList<QPair<qint64, QString>> *mapped) const;
    // The sample IDs given, with their trail entry.
    Archive::Result record(ArchiveDatabase &db, const QList<QPair<qint64, QString>> &mapped,
                           const QString &login) const;

    QString m_path;
    QString m_sha256;
    bool m_byPosition = false;
    QHash<QString, Entry> m_entries;
    QStringList m_order;
};
