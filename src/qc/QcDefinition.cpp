#include "QcDefinition.h"

#include "TextTable.h"

#include <QJsonArray>
#include <QRegularExpression>

#include <cmath>

namespace {

const char *const kKinds[] = {"standard", "blank", "recovery", "range"};

bool hasWildcards(const QString &pattern)
{
    return pattern.contains(QLatin1Char('*')) || pattern.contains(QLatin1Char('?'));
}

} // namespace

QString QcDefinition::kindName(Kind kind)
{
    return QString::fromLatin1(kKinds[int(kind)]);
}

bool QcDefinition::readKind(const QString &text, Kind *kind)
{
    for (int k = 0; k < 4; ++k)
        if (text == QLatin1String(kKinds[k])) {
            *kind = Kind(k);
            return true;
        }
    return false;
}

QJsonObject QcDefinition::toJson() const
{
    QJsonObject json{{QStringLiteral("name"), name},
                     {QStringLiteral("meter"), meter},
                     {QStringLiteral("program"), program},
                     {QStringLiteral("value"), value},
                     {QStringLiteral("id"), idPattern},
                     {QStringLiteral("code"), code},
                     {QStringLiteral("kind"), kindName(kind)},
                     {QStringLiteral("unit"), unit},
                     {QStringLiteral("revision_after"), revisionAfter},
                     {QStringLiteral("rules"), int(rules)}};
    if (kind == Recovery)
        json.insert(QStringLiteral("spiked"), spiked);
    if (fromTarget) {
        json.insert(QStringLiteral("target"), target);
        json.insert(QStringLiteral("target_s"), targetS);
    } else {
        json.insert(QStringLiteral("pre_period"), prePeriod);
    }
    return json;
}

QcDefinition QcDefinition::fromJson(const QJsonObject &json)
{
    QcDefinition d;
    d.name = json.value(QStringLiteral("name")).toString();
    d.meter = json.value(QStringLiteral("meter")).toString();
    d.program = json.value(QStringLiteral("program")).toString();
    d.value = json.value(QStringLiteral("value")).toInt(1);
    d.idPattern = json.value(QStringLiteral("id")).toString();
    d.code = json.value(QStringLiteral("code")).toString();
    readKind(json.value(QStringLiteral("kind")).toString(), &d.kind);
    d.unit = json.value(QStringLiteral("unit")).toString();
    d.revisionAfter = json.value(QStringLiteral("revision_after")).toInt(60);
    d.rules = QcRules::Mask(json.value(QStringLiteral("rules")).toInt(QcRules::kAll));
    d.spiked = json.value(QStringLiteral("spiked")).toDouble();
    d.fromTarget = json.contains(QStringLiteral("target"));
    d.target = json.value(QStringLiteral("target")).toDouble();
    d.targetS = json.value(QStringLiteral("target_s")).toDouble();
    d.prePeriod = json.value(QStringLiteral("pre_period")).toInt(20);
    return d;
}

QString QcDefinition::problem() const
{
    if (name.trimmed().isEmpty() || name.size() > ArchiveFilter::kMaxText)
        return TextTable::text(TextTable::QcBadName);
    if (value != 1 && value != 2)
        return TextTable::text(TextTable::QcBadValue);
    if (kind == Recovery && !(spiked > 0 && std::isfinite(spiked)))
        return TextTable::text(TextTable::QcBadSpiked);
    if (fromTarget && !(std::isfinite(target) && targetS > 0 && std::isfinite(targetS)))
        return TextTable::text(TextTable::QcBadTarget);
    if (!fromTarget && prePeriod < kMinPrePeriod)
        return TextTable::text(TextTable::QcBadPrePeriod).arg(kMinPrePeriod);
    if (revisionAfter < 1)
        return TextTable::text(TextTable::QcBadRevision);
    if (rules == 0)
        return TextTable::text(TextTable::QcNoRules);
    // The program is the method: values of two methods in one chart make limits of neither.
    if (program.trimmed().isEmpty())
        return TextTable::text(TextTable::QcNoProgram);
    return filter().problem();
}

QJsonObject QcDefinition::chartKey() const
{
    QJsonObject key = toJson();
    for (const char *kept : {"name", "revision_after", "rules"})
        key.remove(QLatin1String(kept));
    return key;
}

ArchiveFilter QcDefinition::filter() const
{
    ArchiveFilter f;
    f.meter = meter;
    f.program = program;
    f.code = code;
    if (!hasWildcards(idPattern))
        f.idText = idPattern;
    return f;
}

bool QcDefinition::idMatches(const QString &sampleId) const
{
    if (!hasWildcards(idPattern))
        return true; // the archive's filter did it
    // A whole sample ID, case ignored: "STD-*" takes "std-10" and not "x-std-10".
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(idPattern),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(sampleId.trimmed()).hasMatch();
}

QJsonObject QcRevision::toJson() const
{
    QJsonObject json{{QStringLiteral("after_order"), afterOrder},
                     {QStringLiteral("after_id"), afterId},
                     {QStringLiteral("centre"), centre},
                     {QStringLiteral("s"), s},
                     {QStringLiteral("n"), n},
                     {QStringLiteral("at"), atUtc.toString(Qt::ISODateWithMs)},
                     {QStringLiteral("login"), login}};
    if (prePeriod) {
        json.insert(QStringLiteral("pre_period"), true);
        json.insert(QStringLiteral("definition"), chartKey);
    }
    if (!basis.isEmpty()) {
        QJsonArray values;
        for (const QcBasisValue &b : basis) {
            QJsonObject v{{QStringLiteral("dataset"), b.datasetId},
                          {QStringLiteral("value"), b.value},
                          {QStringLiteral("text"), b.text}};
            if (b.pairId)
                v.insert(QStringLiteral("pair"), b.pairId);
            values.append(v);
        }
        json.insert(QStringLiteral("basis"), values);
    }
    return json;
}

QcRevision QcRevision::fromJson(const QJsonObject &json)
{
    QcRevision r;
    r.afterOrder = json.value(QStringLiteral("after_order")).toInteger(-1);
    r.afterId = json.value(QStringLiteral("after_id")).toInteger();
    r.centre = json.value(QStringLiteral("centre")).toDouble();
    r.s = json.value(QStringLiteral("s")).toDouble();
    r.n = json.value(QStringLiteral("n")).toInteger();
    r.atUtc = QDateTime::fromString(json.value(QStringLiteral("at")).toString(), Qt::ISODateWithMs);
    r.login = json.value(QStringLiteral("login")).toString();
    r.prePeriod = json.value(QStringLiteral("pre_period")).toBool();
    r.chartKey = json.value(QStringLiteral("definition")).toObject();
    const QJsonArray basis = json.value(QStringLiteral("basis")).toArray();
    for (const auto &v : basis) {
        const QJsonObject o = v.toObject();
        r.basis.append(
            {o.value(QStringLiteral("dataset")).toInteger(), o.value(QStringLiteral("pair")).toInteger(),
             o.value(QStringLiteral("value")).toDouble(), o.value(QStringLiteral("text")).toString()});
    }
    return r;
}
