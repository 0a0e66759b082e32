#pragma once
// Sends archived datasets to the lab's other systems through their profiles: the datasets not yet
// delivered to a profile, one file per meter, into its drop folder. Each file is first an intent in the
// archive (its name, its datasets, the hash of its bytes), committed before anything appears in the
// folder; then a temporary file is written, synced, renamed to its final name, and the delivery is
// recorded per dataset with its trail entry. Whoever delivers next (the desktop program, the watcher,
// the command line) first finishes what an intent left, so through any crash each dataset reaches each
// profile once and a reader of the folder never sees a partial file.
#include "Archive.h"
#include "ExportProfile.h"

#include <QSet>
#include <QStringList>

struct DeliveryOutcome {
    Archive::Result result;
    qint64 delivered = 0;
    QStringList files;
    QList<qint64> counts; // the datasets in each of files
    QStringList held;     // one line per dataset held back (its text cannot be written as it is)
    bool waiting = false; // the folder could not take the file: the datasets stay pending
    bool refused = false; // the drop folder is refused (relative, or a link planted by another account)
};

namespace Delivery {

// The datasets not yet delivered to the profile, into folder (empty: the profile's own).
DeliveryOutcome deliverPending(Archive &archive, const ExportProfile &profile, const QString &login,
                               const QString &folder = QString());
// The datasets with archive ids from..to once more, on purpose, recorded as a repeat.
DeliveryOutcome deliverAgain(Archive &archive, const ExportProfile &profile, qint64 from, qint64 to,
                             const QString &login, const QString &folder = QString());

// The file name of a delivery: profile, meter serial, first and last dataset number, UTC time.
QString fileName(const QString &profile, const QString &serial, const QString &firstNo, const QString &lastNo,
                 const QDateTime &utc);

// Hex SHA-256 over the ascending dataset ids, each in decimal followed by a line feed: what a deliver
// trail entry names its datasets by.
QString datasetIdsSha256(QList<qint64> ids);

// Why a drop folder is refused (empty when it may take files): a relative path, or a link on its way
// that another account planted in a shared sticky folder, which the kernel itself would not follow.
QString folderRefusal(const QString &folder);

// The pending datasets of every profile that names a folder; one line for the user per delivery, per
// refused profile and per folder that cannot take a file. told holds what was said already: a
// folder that stays away, or a profile that stays wrong, is told once until it changes.
QStringList deliverToAll(Archive &archive, const QString &login, QSet<QString> *told);

// One line for the user about an outcome of the profile (empty when nothing happened).
QString notice(const ExportProfile &profile, const DeliveryOutcome &outcome);

} // namespace Delivery
