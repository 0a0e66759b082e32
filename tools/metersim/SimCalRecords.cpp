#include "SimCalRecords.h"

#include "MeterSim.h"

#include <QFile>

SimCalRecords::SimCalRecords(MeterSim &sim)
    : ph(phRecord(2)), turbidity(shortTurbidityRecord()),
      turbidityExtended(
          extendedTurbidityRecord(QStringLiteral("5-P StdCAL"),
                                  {QStringLiteral("0.02"), QStringLiteral("10.0"), QStringLiteral("100"),
                                   QStringLiteral("1000"), QStringLiteral("4000")}))
{
    sim.setHandler(QStringLiteral("U.586"), [this](const QString &) { return SimReply::accept(ph); });
    sim.setHandler(QStringLiteral("U.585"), [this](const QString &) { return SimReply::accept(turbidity); });
    sim.setHandler(QStringLiteral("U.587"),
                   [this](const QString &) { return SimReply::accept(turbidityExtended); });
}

QByteArray SimCalRecords::phRecord(int points, int qualityCode, int bufferSet)
{
    // f0, date and time, buffer set, slope, asymmetry, quality, interval, show-F, show-%, points.
    QStringList f = {QStringLiteral("0"),    QStringLiteral("2026"),       QStringLiteral("3"),
                     QStringLiteral("15"),   QStringLiteral("10"),         QStringLiteral("20"),
                     QStringLiteral("30"),   QString::number(bufferSet),   QStringLiteral("59.16"),
                     QStringLiteral("-3.2"), QString::number(qualityCode), QStringLiteral("7"),
                     QStringLiteral("0"),    QStringLiteral("0"),          QString::number(points)};
    static const QStringList values[3] = {
        {QStringLiteral("7.00"), QStringLiteral("-3.2"), QStringLiteral("25.0")},
        {QStringLiteral("4.01"), QStringLiteral("171.5"), QStringLiteral("25.1")},
        {QStringLiteral("10.01"), QStringLiteral("-177.9"), QStringLiteral("24.9")},
    };
    for (int i = 0; i < points && i < 3; ++i)
        f << values[i];
    if (points <= 0)
        f << QString(); // the 16-field form
    return f.join(u',').toLatin1();
}

QByteArray SimCalRecords::shortTurbidityRecord()
{
    return "0,2026,3,14,9,5,0,90";
}

QByteArray SimCalRecords::extendedTurbidityRecord(const QString &mode, const QStringList &standards)
{
    QStringList f = {QStringLiteral("0"),
                     QStringLiteral("2026"),
                     QStringLiteral("3"),
                     QStringLiteral("14"),
                     QStringLiteral("9"),
                     QStringLiteral("5"),
                     QStringLiteral("0"),
                     QStringLiteral("90"),
                     mode,
                     QString::number(standards.size())};
    f << standards;
    return f.join(u',').toLatin1();
}

bool SimCalRecords::set(const QString &kind, const QByteArray &payload, QString *error)
{
    if (kind == QStringLiteral("ph"))
        ph = payload;
    else if (kind == QStringLiteral("turb"))
        turbidity = payload;
    else if (kind == QStringLiteral("turb-ext"))
        turbidityExtended = payload;
    else {
        if (error)
            *error = QStringLiteral("unknown record kind '%1' (ph, turb, turb-ext)").arg(kind);
        return false;
    }
    return true;
}

bool SimCalRecords::loadFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype eq = line.indexOf('=');
        QString why = QStringLiteral("expected KIND=PAYLOAD");
        if (eq < 0 || !set(QString::fromLatin1(line.left(eq)).trimmed(), line.mid(eq + 1), &why)) {
            if (error)
                *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(why);
            return false;
        }
    }
    return true;
}
