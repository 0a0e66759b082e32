#include "QcReport.h"

#include "TextTable.h"

#include <QLocale>

namespace QcReport {

QString number(double value)
{
    return QLocale().toString(value, 'g', 6);
}

QString periodLine(const QcChart &chart, int period)
{
    const QcPeriod &p = chart.periods[period];
    QString source;
    if (p.fromTarget)
        source = TextTable::text(TextTable::QcFromTarget);
    else if (p.prePeriod)
        source = TextTable::text(TextTable::QcFromPrePeriod).arg(p.n);
    else
        source = TextTable::text(TextTable::QcFromRevision)
                     .arg(QLocale().toString(p.revisedUtc.toLocalTime(), QLocale::ShortFormat), p.login)
                     .arg(p.n);
    return TextTable::text(TextTable::QcLimitsLine)
        .arg(period + 1)
        .arg(number(p.centre), number(p.limit(-2)), number(p.limit(2)), number(p.limit(-3)),
             number(p.limit(3)), source);
}

namespace {

// A printed line is cut at the paper's edge: the long ones (limits, the tests' names) are broken
// between words first.
constexpr qsizetype kLineWidth = 80;

void appendWrapped(QStringList &out, const QString &text)
{
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > kLineWidth) {
            out.append(line);
            line = QStringLiteral("    ");
        } else if (!line.isEmpty()) {
            line += QLatin1Char(' ');
        }
        line += word;
    }
    out.append(line);
}

} // namespace

QStringList lines(const QcChart &chart, const QString &who, const QDateTime &when)
{
    const QcDefinition &d = chart.definition;
    QStringList out;
    out.append(TextTable::text(TextTable::QcReportTitle).arg(d.name));
    out.append(QString());
    QStringList selection;
    if (!d.meter.isEmpty())
        selection.append(QStringLiteral("S/N %1").arg(d.meter));
    if (!d.program.isEmpty())
        selection.append(TextTable::text(TextTable::QcFieldProgram) + QLatin1Char(' ') + d.program);
    if (!d.idPattern.isEmpty())
        selection.append(QStringLiteral("ID %1").arg(d.idPattern));
    if (!d.code.isEmpty())
        selection.append(TextTable::text(TextTable::QcFieldCode) + QLatin1Char(' ') + d.code);
    selection.append(TextTable::text(TextTable::QcColValue) + QLatin1Char(' ') + QString::number(d.value));
    out.append(selection.join(QStringLiteral(", ")));
    out.append(TextTable::text(TextTable::QcKindStandard + int(d.kind)) + QStringLiteral(", ") + chart.unit);
    if (!chart.waiting.isEmpty())
        out.append(chart.waiting);
    for (int k = 0; k < chart.periods.size(); ++k)
        appendWrapped(out, periodLine(chart, k));
    if (chart.revisionDue)
        appendWrapped(out, TextTable::text(TextTable::QcRevisionDue).arg(d.name).arg(chart.sinceRevision));
    out.append(TextTable::text(TextTable::QcStatsLine)
                   .arg(chart.statistics.n)
                   .arg(number(chart.statistics.mean), number(chart.statistics.s)));
    QStringList counts;
    for (int r = 0; r < QcRules::Count; ++r)
        if (d.rules & QcRules::bit(QcRules::Rule(r)))
            counts.append(QStringLiteral("%1: %2").arg(r + 1).arg(chart.violations[size_t(r)]));
    appendWrapped(out, TextTable::text(TextTable::QcViolationsLine).arg(counts.join(QStringLiteral(", "))));
    out.append(QString());
    out.append(TextTable::text(TextTable::QcColDate) + QStringLiteral("  ") +
               TextTable::text(TextTable::QcColMeter) + QStringLiteral("  ") +
               TextTable::text(TextTable::QcColId) + QStringLiteral("  ") +
               TextTable::text(TextTable::QcColValue) + QStringLiteral("  ") +
               TextTable::text(TextTable::QcColRules));
    for (const QcPoint &p : chart.points)
        out.append((p.date.isValid() ? p.when() : QStringLiteral("-")) + QStringLiteral("  ") + p.serial +
                   QStringLiteral("  ") + p.sampleId + QStringLiteral("  ") + p.text + QStringLiteral("  ") +
                   p.verdict());
    out.append(QString());
    for (int r = 0; r < QcRules::Count; ++r)
        appendWrapped(out, QStringLiteral("%1: %2").arg(r + 1).arg(QcRules::name(QcRules::Rule(r))));
    out.append(QString());
    out.append(
        TextTable::text(TextTable::QcPrintedBy).arg(QLocale().toString(when, QLocale::ShortFormat), who));
    return out;
}

} // namespace QcReport
