// The program as the package installs it: versions, the program folder behind links, the demo's
// simulated meter and that it never outlives the program.
#include "DemoMeter.h"
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

QString binary(const char *name)
{
    return QStringLiteral(MERAVO_BIN_DIR "/") + QLatin1String(name);
}

struct Run {
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

bool writeSettings(const QString &path, bool onlyKlaro7)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(onlyKlaro7 ? "[General]\r\nOnlyKlaro7=True\r\n" : "[General]\r\nOnlyKlaro7=False\r\n") >
               0;
}

// The processes whose command line names the path (a simulator's line lies under it).
QStringList processesNaming(const QString &path)
{
    QStringList found;
    const QByteArray needle = QFile::encodeName(path);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.toInt() <= 0 || pid.toInt() == int(::getpid()))
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle))
            found.append(pid);
    }
    return found;
}

// Restores MERAVO_PORTS and MERAVO_PROGRAM_DIR, which the demo and the rows change.
struct EnvironmentKeeper {
    QByteArray ports = qgetenv("MERAVO_PORTS");
    QByteArray folder = qgetenv("MERAVO_PROGRAM_DIR");
    ~EnvironmentKeeper()
    {
        qputenv("MERAVO_PORTS", ports);
        qputenv("MERAVO_PROGRAM_DIR", folder);
    }
};

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
private slots:
    void versionsAndHelpWithoutDisplay_data();
    void versionsAndHelpWithoutDisplay();
    void programFolderBehindLinks_data();
    void programFolderBehindLinks();
    void demoMeter_data();
    void demoMeter();
    void demoEndsWithProgram_data();
    void demoEndsWithProgram();
    void screenshotKeepsTheWritersRules_data();
    void screenshotKeepsTheWritersRules();
    void screenshotWithoutMeterFails();
};

void TestInstall::versionsAndHelpWithoutDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstLine");
    const QString version = QStringLiteral(MERAVO_PROJECT_VERSION);
    const QStringList v{QStringLiteral("--version")};
    QTest::newRow("meravo") << binary("meravo") << v << 0 << QStringLiteral("meravo ") + version;
    QTest::newRow("meravo-cli") << binary("meravo-cli") << v << 0 << QStringLiteral("meravo-cli ") + version;
    QTest::newRow("metersim") << binary("metersim") << v << 0 << QStringLiteral("metersim ") + version;
    QTest::newRow("meravo help") << binary("meravo") << QStringList{QStringLiteral("--help")} << 0
                                 << QStringLiteral("Usage: meravo [--demo] [--screenshot FILE]");
    QTest::newRow("meravo unknown option")
        << binary("meravo")
        << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen"),
                       QStringLiteral("--demo-mode")}
        << 64 << QString();
}

void TestInstall::versionsAndHelpWithoutDisplay()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, firstLine);
    // A terminal without a display: help2man and package scripts ask there.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    const Run result = run(program, arguments, environment);
    QVERIFY2(!result.crashed, qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
    if (!firstLine.isEmpty())
        QCOMPARE(result.out.section(u'\n', 0, 0), firstLine);
}

void TestInstall::programFolderBehindLinks_data()
{
    QTest::addColumn<bool>("startThroughLink");
    QTest::addColumn<bool>("settingsLinked");
    QTest::addColumn<bool>("onlyKlaro7");
    QTest::addColumn<int>("exitCode");
    // The demo meter is a Lumora Turb: the restricted edition must refuse it, which proves the
    // settings were found.
    QTest::newRow("link to the executable, settings linked, restricted") << true << true << true << 1;
    QTest::newRow("link to the executable, settings file, restricted") << true << false << true << 1;
    QTest::newRow("executable, settings linked, restricted") << false << true << true << 1;
    QTest::newRow("link to the executable, settings linked, all meters") << true << true << false << 0;
}

void TestInstall::programFolderBehindLinks()
{
    QFETCH(bool, startThroughLink);
    QFETCH(bool, settingsLinked);
    QFETCH(bool, onlyKlaro7);
    QFETCH(int, exitCode);
    EnvironmentKeeper keeper;
    DemoMeter meter;
    QString error;
    QVERIFY2(meter.start(&error), qPrintable(error));

    // The package's layout in a folder of its own: usr/lib/meravo, usr/bin, etc/meravo.
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("usr/lib/meravo"));
    const QString etc = root.filePath(QStringLiteral("etc/meravo"));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(etc) &&
            QDir().mkpath(root.filePath(QStringLiteral("usr/bin"))));
    const QString executable = folder + QStringLiteral("/meravo-cli");
    // A hard link where the file system allows it, so the program's own path is the new one.
    if (::link(QFile::encodeName(binary("meravo-cli")).constData(),
               QFile::encodeName(executable).constData()) != 0)
        QVERIFY(QFile::copy(binary("meravo-cli"), executable));
    QVERIFY(QFile::link(QStringLiteral("../lib/meravo/meravo-cli"),
                        root.filePath(QStringLiteral("usr/bin/meravo-cli"))));
    if (settingsLinked) {
        QVERIFY(writeSettings(etc + QStringLiteral("/Settings.ini"), onlyKlaro7));
        QVERIFY(QFile::link(etc + QStringLiteral("/Settings.ini"), folder + QStringLiteral("/Settings.ini")));
    } else {
        QVERIFY(writeSettings(folder + QStringLiteral("/Settings.ini"), onlyKlaro7));
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("MERAVO_PROGRAM_DIR"));
    environment.insert(QStringLiteral("HOME"), root.path());
    const QString started =
        startThroughLink ? root.filePath(QStringLiteral("usr/bin/meravo-cli")) : executable;
    const Run result = run(started, {QStringLiteral("identify")}, environment);
    QVERIFY2(!result.crashed, qPrintable(result.err));
    QCOMPARE(result.exitCode, exitCode);
}

void TestInstall::demoMeter_data()
{
    QTest::addColumn<QString>("simulator"); // "" none, "real", or a script standing in for it
    QTest::addColumn<bool>("onlyKlaro7");
    QTest::addColumn<QString>("expected"); // the identify line, or a part of the error
    QTest::newRow("photometer edition")
        << QStringLiteral("real") << false << QStringLiteral("Meter: Lumora Turb");
    QTest::newRow("Klaro 7 edition") << QStringLiteral("real") << true << QStringLiteral("Meter: Klaro 7 T");
    QTest::newRow("simulator missing") << QString() << false << QStringLiteral("/metersim is missing");
    QTest::newRow("simulator fails") << QStringLiteral(
                                            "#!/bin/sh\necho 'metersim: no pseudo-terminal' >&2\nexit 1\n")
                                     << false
                                     << QStringLiteral("did not start: metersim: no pseudo-terminal");
    QTest::newRow("simulator never ready")
        << QStringLiteral("#!/bin/sh\nexec sleep 60\n") << false << QStringLiteral("did not report ready");
}

void TestInstall::demoMeter()
{
    QFETCH(QString, simulator);
    QFETCH(bool, onlyKlaro7);
    QFETCH(QString, expected);
    EnvironmentKeeper keeper;
    QTemporaryDir folder;
    const QString program = folder.filePath(QStringLiteral("metersim"));
    if (simulator == QLatin1String("real")) {
        QVERIFY(QFile::link(binary("metersim"), program));
    } else if (!simulator.isEmpty()) {
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly) && script.write(simulator.toUtf8()) > 0);
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    QVERIFY(writeSettings(folder.filePath(QStringLiteral("Settings.ini")), onlyKlaro7));
    qputenv("MERAVO_PROGRAM_DIR", QFile::encodeName(folder.path()));

    QString link;
    {
        DemoMeter meter;
        QString error;
        const bool started = meter.start(&error);
        if (simulator != QLatin1String("real")) {
            QVERIFY(!started);
            QVERIFY2(error.contains(expected), qPrintable(error));
            QVERIFY(!meter.running());
            QCOMPARE(qgetenv("MERAVO_PORTS"), keeper.ports);
            return;
        }
        QVERIFY2(started, qPrintable(error));
        link = meter.linkPath();
        QCOMPARE(qgetenv("MERAVO_PORTS"), QFile::encodeName(link));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), folder.path());
        const Run identify = run(binary("meravo-cli"), {QStringLiteral("identify")}, environment);
        QCOMPARE(identify.exitCode, 0);
        QCOMPARE(identify.out.section(u'\n', 0, 0), expected);
    }
    QVERIFY(!QFileInfo::exists(link));
    QVERIFY(processesNaming(QFileInfo(link).path()).isEmpty());
}

void TestInstall::demoEndsWithProgram_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: the program ends by itself
    QTest::newRow("ends by itself") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    // Every other signal that ends a program and that it can catch (all but the crash signals).
    QTest::newRow("SIGQUIT") << int(SIGQUIT);
    QTest::newRow("SIGUSR1") << int(SIGUSR1);
    QTest::newRow("SIGUSR2") << int(SIGUSR2);
    QTest::newRow("SIGALRM") << int(SIGALRM);
    QTest::newRow("SIGPROF") << int(SIGPROF);
    QTest::newRow("SIGKILL") << int(SIGKILL);
}

void TestInstall::demoEndsWithProgram()
{
    QFETCH(int, signalNumber);
    QTemporaryDir home;
    const QString temporary = home.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(temporary));
    const QString picture = home.filePath(QStringLiteral("main.png"));
    // Else Qt makes its runtime folder in the temporary folder that must stay empty.
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(environment);
    QStringList arguments{QStringLiteral("--demo")};
    if (signalNumber == 0)
        arguments << QStringLiteral("--screenshot") << picture;
    program.start(binary("meravo"), arguments);
    QVERIFY(program.waitForStarted());
    if (signalNumber == 0) {
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);
        const QImage image(picture);
        QVERIFY2(!image.isNull(), qPrintable(QString::fromLocal8Bit(program.readAllStandardError())));
        QVERIFY(image.width() >= 800);
    } else {
        // The login waits for a person: the simulator is up once the program shows it.
        QVERIFY(QTest::qWaitFor([&] { return !processesNaming(temporary).isEmpty(); }, 20000));
        QTest::qWait(300);
        ::kill(pid_t(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);
    }
    QVERIFY2(QTest::qWaitFor([&] { return processesNaming(temporary).isEmpty(); }, 5000),
             "a simulator outlived the program");
    // After SIGKILL the kernel ends the simulator, which removes its line; its folder may stay.
    const QStringList left =
        QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    if (signalNumber == SIGKILL) {
        for (const QString &name : left)
            QVERIFY(QDir(temporary + u'/' + name)
                        .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System));
        // The next demo removes the empty folder once it is a minute old, and nothing else.
        writeBytes(temporary + QStringLiteral("/Meravo-keep.txt"), "not the demo's");
        for (const QString &name : left) {
            const QByteArray path = QFile::encodeName(temporary + u'/' + name);
            const utimbuf old{std::time(nullptr) - 3600, std::time(nullptr) - 3600};
            QVERIFY(::utime(path.constData(), &old) == 0);
        }
        program.setArguments({QStringLiteral("--demo"), QStringLiteral("--screenshot"), picture});
        program.start();
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{QStringLiteral("Meravo-keep.txt")});
    } else {
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    }
}

void TestInstall::screenshotKeepsTheWritersRules_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a pipe") << "fifo";
    QTest::newRow("a read-only file") << "read-only";
}

// --screenshot writes as every writer does: a pipe is no file to replace (it hung before), a read-only
// file stays, also for root; the reason is told, exit 1.
void TestInstall::screenshotKeepsTheWritersRules()
{
    QFETCH(QString, kind);
    QTemporaryDir home;
    const QString picture = home.filePath(QStringLiteral("main.png"));
    if (kind == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(QFile::encodeName(picture).constData(), 0644) == 0);
    } else {
        writeBytes(picture, "the old picture");
        QVERIFY(QFile::setPermissions(picture, QFileDevice::ReadOwner));
    }
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(binary("meravo"), {QStringLiteral("--demo"), QStringLiteral("--screenshot"), picture});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(err.contains(TextTable::text(kind == QLatin1String("fifo") ? TextTable::NotRegularFile
                                                                        : TextTable::ReadOnlyFile)),
             qPrintable(err));
    if (kind == QLatin1String("fifo"))
        QVERIFY(QFileInfo(picture).isFile() == false && QFileInfo::exists(picture));
    else
        QCOMPARE(readBytes(picture), QByteArray("the old picture"));
    QCOMPARE(QDir(home.path()).entryList({QStringLiteral(".*meravo-*")}, QDir::Files | QDir::Hidden),
             QStringList());
}

void TestInstall::screenshotWithoutMeterFails()
{
    QTemporaryDir home;
    const QString picture = home.filePath(QStringLiteral("main.png"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("MERAVO_PORTS"), home.filePath(QStringLiteral("no-such-port")));
    const Run result = run(binary("meravo"), {QStringLiteral("--screenshot"), picture}, environment);
    QVERIFY(!result.crashed);
    QCOMPARE(result.exitCode, 1);
    QVERIFY(!QFile::exists(picture));
    QVERIFY2(!result.err.contains(QStringLiteral("COM 0")) &&
                 !result.err.contains(QStringLiteral("imported")),
             qPrintable(result.err));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
