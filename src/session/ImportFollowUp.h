#pragma once
// What follows an import once the archive has kept it: the lab's own checks on the new values and the
// deliveries to its other systems. Every way into the archive (a document's import, files added to
// the archive, the command line, an import that starts by itself) calls this one function, so none of
// them can forget a step.
#include "Archive.h"

#include <QStringList>

struct SharedObjects;

struct ImportFollowUp {
    QStringList notices;       // one line each, for the user: the summary's own report comes first
    bool outOfControl = false; // a control sample's new value broke one of its rules
};

ImportFollowUp followUpImport(SharedObjects &shared, const Archive::Result &result,
                              const Archive::Summary &summary);
