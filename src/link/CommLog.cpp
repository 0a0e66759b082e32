#include "CommLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMap>
#include <QStandardPaths>
#include <QTime>

#include <cstdio>

namespace {

const QString &headSuffix()
{
    static const QString s = QStringLiteral(".log");
    return s;
}
const QString &olderSuffix()
{
    static const QString s = QStringLiteral(".older.log");
    return s;
}
const QString &latestSuffix()
{
    static const QString s = QStringLiteral(".latest.log");
    return s;
}

} // namespace

CommLog::CommLog(QObject *parent) : QObject(parent) {}

CommLog::~CommLog()
{
    flush();
}

QString CommLog::defaultFolder()
{
    // Not the application's own data folder: the CLI and the desktop program run under different
    // application and organisation names, and both must write their runs side by side.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(data).filePath(QStringLiteral("Meravo/log"));
}

bool CommLog::open(const QString &folder, qint64 cap)
{
    m_folder = folder;
    m_cap = std::max<qint64>(cap, 64);
    if (!QDir().mkpath(folder))
        return false;
    QDir dir(folder);
    // A run is every file that starts with its stem; stems sort by their start time.
    QMap<QString, QStringList> runs;
    for (const QString &name : dir.entryList({QStringLiteral("comm-*.log")}, QDir::Files, QDir::Name))
        runs[name.section(QLatin1Char('.'), 0, 0)].append(name);
    while (runs.size() > kRunsKept - 1) {
        for (const QString &name : runs.first())
            dir.remove(name);
        runs.erase(runs.begin());
    }
    m_stem = QStringLiteral("comm-%1-%2")
                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz")))
                 .arg(QCoreApplication::applicationPid());
    // Two runs started within one millisecond by one process (tests) still get a file each.
    for (int n = 2; QFile::exists(dir.filePath(m_stem + headSuffix())); ++n)
        m_stem = m_stem.section(QLatin1Char('_'), 0, 0) + QStringLiteral("_%1").arg(n);
    m_head.setFileName(dir.filePath(m_stem + headSuffix()));
    m_headBytes = 0;
    m_latestBytes = 0;
    return m_head.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

QString CommLog::escape(const char *data, qsizetype size)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(size);
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c == '\r')
            out += QLatin1String("\\r");
        else if (c == '\n')
            out += QLatin1String("\\n");
        else if (c == '\t')
            out += QLatin1String("\\t");
        else if (c == '\\')
            out += QLatin1String("\\\\");
        else if (c >= 0x20 && c < 0x7f)
            out += QLatin1Char(char(c));
        else {
            out += QLatin1String("\\x");
            out += QLatin1Char(hex[c >> 4]);
            out += QLatin1Char(hex[c & 0xf]);
        }
    }
    return out;
}

void CommLog::write(const QString &text)
{
    if (!active())
        return;
    const QString line = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz ")) + text;
    const QByteArray bytes = line.toUtf8() + '\n';
    if (m_echo)
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    if (isOpen())
        writeToFile(bytes);
    emit lineAdded(line);
}

void CommLog::writeToFile(const QByteArray &line)
{
    const qint64 headCap = m_cap / 2;
    if (m_head.isOpen() && m_headBytes + line.size() <= headCap) {
        m_head.write(line);
        m_headBytes += line.size();
        return;
    }
    if (m_head.isOpen()) {
        m_head.close();
        if (!startLatest())
            return;
    }
    // The latest lines live in two quarters: when one is full it becomes the older one.
    if (m_latestBytes + line.size() > m_cap / 4 && m_latestBytes > 0) {
        m_latest.close();
        QDir dir(m_folder);
        dir.remove(m_stem + olderSuffix());
        dir.rename(m_stem + latestSuffix(), m_stem + olderSuffix());
        if (!startLatest())
            return;
    }
    m_latest.write(line);
    m_latestBytes += line.size();
}

bool CommLog::startLatest()
{
    m_latest.setFileName(QDir(m_folder).filePath(m_stem + latestSuffix()));
    m_latestBytes = 0;
    return m_latest.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void CommLog::flush()
{
    if (m_head.isOpen())
        m_head.flush();
    if (m_latest.isOpen())
        m_latest.flush();
}

QStringList CommLog::runFiles() const
{
    QStringList files;
    if (m_stem.isEmpty())
        return files;
    const QDir dir(m_folder);
    for (const QString *suffix : {&headSuffix(), &olderSuffix(), &latestSuffix()}) {
        const QString path = dir.filePath(m_stem + *suffix);
        if (QFile::exists(path))
            files.append(path);
    }
    return files;
}

QString CommLog::runText()
{
    flush();
    QString text;
    const QStringList files = runFiles();
    for (int i = 0; i < files.size(); ++i) {
        QFile file(files[i]);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (i == 1)
            text += QStringLiteral("...\n");
        text += QString::fromUtf8(file.readAll());
    }
    return text;
}
