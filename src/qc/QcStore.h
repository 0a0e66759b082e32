#pragma once
// Control samples in the archive: definitions and limits kept and read, charts loaded, and the
// judgement of newly archived values that every import runs inside its own transaction.
#include "QcChart.h"

namespace QcStore {

using Result = Archive::Result;

// Keeps a new definition or a new version of one (the problem refused before anything is written),
// with the pre-period's limits when the archive holds its values already.
Result define(Archive &archive, const QcDefinition &definition, const QString &login);
// The definitions in force (the newest version of each name), by name.
Result definitions(Archive &archive, QList<QcDefinition> *list);
// The definition of a name in force; found false when there is none.
Result find(Archive &archive, const QString &name, QcDefinition *definition, bool *found);
// The chart of a definition from every archived value (withdrawn ones only as points when asked).
Result load(Archive &archive, const QcDefinition &definition, bool withWithdrawn, QcChart *chart);
// "New limits from the last n values": a new period after the newest value (refused, with the
// reason in the result, when fewer values are there).
Result revise(Archive &archive, const QcChart &chart, qint64 n, const QString &login);

// Inside an import's transaction on db: keeps the limits of every pre-period the new datasets
// complete, and records each new value out of control in the trail, so the verdict commits with the
// import it judged, or neither does.
Result keepVerdicts(Archive &archive, ArchiveDatabase &db, const QList<qint64> &newIds, const QString &login);

struct Judgement {
    QStringList notices;
    bool outOfControl = false;
};
// What the user is told of the datasets an import added, for every control sample they belong to.
// Nothing is recorded here: keepVerdicts did that with the import (the login is the callers' habit).
Judgement judgeNew(Archive &archive, const QList<qint64> &newIds, const QString &login = QString());

} // namespace QcStore
