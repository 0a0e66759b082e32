#include "CommLog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMap>
#include <QSet>
#include <QStandardPaths>
#include <QTime>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

constexpr QFileDevice::Permissions kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kPrivateFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

// A run whose first file some process holds is still running.
bool running(const QString &headPath)
{
    const int fd = ::open(QFile::encodeName(headPath).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

// The link logs the first piece of every answer as an RX line: a run that has one exchanged bytes with
// a meter.
bool meterSent(const QString &headPath)
{
    QFile file(headPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    static const QByteArray rx = QByteArrayLiteral("RX ");
    const qsizetype timeWidth = qsizetype(std::strlen("hh:mm:ss.zzz "));
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(CommLog::kMaxLineBytes);
        if (line.mid(timeWidth, rx.size()) == rx)
            return true;
    }
    return false;
}

// line cut to at most maxBytes of UTF-8 (at a character's start), with note in place of the rest.
QByteArray cutLine(const QByteArray &line, qsizetype maxBytes, const QString &note)
{
    const QByteArray tail = note.toUtf8() + '\n';
    qsizetype end = std::max<qsizetype>(0, maxBytes - tail.size());
    while (end > 0 && (quint8(line.at(end)) & 0xC0) == 0x80)
        --end;
    return line.left(end) + tail;
}

} // namespace

CommLog::CommLog(QObject *parent) : QObject(parent) {}

CommLog::~CommLog()
{
    flush();
    if (m_runLock >= 0)
        ::close(m_runLock);
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
    // A log opened again starts a new run.
    flush();
    m_head.close();
    m_latest.close();
    m_stem.clear();
    if (m_runLock >= 0)
        ::close(m_runLock);
    m_runLock = -1;
    m_folder.clear();
    m_cap = std::max<qint64>(cap, 64);
    m_broken = false;
    if (!QDir().mkpath(folder))
        return false;
    QFile::setPermissions(folder, kPrivateFolder);
    m_folder = folder;
    return true;
}

void CommLog::removeOldRuns() const
{
    QDir dir(m_folder);
    // A run is every file that starts with its stem; stems sort by their start time.
    QMap<QString, QStringList> runs;
    for (const QString &name : dir.entryList({QStringLiteral("comm-*.log")}, QDir::Files, QDir::Name))
        runs[name.section(QLatin1Char('.'), 0, 0)].append(name);
    qsizetype excess = runs.size() - (kRunsKept - 1);
    // Runs without an exchange go first, then the others, each oldest first.
    QSet<QString> sent;
    for (auto run = runs.cbegin(); run != runs.cend() && excess > 0; ++run) {
        if (meterSent(dir.filePath(run.key() + headSuffix())))
            sent.insert(run.key());
    }
    for (const bool exchanged : {false, true}) {
        for (auto run = runs.cbegin(); run != runs.cend() && excess > 0; ++run) {
            if (sent.contains(run.key()) != exchanged)
                continue;
            // Another program's run that still goes on keeps its files; it counts as kept.
            if (running(dir.filePath(run.key() + headSuffix())))
                continue;
            for (const QString &name : run.value())
                dir.remove(name);
            --excess;
        }
    }
    // Files of older versions were readable for everyone.
    for (const QString &name : dir.entryList({QStringLiteral("comm-*.log")}, QDir::Files))
        QFile::setPermissions(dir.filePath(name), kPrivateFile);
}

bool CommLog::startRun()
{
    QDir dir(m_folder);
    if (!dir.exists() && !QDir().mkpath(m_folder))
        return false;
    removeOldRuns();
    m_stem = QStringLiteral("comm-%1-%2")
                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz")))
                 .arg(QCoreApplication::applicationPid());
    // Two runs started within one millisecond by one process (tests) still get a file each.
    for (int n = 2; QFile::exists(dir.filePath(m_stem + headSuffix())); ++n)
        m_stem = m_stem.section(QLatin1Char('_'), 0, 0) + QStringLiteral("_%1").arg(n);
    m_head.setFileName(dir.filePath(m_stem + headSuffix()));
    m_headBytes = 0;
    m_latestBytes = 0;
    if (!m_head.open(QIODevice::WriteOnly | QIODevice::Truncate, kPrivateFile))
        return false;
    m_runLock = ::open(QFile::encodeName(m_head.fileName()).constData(), O_RDONLY | O_CLOEXEC);
    if (m_runLock >= 0)
        ::flock(m_runLock, LOCK_EX | LOCK_NB);
    return true;
}

QString CommLog::escape(const char *data, qsizetype size)
{
    static const char hex[] = "0123456789ABCDEF";
    const qsizetype shown = std::min(size, kMaxFieldBytes);
    QString out;
    out.reserve(shown);
    for (qsizetype i = 0; i < shown; ++i) {
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
    if (shown < size)
        out += cutNote(size);
    return out;
}

QString CommLog::cutNote(qint64 size)
{
    return QStringLiteral(" [... cut, %1 bytes in all]").arg(size);
}

void CommLog::write(const QString &text)
{
    if (!active())
        return;
    // A line longer than the limit is cut before it is copied any further.
    const qsizetype maxBytes = std::min<qint64>(kMaxLineBytes, m_cap / 8);
    QString line = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz ")) + text.left(maxBytes);
    QByteArray bytes = line.toUtf8() + '\n';
    if (bytes.size() > maxBytes) {
        const QString note = QStringLiteral(" [... cut, %1 characters in all]").arg(text.size());
        bytes = cutLine(bytes, maxBytes, note);
        line = QString::fromUtf8(bytes.chopped(1));
    }
    if (m_echo)
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    if (isOpen())
        writeToFile(bytes);
    emit lineAdded(line);
}

void CommLog::writeToFile(const QByteArray &line)
{
    if (m_stem.isEmpty() && !startRun()) {
        m_broken = true;
        return;
    }
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
    return m_latest.open(QIODevice::WriteOnly | QIODevice::Truncate, kPrivateFile);
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
