#pragma once
// One measured-value document: the meter's raw dataset text and who, what and when it came from. It
// is what a measured-value file holds, and what the export and the printout are given.
#include <QDateTime>
#include <QString>

struct MeasuredValues {
    QString meter;        // device name of the meter that delivered the datasets
    QString serialNumber; // that meter's serial number
    QString user;         // logged in at the import
    QDateTime date;       // of the import
    QString datasets;     // the meter's answer to the dataset command, framing included
};
