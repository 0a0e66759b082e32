#include "TrailReport.h"

#include "LocaleTexts.h"
#include "SystemAccount.h"
#include "TextTable.h"

#include <cstdlib>

namespace TrailReport {

QString header(Column column)
{
    static const int kNumbers[ColumnCount] = {
        TextTable::TrailSeqColumn,    TextTable::TrailTimeColumn,   TextTable::TrailAccountColumn,
        TextTable::TrailLoginColumn,  TextTable::TrailHostColumn,   TextTable::TrailActionColumn,
        TextTable::TrailObjectColumn, TextTable::TrailReasonColumn, TextTable::TrailDetailsColumn};
    return TextTable::text(kNumbers[column]);
}

QString localTime(const TrailEntry &entry)
{
    const int offset = entry.utcOffset;
    const int minutes = std::abs(offset) / 60;
    QString text = entry.atUtc.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
                   QStringLiteral("%1%2:%3")
                       .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                       .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                       .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    if (entry.clockBack)
        text += QStringLiteral(" (%1)").arg(TextTable::text(TextTable::TrailClockBack));
    return text;
}

QString clockBackNote(const TrailEntry &entry)
{
    return entry.clockBack ? TextTable::text(TextTable::TrailClockBackTip) : QString();
}

QString cell(const TrailEntry &entry, Column column)
{
    switch (column) {
    case Seq:
        return QString::number(entry.seq);
    case Time:
        return localTime(entry);
    case Account:
        return entry.osFullName.isEmpty() ? entry.osUser
                                          : QStringLiteral("%1 (%2)").arg(entry.osUser, entry.osFullName);
    case Login:
        return entry.login;
    case Host:
        return entry.host;
    case Action:
        return entry.action;
    case Object:
        return entry.object;
    case Details:
        return entry.details == QLatin1String("{}") ? QString() : entry.details;
    case Reason:
        return entry.reason;
    case ColumnCount:
        break;
    }
    return QString();
}

TablePrintout printout(const QList<TrailEntry> &entries, const TrailFilter &filter, const QString &login,
                       const QDateTime &printedAt)
{
    const auto day = [](const QDate &date) {
        return date.isValid() ? LocaleTexts::shortDate(date) : QString();
    };
    const auto labelled = [](int number, const QString &value) {
        return TextTable::text(number) + u' ' + value;
    };
    const SystemAccount account = SystemAccount::current();
    TablePrintout table;
    table.title = TextTable::text(TextTable::TrailTitle);
    table.fields = {labelled(TextTable::ArchiveFromField, day(filter.from)),
                    labelled(TextTable::ArchiveToField, day(filter.to)),
                    labelled(TextTable::TrailPrintedBy, TextTable::text(TextTable::TrailPrintedByValue)
                                                            .arg(login.isEmpty() ? account.userName : login,
                                                                 account.userName, account.host)),
                    labelled(TextTable::DateLabel, LocaleTexts::shortDate(printedAt.date()) + u' ' +
                                                       LocaleTexts::longTime(printedAt.time()))};
    // Only the filters set: a printout that names an empty filter reads as one that found nothing.
    const QList<QPair<int, QString>> set = {{TextTable::UserLabel, filter.user},
                                            {TextTable::TrailActionField, filter.action},
                                            {TextTable::TrailObjectField, filter.object}};
    for (const auto &[number, value] : set)
        if (!value.isEmpty())
            table.fields << labelled(number, value);
    for (int c = 0; c < ColumnCount; ++c)
        table.headers << header(Column(c));
    for (const TrailEntry &entry : entries) {
        QStringList row;
        for (int c = 0; c < ColumnCount; ++c)
            row << cell(entry, Column(c)).left(CPrint::kMaxLineChars);
        table.rows << row;
    }
    return table;
}

} // namespace TrailReport
