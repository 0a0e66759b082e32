#include "SimDatasets.h"

#include "MeterSim.h"

#include <QDateTime>
#include <QFile>
#include <QTimer>

#include <cmath>

SimDatasets::SimDatasets(MeterSim &sim) : m_sim(sim)
{
    sim.setHandler(QStringLiteral("U.581"), [this](const QString &) {
        QByteArray whole = answer();
        if (stallAfter >= 0 && stallAfter < whole.size())
            return SimReply::raw(whole.left(stallAfter));
        if (hangupAfter >= 0 && hangupAfter < whole.size()) {
            // The line drops once the first bytes are out, as an unplugged cable would.
            const qint64 target = m_sim.bytesSent() + hangupAfter;
            auto *poll = new QTimer(&m_sim);
            QObject::connect(poll, &QTimer::timeout, &m_sim, [this, poll, target] {
                if (!m_sim.isOpen() || m_sim.bytesSent() >= target) {
                    poll->deleteLater();
                    m_sim.hangUp();
                }
            });
            poll->start(2);
            return SimReply::raw(whole.left(hangupAfter));
        }
        return SimReply::raw(whole);
    });
    sim.setHandler(QStringLiteral("U.999"), [this](const QString &) {
        ++m_stops;
        return SimReply::raw("\r\n!\r\n>");
    });
}

QByteArray SimDatasets::answer() const
{
    if (m_records.isEmpty())
        return "\r\n!\r\n>";
    return MeterSim::acceptedAnswer(m_records);
}

void SimDatasets::setRecords(const QByteArray &records, qint64 count)
{
    m_records = records;
    m_count = count;
}

bool SimDatasets::loadFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    qsizetype from = 0;
    for (int line = 0; line < 4; ++line) {
        const qsizetype end = bytes.indexOf("\r\n", from);
        if (end < 0 || (line == 0 && bytes.left(end) != "METER;S/N;USER;DATE;TIME")) {
            if (error)
                *error = path + QStringLiteral(": not a measured-value file");
            return false;
        }
        from = end + 2;
    }
    m_records = bytes.mid(from);
    m_count = m_records.isEmpty() ? 0 : m_records.count("\r\n") + 1;
    return true;
}

int SimDatasets::fieldCount(const QString &model)
{
    if (model.startsWith(QLatin1String("Klaro 4")))
        return 7;
    if (model.startsWith(QLatin1String("Klaro 7")))
        return 10;
    return 14;
}

QByteArray SimDatasets::generatedRecords(const QString &model, qint64 count)
{
    const int fields = fieldCount(model);
    QByteArray out;
    out.reserve(count * (fields == 14 ? 72 : 60));
    for (qint64 k = 1; k <= count; ++k) {
        // Plausible, varied and reproducible: a day of measurements every 7 minutes, values that drift.
        const qint64 minutes = k * 7;
        const int day = int(1 + (minutes / 1440) % 28);
        const int month = int(1 + (minutes / (1440 * 28)) % 12);
        const QByteArray date = QByteArray::number(day).rightJustified(2, '0') + '.' +
                                QByteArray::number(month).rightJustified(2, '0') + ".26";
        const QByteArray time = QByteArray::number((minutes / 60) % 24).rightJustified(2, '0') + ':' +
                                QByteArray::number(minutes % 60).rightJustified(2, '0') + ':' +
                                QByteArray::number((k * 13) % 60).rightJustified(2, '0');
        const QByteArray id = QByteArray::number(k % 1000);
        const QByteArray value = QByteArray::number(double((k * 37) % 4000) / 100.0, 'f', 2);
        const QByteArray valid = (k % 17 == 0) ? QByteArray("<") : QByteArray("OK");
        if (k > 1)
            out += "\r\n";
        out += QByteArray::number(k) + ';' + date + ';' + time + ';' + id + ';';
        if (fields == 14) {
            const QByteArray prog = QByteArray::number(100 + (k * 7) % 900);
            out += prog + ';' + QByteArray::number(100000 + (k * 91) % 900000) + ";BV;1:1;" + value +
                   ";mg/l;" + valid + ';' + QByteArray::number(double((k * 11) % 900) / 10.0, 'f', 1) +
                   ";mg/l;OK";
        } else {
            out += value + ";NTU;" + valid;
            if (fields == 10)
                out += QByteArray(k % 5 == 0 ? ";AQA;" : ";CAL;") + date + ";09:00";
        }
    }
    return out;
}

QByteArray SimDatasets::stationRecords(qint64 count)
{
    QByteArray out;
    out.reserve(count * 64);
    const QDateTime start(QDate(2026, 3, 1), QTime(0, 0));
    const char *programs[3][2] = {{"901", "mg/l PO4"}, {"902", "mg/l NO3"}, {"915", "mg/l Fe"}};
    for (qint64 k = 0; k < count; ++k) {
        const QDateTime at = start.addSecs(k * 25);
        const int p = int(k % 3);
        const double value = (p + 1) * (2.0 + std::sin(double(k) / 900.0) + 0.3 * std::sin(double(k) / 7.0));
        if (k > 0)
            out += "\r\n";
        out += QByteArray::number(k + 1) + ';' + at.toString(QStringLiteral("dd.MM.yy;HH:mm:ss")).toLatin1() +
               ';' + QByteArray::number(k % 1000) + ';' + programs[p][0] + ";;;;" +
               (k % 997 == 0 ? QByteArray("<0.05") : QByteArray::number(value, 'f', 3)) + ';' +
               programs[p][1] + ';' + (k % 211 == 0 ? "E3" : "OK") + ";;;";
    }
    return out;
}

void SimDatasets::generate(qint64 count)
{
    m_records = generatedRecords(m_sim.identity().model, count);
    m_count = count;
}
