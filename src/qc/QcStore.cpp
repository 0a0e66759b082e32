#include "QcStore.h"

#include "TextTable.h"

#include <QJsonArray>
#include <QMap>
#include <QSet>

#include <utility>

namespace QcStore {

namespace {

// The pre-period's limits, once its values are there: kept with their values and trail entry, a fact
// of the chart from then on.
Result keepLimits(Archive &archive, ArchiveDatabase &db, const QcDefinition &definition, const QString &login,
                  QcChart *chart)
{
    if (Result r = load(archive, definition, false, chart); !r || !chart->unkeptLimits)
        return r;
    QcRevision limits = *chart->unkeptLimits;
    limits.atUtc = QDateTime::currentDateTimeUtc();
    limits.login = login;
    if (Result r = Archive::keepQc(db, Archive::QcRevisions, definition.name, limits.toJson(), login); !r)
        return r;
    chart->unkeptLimits.reset();
    return {};
}

} // namespace

Result define(Archive &archive, const QcDefinition &definition, const QString &login)
{
    if (const QString problem = definition.problem(); !problem.isEmpty())
        return {Result::Other, problem};
    return archive.transaction([&](ArchiveDatabase &db) {
        if (Result r =
                Archive::keepQc(db, Archive::QcDefinitions, definition.name, definition.toJson(), login);
            !r)
            return r;
        QcChart chart;
        return keepLimits(archive, db, definition, login, &chart);
    });
}

Result definitions(Archive &archive, QList<QcDefinition> *list)
{
    list->clear();
    QList<QJsonObject> rows;
    const Result result = archive.qcRows(Archive::QcDefinitions, QString(), &rows);
    QMap<QString, QcDefinition> newest;
    for (const QJsonObject &row : rows) {
        const QcDefinition d = QcDefinition::fromJson(row);
        newest.insert(d.name, d);
    }
    *list = newest.values();
    return result;
}

Result find(Archive &archive, const QString &name, QcDefinition *definition, bool *found)
{
    *found = false;
    QList<QJsonObject> rows;
    const Result result = archive.qcRows(Archive::QcDefinitions, name, &rows);
    if (result && !rows.isEmpty()) {
        *definition = QcDefinition::fromJson(rows.last());
        *found = true;
    }
    return result;
}

Result load(Archive &archive, const QcDefinition &definition, bool withWithdrawn, QcChart *chart)
{
    ArchiveFilter filter = definition.filter();
    filter.includeWithdrawn = withWithdrawn;
    QList<ArchivedRow> rows;
    if (Result r = archive.query(filter, 0, 0, &rows); !r)
        return r;
    QList<QJsonObject> revisions;
    if (Result r = archive.qcRows(Archive::QcRevisions, definition.name, &revisions); !r)
        return r;
    QList<QcRevision> list;
    for (const QJsonObject &json : revisions)
        list.append(QcRevision::fromJson(json));
    *chart = QcChart::build(definition, rows, list);
    return {};
}

Result revise(Archive &archive, const QcChart &chart, qint64 n, const QString &login)
{
    QcRevision revision;
    if (const QString problem = chart.revise(n, &revision); !problem.isEmpty())
        return {Result::Other, problem};
    revision.atUtc = QDateTime::currentDateTimeUtc();
    revision.login = login;
    return archive.keepQc(Archive::QcRevisions, chart.definition.name, revision.toJson(), login);
}

Result keepVerdicts(Archive &archive, ArchiveDatabase &db, const QList<qint64> &newIds, const QString &login)
{
    QList<QcDefinition> list;
    if (Result r = definitions(archive, &list); !r)
        return r;
    const QSet<qint64> added(newIds.cbegin(), newIds.cend());
    for (const QcDefinition &definition : std::as_const(list)) {
        QcChart chart;
        if (Result r = keepLimits(archive, db, definition, login, &chart); !r)
            return r;
        QJsonArray flagged;
        for (const QcPoint &p : std::as_const(chart.points))
            if (p.judged && p.flags && (added.contains(p.datasetId) || added.contains(p.pairId)))
                flagged.append(QJsonObject{{QStringLiteral("dataset"), p.datasetId},
                                           {QStringLiteral("value"), p.text},
                                           {QStringLiteral("rules"), int(p.flags)}});
        if (flagged.isEmpty())
            continue;
        TrailAction action;
        action.action = QStringLiteral("qc-out-of-control");
        action.object = QStringLiteral("qc:") + definition.name;
        action.login = login;
        action.details = {{QStringLiteral("values"), flagged}};
        if (Result r = Trail::append(db, action); !r)
            return r;
    }
    return {};
}

Judgement judgeNew(Archive &archive, const QList<qint64> &newIds, const QString & /*login*/)
{
    Judgement judgement;
    if (newIds.isEmpty())
        return judgement;
    QList<QcDefinition> list;
    if (Result r = definitions(archive, &list); !r) {
        judgement.notices.append(TextTable::text(TextTable::QcNotJudged).arg(r.message));
        return judgement;
    }
    const QSet<qint64> added(newIds.cbegin(), newIds.cend());
    for (const QcDefinition &definition : std::as_const(list)) {
        QcChart chart;
        if (Result r = load(archive, definition, false, &chart); !r) {
            judgement.notices.append(TextTable::text(TextTable::QcNotJudged).arg(r.message));
            continue;
        }
        bool any = false;
        for (const QcPoint &p : std::as_const(chart.points)) {
            if (!added.contains(p.datasetId) && !added.contains(p.pairId))
                continue;
            any = true;
            if (!p.judged)
                judgement.notices.append(
                    TextTable::text(TextTable::QcValueNotJudged).arg(definition.name, p.text, p.excluded));
            if (!p.judged || !p.flags)
                continue;
            judgement.notices += chart.verdicts(p);
            judgement.outOfControl = true;
        }
        if (!any)
            continue;
        if (!chart.waiting.isEmpty())
            judgement.notices.append(
                TextTable::text(TextTable::QcWaitingNotice).arg(definition.name, chart.waiting));
        else if (chart.revisionDue)
            judgement.notices.append(
                TextTable::text(TextTable::QcRevisionDue).arg(definition.name).arg(chart.sinceRevision));
    }
    return judgement;
}

} // namespace QcStore
