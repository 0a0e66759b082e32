#pragma once
// One measured-value document: the meter's raw dataset text and who, what and when it came from. It
// is what a measured-value file holds, and what the export and the printout are given.
#include <QDateTime>
#include <QString>
#include <QStringList>

struct MeasuredValues {
    QString meter;        // device name of the meter that delivered the datasets
    QString serialNumber; // that meter's serial number
    QString user;         // logged in at the import
    QDateTime date;       // of the import
    QString datasets;     // the meter's answer to the dataset command, framing included
    // Notes kept beside archived datasets, one per dataset in their order (empty: a document without
    // any); the export and the printout add them as a last column. Files do not hold them.
    QStringList notes = {};
};
