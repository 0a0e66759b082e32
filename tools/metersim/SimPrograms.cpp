#include "SimPrograms.h"

#include "MeterSim.h"

#include <QFile>

namespace {

const QByteArray kAnswerOK = "\r\n!\r\n>";

QStringList argumentValues(const QString &line, const QString &prefix)
{
    if (!line.startsWith(prefix))
        return {};
    return line.mid(prefix.size()).split(u',');
}

} // namespace

SimPrograms::SimPrograms(MeterSim &sim) : m_sim(sim)
{
    sim.setHandler(QStringLiteral("U.512"), [this](const QString &) {
        if (listAnswer)
            return SimReply::raw(*listAnswer);
        if (m_programs.isEmpty())
            return SimReply::raw(kAnswerOK);
        const QStringList numbers(m_programs.keyBegin(), m_programs.keyEnd());
        return SimReply::accept(numbers.join(QStringLiteral("\r\n")).toLatin1());
    });
    sim.setHandler(QStringLiteral("U.513"), [this](const QString &line) {
        const QStringList args = argumentValues(line, QStringLiteral("U.513#1,"));
        if (args.size() != 1)
            return SimReply::reject();
        const QString &number = args.first();
        if (readAnswers.contains(number))
            return SimReply::raw(readAnswers.value(number));
        const auto it = m_programs.constFind(number);
        if (it == m_programs.constEnd())
            return SimReply::reject();
        return SimReply::accept(readPayload(*it));
    });
    auto store = [this](const QString &line, bool modify) {
        const QStringList values =
            argumentValues(line, modify ? QStringLiteral("U.502#14,") : QStringLiteral("U.500#14,"));
        if (values.size() != 14)
            return SimReply::reject();
        if (m_programs.contains(values.first()) != modify)
            return SimReply::reject();
        if (!put(values))
            return SimReply::reject();
        return SimReply::raw(kAnswerOK);
    };
    sim.setHandler(QStringLiteral("U.500"), [store](const QString &line) { return store(line, false); });
    sim.setHandler(QStringLiteral("U.502"), [store](const QString &line) { return store(line, true); });
    sim.setHandler(QStringLiteral("U.521"), [this](const QString &line) {
        const QStringList args = argumentValues(line, QStringLiteral("U.521#1,"));
        if (args.size() != 1 || !m_programs.remove(args.first()))
            return SimReply::reject();
        return SimReply::raw(kAnswerOK);
    });
    sim.setHandler(QStringLiteral("U.520"), [this](const QString &) {
        m_programs.clear();
        return SimReply::raw(kAnswerOK);
    });
    sim.setHandler(QStringLiteral("U.999"), [](const QString &) { return SimReply::raw(kAnswerOK); });
}

int SimPrograms::lastNumber() const
{
    const QString model = m_sim.identity().model;
    return (model == QStringLiteral("Q-95") || model == QStringLiteral("Lumora STD")) ? 949 : 999;
}

bool SimPrograms::fits(const QStringList &values, bool replacing, QString *error) const
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (values.size() != 14)
        return fail(QStringLiteral("a program has 14 values, not %1").arg(values.size()));
    bool ok = false;
    const int number = values.first().toInt(&ok);
    if (!ok || values.first().size() != 3 || number < 900 || number > lastNumber())
        return fail(
            QStringLiteral("program number %1 is outside 900..%2").arg(values.first()).arg(lastNumber()));
    if (!replacing && m_programs.size() >= kCapacity)
        return fail(QStringLiteral("all %1 program locations are occupied").arg(kCapacity));
    return true;
}

bool SimPrograms::put(const QStringList &values, QString *error)
{
    if (!fits(values, m_programs.contains(values.value(0)), error))
        return false;
    m_programs.insert(values.first(), values);
    return true;
}

bool SimPrograms::put(const QString &commaValues, QString *error)
{
    return put(commaValues.split(u','), error);
}

bool SimPrograms::loadFile(const QString &path, QString *error)
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
        const QString line = QString::fromLatin1(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QString why;
        if (!put(line, &why)) {
            if (error)
                *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(why);
            return false;
        }
    }
    return true;
}

QByteArray SimPrograms::readPayload(const QStringList &v)
{
    // NO;MODEL;CUV;LAMBDA;MRB;MRE;0;E0;SLOPE;RES;FORM;UNIT;BLANKREQ;CALPSB;CALREQ
    QStringList fields = v.mid(0, 6);
    fields << QStringLiteral("0") << v.mid(6, 8);
    return fields.join(u';').toLatin1();
}
