#include "ArchiveFilter.h"

#include "TextTable.h"

#include <QRegularExpression>

bool ArchiveFilter::readDate(const QString &text, QDate *date)
{
    // Exactly ten ASCII characters: "$" would let a trailing line break through, and "\d" the digits
    // of other scripts.
    static const QRegularExpression iso(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{4}-[0-9]{2}-[0-9]{2}")));
    if (!iso.match(text).hasMatch())
        return false;
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (!d.isValid())
        return false;
    *date = d;
    return true;
}

QString ArchiveFilter::problem() const
{
    for (const QString *t : {&meter, &program, &unit, &idText, &status, &code, &user})
        if (t->size() > kMaxText)
            return TextTable::text(TextTable::ArchiveFilterTooLong).arg(kMaxText);
    if (from.isValid() && to.isValid() && from > to)
        return TextTable::text(TextTable::ArchiveFilterDates);
    return QString();
}

QString ArchiveFilter::whereClause(QVariantList *parameters) const
{
    QStringList conditions;
    auto exact = [&](const QString &value, const char *sql, int uses = 1) {
        if (value.isEmpty())
            return;
        conditions.append(QString::fromLatin1(sql));
        for (int i = 0; i < uses; ++i)
            parameters->append(value);
    };
    exact(meter, "d.serial = ?");
    exact(program, "d.program = ?");
    exact(unit, "(d.unit1 = ? OR d.unit2 = ?)", 2);
    exact(status, "(d.status1 = ? OR d.status2 = ?)", 2);
    exact(code, "d.code = ?");
    exact(user, "i.login = ?");
    if (!idText.isEmpty()) {
        // A part of the ID, with the pattern characters taken literally.
        QString escaped = idText;
        escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
            .replace(QLatin1Char('%'), QLatin1String("\\%"))
            .replace(QLatin1Char('_'), QLatin1String("\\_"));
        // Lower case on both sides, by the database's own LOWER: SQLite's LIKE ignores case and
        // PostgreSQL's does not, and SQLite lowers only A to Z, so "Ä" lowered here would find no "Ä".
        conditions.append(QStringLiteral("LOWER(d.sample_id) LIKE LOWER(?) ESCAPE '\\'"));
        parameters->append(QLatin1Char('%') + escaped + QLatin1Char('%'));
    }
    if (from.isValid()) {
        conditions.append(QStringLiteral("d.day >= ?"));
        parameters->append(from.toString(Qt::ISODate));
    }
    if (to.isValid()) {
        conditions.append(QStringLiteral("d.day <= ?"));
        parameters->append(to.toString(Qt::ISODate));
    }
    if (conflictsOnly)
        conditions.append(QStringLiteral("d.conflict = 1"));
    if (!includeWithdrawn)
        conditions.append(QStringLiteral(
            "NOT EXISTS (SELECT 1 FROM annotations a WHERE a.dataset_id = d.id AND a.kind = 'withdraw')"));
    return conditions.isEmpty() ? QStringLiteral("1=1") : conditions.join(QLatin1String(" AND "));
}
