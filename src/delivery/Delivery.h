#pragma once
// Sends archived datasets to the lab's other systems through their profiles: the datasets not yet
// delivered to a profile, one file per meter, into its drop folder. A file appears whole under its
// final name or not at all, never replaces another, and is recorded per dataset and profile with its
// trail entry in the same transaction as the choice of datasets, so each dataset reaches each
// profile once, whoever delivers (the desktop program, the watcher, the command line) and whenever.
#include "Archive.h"
#include "ExportProfile.h"

#include <QSet>
#include <QStringList>

struct DeliveryOutcome {
    Archive::Result result;
    qint64 delivered = 0;
    QStringList files;
    bool waiting = false; // the folder could not take the file: the datasets stay pending
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

// The pending datasets of every profile that names a folder; one line for the user per delivery, per
// refused profile and per folder that cannot take a file. told holds what was said already: a
// folder that stays away, or a profile that stays wrong, is told once until it changes.
QStringList deliverToAll(Archive &archive, const QString &login, QSet<QString> *told);

// One line for the user about an outcome of the profile (empty when nothing happened).
QString notice(const ExportProfile &profile, const DeliveryOutcome &outcome);

} // namespace Delivery
