// Fuzzes the archive's query filters: a date reads only as the ISO text it is, a filter that may run
// binds exactly its parameters and runs on the database, and the sample-ID part finds the ID it was
// cut from, whatever characters it holds.
#include "ArchiveFilter.h"
#include "FuzzSupport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <cstdint>

namespace {

QSqlDatabase &database()
{
    // The database drivers are plugins, which only an application loads.
    static int argc = 1;
    static char name[] = "fuzz_archivefilter";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static QSqlDatabase db = [] {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz"));
        d.setDatabaseName(QStringLiteral(":memory:"));
        if (!d.open())
            Fuzz::broken("no in-memory database");
        QSqlQuery q(d);
        for (const char *sql :
             {"CREATE TABLE imports (id INTEGER PRIMARY KEY, login TEXT)",
              "CREATE TABLE datasets (id INTEGER PRIMARY KEY, import_id INTEGER, serial TEXT, program TEXT,"
              " unit1 TEXT, unit2 TEXT, status1 TEXT, status2 TEXT, code TEXT, sample_id TEXT, day TEXT,"
              " conflict INTEGER)",
              "CREATE TABLE annotations (id INTEGER PRIMARY KEY, dataset_id INTEGER, kind TEXT)",
              "INSERT INTO imports VALUES (1, 'u')"})
            if (!q.exec(QString::fromLatin1(sql)))
                Fuzz::broken("schema");
        return d;
    }();
    return db;
}

// Rows the filter finds.
int found(const ArchiveFilter &filter)
{
    QVariantList parameters;
    const QString where = filter.whereClause(&parameters);
    CHECK(where.count(QLatin1Char('?')) == parameters.size());
    QSqlQuery q(database());
    CHECK(q.prepare(
        QStringLiteral("SELECT count(*) FROM datasets d JOIN imports i ON i.id = d.import_id WHERE ") +
        where));
    for (const QVariant &p : parameters)
        q.addBindValue(p);
    CHECK(q.exec() && q.next());
    return q.value(0).toInt();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::installSilentErrorFrame();
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    // The texts are separated by U+0001: a line break may be part of a typed text.
    const QStringList parts = input.split(QChar(1));
    const auto part = [&parts](int i) { return parts.value(i); };

    ArchiveFilter filter;
    for (int i = 0; i < 2; ++i) {
        QDate date;
        if (ArchiveFilter::readDate(part(i), &date)) {
            CHECK(date.isValid());
            CHECK(date.toString(Qt::ISODate) == part(i));
            (i == 0 ? filter.from : filter.to) = date;
        }
    }
    filter.idText = part(2);
    filter.meter = part(3);
    filter.program = part(4);
    filter.unit = part(5);
    filter.status = part(6);
    filter.code = part(7);
    filter.user = part(8);
    filter.conflictsOnly = size > 0 && (data[0] & 1);
    filter.includeWithdrawn = size > 0 && (data[0] & 2);
    if (!filter.problem().isEmpty())
        return 0;
    CHECK(filter.from <= filter.to || !filter.from.isValid() || !filter.to.isValid());

    // A dataset that matches every condition of the filter is found by it.
    QSqlQuery q(database());
    CHECK(q.exec(QStringLiteral("DELETE FROM datasets")));
    CHECK(q.prepare(QStringLiteral("INSERT INTO datasets VALUES (1, 1, ?, ?, ?, '', ?, '', ?, ?, ?, 0)")));
    const QString sampleId = QStringLiteral("<") + filter.idText + QStringLiteral(">");
    const QString day = (filter.from.isValid() ? filter.from : filter.to).toString(Qt::ISODate);
    for (const QString &value :
         {filter.meter, filter.program, filter.unit, filter.status, filter.code, sampleId, day})
        q.addBindValue(value);
    CHECK(q.exec());
    ArchiveFilter matching = filter;
    matching.user = filter.user.isEmpty() ? QString() : QStringLiteral("u");
    matching.conflictsOnly = false;
    CHECK(found(matching) == 1);
    found(filter);
    return 0;
}
