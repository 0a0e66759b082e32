// Every writer keeps its promise: one table of writers x faults. A writer either writes the whole file
// (exit 0) or says why not, and then the previous file stays byte for byte; no temporary file is left
// either way. Rows that need root (mounts, another user) skip with the reason where they cannot be set
// up; CI runs them as root.
//
// Writers: csv (measured-value files, CCSVFile), xls and xlsx (meravo-cli export), pdf (meravo-cli
// print, the windows' "Save as PDF"), whole (FileWrites::writeWhole: the chart picture, the log's
// "Save as...", --screenshot). csv and whole run in a child of this test (--write), so that a file-size
// limit, a signal or a mount namespace applies to the writer alone.
#include "CCSVFile.h"
#include "ErrorFrame.h"
#include "FileWrites.h"
#include "TestSupport.h"
#include "TextTable.h"
#include "WorkbookCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utime.h>

namespace {

QString cliPath()
{
    return QStringLiteral(MERAVO_BIN_DIR "/meravo-cli");
}

QByteArray measuredValueFile(int count)
{
    QByteArray text = "METER;S/N;USER;DATE;TIME\r\nLumora;S-0042;M\xfcller;3/7/2026;14:30:05\r\n\r\n"
                      "NO;DATE;TIME;ID;PROG;CIT;AR/BV;DIL;VALUE1;UNIT1;VALID1;VALUE2;UNIT2;VALID2";
    for (int k = 1; k <= count; ++k)
        text += "\r\n" + QByteArray::number(k) +
                ";07.03.26;14:01;7;900;;;1:1;-1.5e-3;\xb5S/cm;OK;25;\xb0"
                "C;OK";
    return text + "\r\n";
}

const QByteArray kOld =
    QByteArray("the previous file, which a failed write must leave as it is\n").repeated(16);

// The writer's command without its target, which goes last (see run()).
QStringList writerCommand(const QString &writer, const QString &input)
{
    if (writer == QLatin1String("xls") || writer == QLatin1String("xlsx"))
        return {cliPath(), QStringLiteral("export"), input};
    if (writer == QLatin1String("pdf"))
        return {cliPath(), QStringLiteral("print"), input, QStringLiteral("--pdf")};
    return {QCoreApplication::applicationFilePath(), QStringLiteral("--write"), writer, input};
}

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::NormalExit;
    QString err;
};

// Runs the writer through sh: prelude first (a file-size limit), then the writer with the target's
// bytes (printf %b: a name need not be UTF-8). wrapper goes in front (unshare).
QProcess *startWriter(const QString &writer, const QString &input, const QByteArray &target,
                      const QString &prelude = QString(), const QStringList &wrapper = {})
{
    auto *process = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // printf %b takes \0ooo for any byte.
    QString escaped;
    for (const char c : target)
        escaped += QStringLiteral("\\0%1").arg(uint(quint8(c)), 3, 8, QLatin1Char('0'));
    environment.insert(QStringLiteral("WF_TARGET"), escaped);
    process->setProcessEnvironment(environment);
    const QString script = (prelude.isEmpty() ? QString() : prelude + QStringLiteral("; ")) +
                           QStringLiteral("exec \"$@\" \"$(printf %b \"$WF_TARGET\")\"");
    QStringList arguments = wrapper;
    arguments << QStringLiteral("sh") << QStringLiteral("-c") << script << QStringLiteral("sh")
              << writerCommand(writer, input);
    process->setProgram(arguments.takeFirst());
    process->setArguments(arguments);
    process->start();
    return process;
}

Outcome finish(QProcess *process)
{
    Outcome outcome;
    outcome.finished = process->waitForFinished(120000);
    outcome.exitCode = process->exitCode();
    outcome.status = process->exitStatus();
    outcome.err = QString::fromUtf8(process->readAllStandardError());
    delete process;
    return outcome;
}

Outcome runWriter(const QString &writer, const QString &input, const QByteArray &target,
                  const QString &prelude = QString(), const QStringList &wrapper = {})
{
    return finish(startWriter(writer, input, target, prelude, wrapper));
}

QString extension(const QString &writer)
{
    return writer == QLatin1String("whole") ? QStringLiteral("png") : writer;
}

// The temporary file of a write in progress in folder.
bool writing(const QString &folder)
{
    return !QDir(folder).entryList({QStringLiteral(".*.meravo-*")}, QDir::Files | QDir::Hidden).isEmpty();
}

// Files in folder that a writer may have left: hidden ones and the library's.
QStringList leftovers(const QString &folder)
{
    QStringList found;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (name.startsWith(u'.') || name.startsWith(QLatin1String("tmp")))
            found << name;
    return found;
}

// A whole file of the writer's kind.
QString wholeFileProblem(const QString &writer, const QString &path, const QByteArray &input)
{
    const QByteArray bytes = readBytes(path);
    if (writer == QLatin1String("pdf"))
        return bytes.startsWith("%PDF-") && bytes.trimmed().endsWith("%%EOF")
                   ? QString()
                   : QStringLiteral("no whole PDF");
    if (writer == QLatin1String("xlsx"))
        return WorkbookCheck::verify(path, QByteArrayLiteral("xl/worksheets/sheet1.xml"), -1);
    if (writer == QLatin1String("xls"))
        return bytes.startsWith(QByteArray("\x09\x00", 2)) &&
                       bytes.endsWith(QByteArray("\x0a\x00\x00\x00", 4))
                   ? QString()
                   : QStringLiteral("no whole sheet");
    return bytes == input ? QString() : QStringLiteral("other bytes than written");
}

// The process is stopped (state T in /proc).
bool stopped(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.mid(close + 2, 1) == "T";
}

bool haveRoot()
{
    return ::geteuid() == 0;
}

// The child's part: one write, its failure on stderr, exit 0 or 5.
int childWrite(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    FileWrites::ignoreFileSizeSignal();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 5)
        return 64;
    ErrorFrame::setHandler(
        [](const QString &description) { std::fprintf(stderr, "Error: %s\n", qPrintable(description)); });
    const QString writer = arguments.at(2);
    const QByteArray bytes = readBytes(arguments.at(3));
    const QString target = arguments.at(4);
    if (writer == QLatin1String("csv"))
        return CCSVFile().WriteFile(target, QString::fromLatin1(bytes)) ? 0 : 5;
    const QString failure = FileWrites::writeWhole(target, bytes);
    if (failure.isEmpty())
        return 0;
    std::fprintf(stderr, "Error: %s\n", qPrintable(failure));
    return 5;
}

} // namespace

class TestWriteFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void faults_data();
    void faults();
    void signalsLeaveNoTemporaryFile_data();
    void signalsLeaveNoTemporaryFile();
    void staleTemporariesGoAtTheNextWrite();
    void temporaryNamesStayWithinTheLimit();
    void commandsWithoutMeterLeaveNoLogRun();

private:
    QTemporaryDir m_work;
    QString m_input;    // 500 datasets: every writer's file is larger than the limits below
    QString m_bigInput; // 20000 datasets: writes that last long enough to be interrupted
    QByteArray m_inputBytes;
};

void TestWriteFaults::initTestCase()
{
    QVERIFY(m_work.isValid());
    QVERIFY(QFile::setPermissions(m_work.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                     QFileDevice::ExeOther));
    m_input = m_work.filePath(QStringLiteral("values.csv"));
    m_inputBytes = measuredValueFile(500);
    writeBytes(m_input, m_inputBytes);
    m_bigInput = m_work.filePath(QStringLiteral("big.csv"));
    writeBytes(m_bigInput, measuredValueFile(20000));
}

void TestWriteFaults::faults_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("fault");
    // true: the file is written whole, exit 0; false: refused, exit 5 (pdf, xlsx, csv...) with the message.
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("message");
    const QString noSpace = FileWrites::systemText(ENOSPC);
    const QString tooLarge = FileWrites::systemText(EFBIG);
    const QString tooLong = FileWrites::systemText(ENAMETOOLONG);
    for (const char *w : {"csv", "xls", "xlsx", "pdf", "whole"}) {
        const QString writer = QString::fromLatin1(w);
        const auto row = [&](const char *fault, bool written, const QString &message) {
            QTest::addRow("%s %s", w, fault) << writer << QString::fromLatin1(fault) << written << message;
        };
        row("none", true, QString());
        row("full disk 8 KiB", false, noSpace);
        row("ulimit -f 1", false, tooLarge);
        row("ulimit -f 6", false, tooLarge);
        row("ulimit -f 14", false, tooLarge);
        row("full /tmp", true, QString());
        row("foreign link in /tmp-like folder", false, TextTable::text(TextTable::ForeignLink));
        row("own link in /tmp-like folder", true, QString());
        row("name of 250 bytes", true, QString());
        row("name of 255 bytes", true, QString());
        row("name of 256 bytes", false, tooLong);
        row("name not UTF-8", false, TextTable::text(TextTable::NameNotUtf8));
    }
}

void TestWriteFaults::faults()
{
    QFETCH(QString, writer);
    QFETCH(QString, fault);
    QFETCH(bool, written);
    QFETCH(QString, message);
    QTemporaryDir base(m_work.filePath(QStringLiteral("row-XXXXXX")));
    QVERIFY(base.isValid());
    QString folder = base.path();
    QString prelude;
    QStringList wrapper;
    QByteArray name = "out." + extension(writer).toLatin1();
    QString checked; // the file whose bytes must stay or change (a link's target)
    QString input = m_input;
    std::unique_ptr<QTemporaryDir> outside;
    bool mounted = false;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {folder});
    });

    if (fault.startsWith(QLatin1String("full disk"))) {
        folder = base.filePath(QStringLiteral("small"));
        QDir().mkpath(folder);
        if (!haveRoot() || QProcess::execute(QStringLiteral("mount"),
                                             {"-t", "tmpfs", "-o", "size=256k", "tmpfs", folder}) != 0)
            QSKIP("no small file system can be mounted here (needs root)");
        mounted = true;
        writeBytes(QDir(folder).filePath(QString::fromLatin1(name)), kOld);
        // Filled to the last block, then 8 KiB given back.
        QFile fill(QDir(folder).filePath(QStringLiteral("fill")));
        QVERIFY(fill.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (fill.write(block) == block.size() && fill.flush()) {
        }
        fill.close();
        QVERIFY(fill.resize(fill.size() - 8192));
    } else if (fault.startsWith(QLatin1String("ulimit -f"))) {
        prelude = fault;
    } else if (fault == QLatin1String("full /tmp")) {
        // A private /tmp of 16 KiB, full; the target's folder (here, not below /tmp) has room.
        if (!haveRoot() || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty() ||
            QProcess::execute(QStringLiteral("unshare"), {"-m", "true"}) != 0)
            QSKIP("no private mount namespace can be made here (needs root and unshare)");
        // The row's folder and input away from /tmp, which the writer does not see any more.
        // A private /tmp would hide the programs themselves when the build lies below /tmp.
        if (QCoreApplication::applicationDirPath().startsWith(QLatin1String("/tmp/")))
            QSKIP("the build lies below /tmp, which a private /tmp would hide");
        outside = std::make_unique<QTemporaryDir>(QDir::current().filePath(QStringLiteral("wf-tmp-XXXXXX")));
        QVERIFY(outside->isValid() && !outside->path().startsWith(QLatin1String("/tmp/")));
        folder = outside->path();
        input = outside->filePath(QStringLiteral("values.csv"));
        writeBytes(input, m_inputBytes);
        wrapper = {QStringLiteral("unshare"),
                   QStringLiteral("-m"),
                   QStringLiteral("sh"),
                   QStringLiteral("-c"),
                   QStringLiteral("mount -t tmpfs -o size=16k tmpfs /tmp && "
                                  "dd if=/dev/zero of=/tmp/fill bs=1k count=64 2>/dev/null; exec \"$@\""),
                   QStringLiteral("sh")};
    } else if (fault.contains(QLatin1String("link in /tmp-like folder"))) {
        // A sticky world-writable folder, where another user plants a link to this user's file.
        const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
        if (!haveRoot() || runuser.isEmpty())
            QSKIP("another user's link cannot be planted here (needs root and runuser)");
        QVERIFY(QFile::setPermissions(base.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                       QFileDevice::ExeOther));
        folder = base.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 01777) == 0);
        checked = base.filePath(QStringLiteral("victim.") + extension(writer));
        writeBytes(checked, kOld);
        const QString link = QDir(folder).filePath(QString::fromLatin1(name));
        if (fault.startsWith(QLatin1String("foreign"))) {
            QCOMPARE(QProcess::execute(runuser, {"-u", "nobody", "--", "ln", "-s", checked, link}), 0);
        } else {
            QVERIFY(QFile::link(checked, link));
        }
    } else if (fault.startsWith(QLatin1String("name of"))) {
        const int length = fault.section(u' ', 2, 2).toInt();
        const QByteArray suffix = "." + extension(writer).toLatin1();
        name = QByteArray(length - suffix.size(), 'n') + suffix;
    } else if (fault == QLatin1String("name not UTF-8")) {
        name = "bad\xff\xfe." + extension(writer).toLatin1();
    }
    const QByteArray target = QFile::encodeName(folder) + '/' + name;
    if (checked.isEmpty()) {
        checked = QFile::decodeName(target);
        // An existing file to replace, where the name can exist at all.
        if (name.size() <= 255 && !fault.contains(QLatin1String("UTF-8")) &&
            !fault.startsWith(QLatin1String("full disk")))
            writeBytes(checked, kOld);
    }
    const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);

    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = runWriter(writer, input, target, prelude, wrapper);
    QVERIFY2(outcome.finished, "the writer did not end within two minutes");
    QCOMPARE(outcome.status, QProcess::NormalExit);
    if (written) {
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.err));
        const QString problem = wholeFileProblem(writer, checked, m_inputBytes);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        if (fault.contains(QLatin1String("link")))
            QVERIFY(QFileInfo(QFile::decodeName(target)).isSymLink()); // the link stays a link
    } else {
        QVERIFY2(outcome.exitCode != 0, qPrintable(outcome.err));
        QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
        if (QFileInfo::exists(checked) || fault.contains(QLatin1String("link")))
            QCOMPARE(readBytes(checked), kOld);
        // Nothing written under another name either.
        QStringList after = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        QCOMPARE(after, before);
    }
    QCOMPARE(leftovers(folder), QStringList());
    qInfo("%s, %s: exit %d in %lld ms", qPrintable(writer), qPrintable(fault), outcome.exitCode,
          clock.elapsed());
}

void TestWriteFaults::signalsLeaveNoTemporaryFile_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<int>("signalNumber");
    for (const char *writer : {"csv", "xls", "xlsx", "pdf", "whole"}) {
        for (auto [name, number] : {std::pair{"SIGINT", SIGINT},
                                    {"SIGTERM", SIGTERM},
                                    {"SIGHUP", SIGHUP},
                                    {"SIGQUIT", SIGQUIT},
                                    {"SIGUSR1", SIGUSR1},
                                    {"SIGALRM", SIGALRM}})
            QTest::addRow("%s %s", writer, name) << QString::fromLatin1(writer) << int(number);
    }
}

// The writer is caught with its temporary file open (stopped there), then given the signal.
void TestWriteFaults::signalsLeaveNoTemporaryFile()
{
    QFETCH(QString, writer);
    QFETCH(int, signalNumber);
    QTemporaryDir folder(m_work.filePath(QStringLiteral("sig-XXXXXX")));
    const QString target = folder.filePath(QStringLiteral("out.") + extension(writer));
    writeBytes(target, kOld);
    // The whole-file and csv writers get 40 MB to write, the others 20000 datasets.
    QString input = m_bigInput;
    if (writer == QLatin1String("whole") || writer == QLatin1String("csv")) {
        input = folder.filePath(QStringLiteral("input"));
        writeBytes(input, measuredValueFile(500).repeated(1100));
    }
    QProcess *process = startWriter(writer, input, QFile::encodeName(target));
    QVERIFY(process->waitForStarted());
    // Taken once: after the end processId() is 0, and kill(0) would hit this test's own group.
    const auto pid = pid_t(process->processId());
    QVERIFY(pid > 0);
    bool caught = false;
    QElapsedTimer clock;
    clock.start();
    while (!caught && process->state() == QProcess::Running && clock.elapsed() < 60000) {
        if (writing(folder.path())) {
            ::kill(pid, SIGSTOP);
            caught = true;
        }
    }
    // Stopped for sure (the signal takes a moment), and still with its temporary file: a fast writer
    // may have committed in between.
    if (caught) {
        QVERIFY(QTest::qWaitFor([pid] { return stopped(pid); }, 5000));
        caught = writing(folder.path());
    }
    if (!caught) {
        ::kill(pid, SIGCONT);
        finish(process);
        QSKIP("the write ended before it could be caught");
    }
    ::kill(pid, signalNumber);
    ::kill(pid, SIGCONT);
    const Outcome outcome = finish(process);
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.status, QProcess::CrashExit);
    QCOMPARE(readBytes(target), kOld);
    QCOMPARE(leftovers(folder.path()).join(u' '), QString());
}

// After kill -9 the temporary file stays; the next write into the folder removes it once it is stale,
// and never a file of another user, a fresh one, or one of another program's pattern.
void TestWriteFaults::staleTemporariesGoAtTheNextWrite()
{
    QTemporaryDir folder(m_work.filePath(QStringLiteral("stale-XXXXXX")));
    const QString target = folder.filePath(QStringLiteral("out.pdf"));
    QProcess *process = startWriter(QStringLiteral("pdf"), m_bigInput, QFile::encodeName(target));
    QVERIFY(process->waitForStarted());
    const auto pid = pid_t(process->processId());
    QVERIFY(pid > 0);
    QElapsedTimer clock;
    clock.start();
    while (!writing(folder.path()) && process->state() == QProcess::Running && clock.elapsed() < 60000) {
    }
    ::kill(pid, SIGKILL);
    finish(process);
    const QStringList killed = leftovers(folder.path());
    if (killed.isEmpty())
        QSKIP("the write ended before it could be killed");
    QCOMPARE(killed.size(), 1);
    const QString stale = folder.filePath(killed.first());
    const QString fresh = folder.filePath(QStringLiteral(".other.pdf.meravo-AbC123"));
    const QString foreign = folder.filePath(QStringLiteral(".foreign.pdf.meravo-XyZ789"));
    const QString rsyncLike = folder.filePath(QStringLiteral(".out.pdf.Qw3rTy"));
    for (const QString &path : {fresh, foreign, rsyncLike})
        writeBytes(path, "keep");
    const auto age = [](const QString &path) {
        const utimbuf old{std::time(nullptr) - 3600, std::time(nullptr) - 3600};
        return ::utime(QFile::encodeName(path).constData(), &old) == 0;
    };
    QVERIFY(age(stale));
    QVERIFY(age(foreign));
    QVERIFY(age(rsyncLike));
    const bool otherUser = haveRoot() && ::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0;

    const Outcome outcome = runWriter(QStringLiteral("whole"), m_input, QFile::encodeName(target));
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(!QFileInfo::exists(stale));
    QVERIFY(QFileInfo::exists(fresh));
    QVERIFY(QFileInfo::exists(rsyncLike));
    if (otherUser)
        QVERIFY(QFileInfo::exists(foreign));
}

void TestWriteFaults::temporaryNamesStayWithinTheLimit()
{
    QTemporaryDir folder;
    // Multi-byte characters up to the last byte: the name is cut at a character's start.
    const QString name = QString(84, QChar(0x00FC)) + QStringLiteral("abc.pdf");   // 168 + 7 bytes
    const QString longName = QString(124, QChar(0x00FC)) + QStringLiteral(".pdf"); // 252 bytes
    for (const QString &n : {name, longName}) {
        FileWrites::ReplaceByRename file(folder.filePath(n));
        QVERIFY2(file.open(), qPrintable(file.errorString()));
        const QByteArray temporary = QFile::encodeName(QFileInfo(file.temporaryPath()).fileName());
        QVERIFY(temporary.size() <= 255);
        QVERIFY(QString::fromUtf8(temporary).toUtf8() == temporary); // still valid UTF-8
        QVERIFY(file.write("x", 1));
        QVERIFY2(file.commit(), qPrintable(file.errorString()));
        QCOMPARE(readBytes(folder.filePath(n)), QByteArray("x"));
    }
}

// export and print talk to no meter: they make no log run that would push a real one out.
void TestWriteFaults::commandsWithoutMeterLeaveNoLogRun()
{
    QTemporaryDir data;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    process.setProcessEnvironment(environment);
    const QString out = data.filePath(QStringLiteral("out"));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("export"), m_input, out + QStringLiteral(".xlsx")},
          QStringList{QStringLiteral("print"), m_input, QStringLiteral("--pdf"),
                      out + QStringLiteral(".pdf")}}) {
        process.start(cliPath(), arguments);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
    }
    QDir log(data.filePath(QStringLiteral("Meravo/log")));
    QCOMPARE(log.entryList({QStringLiteral("comm-*")}, QDir::Files), QStringList());
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--write") == 0)
        return childWrite(argc, argv);
    QCoreApplication application(argc, argv);
    TestWriteFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_writefaults.moc"
