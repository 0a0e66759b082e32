// meravo-cli as a user runs it, against simulated meters served from this process's event loop.
#include "TestSupport.h"
#include "TextTable.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString cliPath()
{
    return QStringLiteral(MERAVO_BIN_DIR "/meravo-cli");
}

struct CliRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
    QStringList outLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
};

// Runs a program to its end while the event loop keeps serving the simulated meters.
CliRun run(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::rootPath());
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    process.start();
    limit.start(60000);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    CliRun result;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    result.finished =
        process.exitStatus() == QProcess::NormalExit && process.error() != QProcess::FailedToStart;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

CliRun cli(const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    return run(cliPath(), arguments, environment);
}

MeterIdentity meter(const char *model, const char *firmware, int baud = 4800)
{
    MeterIdentity id;
    id.model = QString::fromLatin1(model);
    id.firmware = QString::fromLatin1(firmware);
    id.serial = QStringLiteral("S-0815");
    id.baud = baud;
    return id;
}

// Why the CLI cannot be run as the user nobody here; empty when it can.
QString whyNobodyCannotRun()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to run the command as another user");
    const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
    if (runuser.isEmpty())
        return QStringLiteral("runuser is not installed");
    const CliRun reachable = run(runuser, {QStringLiteral("-u"), QStringLiteral("nobody"),
                                           QStringLiteral("--"), cliPath(), QStringLiteral("--help")});
    if (!reachable.finished || reachable.exitCode != 0)
        return QStringLiteral("the build folder is not reachable for the user nobody");
    return QString();
}

// The folder of the links readable for everyone; the ptys behind them stay root's.
bool openFolderToOthers(const SimBench &bench)
{
    return QFile::setPermissions(bench.dir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                  QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther);
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void portsListsNumberAndDevice();
    void identifyPrintsTheMeter();
    void noMeterExitsOne();
    void klaro7EditionNamesKlaro7();
    void oldFirmwareExitsTwo();
    void cliStaysEnglishInEveryLanguage();
    void everySubcommandHasHelp();
    void badCommandLinesAreUsageErrors();
    void portWithoutPermissionNamesItsGroup();
    void doctorGivesEachPortItsVerdict_data();
    void doctorGivesEachPortItsVerdict();
    void doctorWithoutPermissionNamesTheGroup();
    void doctorCallsNoTerminalNoSerialPort();
    void traceEchoesTheLogFromAnyPlace_data();
    void traceEchoesTheLogFromAnyPlace();

private:
    QTemporaryDir m_home;
};

void TestCli::initTestCase()
{
    QVERIFY2(QFile::exists(cliPath()), qPrintable(cliPath()));
    // The CLI writes its communication log into the user's data folder.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (m_home.path() + QStringLiteral("/data")).toLocal8Bit());
}

void TestCli::traceEchoesTheLogFromAnyPlace_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("echoed");
    QTest::newRow("before the command")
        << QStringList{QStringLiteral("--trace"), QStringLiteral("identify")} << true;
    QTest::newRow("after the command")
        << QStringList{QStringLiteral("identify"), QStringLiteral("--trace")} << true;
    QTest::newRow("without") << QStringList{QStringLiteral("identify")} << false;
}

void TestCli::traceEchoesTheLogFromAnyPlace()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, echoed);
    SimBench bench(1);
    bench.addMeter(1, meter("Lumora", "2.05"));
    const QDir logs(m_home.path() + QStringLiteral("/data/Meravo/log"));
    const QStringList before = logs.entryList(QDir::Files);
    const CliRun result = cli(arguments);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    const QString version = QStringLiteral("U.597\\r\\n");
    QCOMPARE(result.err.contains(version), echoed);
    QStringList added = logs.entryList(QDir::Files);
    for (const QString &name : before)
        added.removeAll(name);
    QCOMPARE(added.size(), 1);
    const QString file = QString::fromUtf8(readBytes(logs.filePath(added.first())));
    QVERIFY2(file.contains(version) && file.contains(QStringLiteral("2.05\\r\\n")), qPrintable(file));
    if (echoed)
        QCOMPARE(result.err, file);
}

void TestCli::portsListsNumberAndDevice()
{
    SimBench bench(4);
    bench.addMeter(1);
    bench.addSilentPort(3);
    const CliRun result = cli({QStringLiteral("ports")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.outLines(), QStringList({QStringLiteral("COM 1\t") + bench.devicePath(1),
                                             QStringLiteral("COM 3\t") + bench.devicePath(3)}));
    QCOMPARE(result.err, QString());

    SimBench empty(2);
    const CliRun none = cli({QStringLiteral("ports")});
    QCOMPARE(none.exitCode, 0);
    QCOMPARE(none.out, QString());
}

void TestCli::identifyPrintsTheMeter()
{
    SimBench bench(2);
    bench.addMeter(2, meter("Lumora Turb", "2.05", 19200));
    const CliRun result = cli({QStringLiteral("identify")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.outLines(), QStringList({QStringLiteral("Meter: Lumora Turb"),
                                             QStringLiteral("S/N: S-0815"), QStringLiteral("Firmware: 205"),
                                             QStringLiteral("Port: COM 2"), QStringLiteral("Baud: 19200")}));
    QCOMPARE(result.err, QString());
}

void TestCli::noMeterExitsOne()
{
    SimBench bench(3);
    const CliRun result = cli({QStringLiteral("identify")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(result.out, QString());
    QCOMPARE(result.err.trimmed(), TextTable::text(TextTable::NoMeterRecognized));
}

void TestCli::klaro7EditionNamesKlaro7()
{
    QTemporaryDir programDir;
    QVERIFY(programDir.isValid());
    QFile settings(programDir.filePath(QStringLiteral("Settings.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\r\nOnlyKlaro7=True\r\n");
    settings.close();
    SimBench bench(1);
    MeterSim &sim = bench.addMeter(1, meter("Lumora", "2.00"));
    // Taken after the bench set MERAVO_PORTS: without it the command would search the real ports.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MERAVO_PROGRAM_DIR"), programDir.path());
    const CliRun refused = cli({QStringLiteral("identify")}, environment);
    QVERIFY(refused.finished);
    QCOMPARE(refused.exitCode, 1);
    QCOMPARE(refused.err.trimmed(), TextTable::text(TextTable::NoKlaro7Recognized));
    QVERIFY(sim.commandLog().contains(QStringLiteral("U.595")));

    sim.identity() = meter("Klaro 7 T", "2.42");
    const CliRun accepted = cli({QStringLiteral("identify")}, environment);
    QVERIFY2(accepted.exitCode == 0, qPrintable(accepted.err));
    QCOMPARE(accepted.outLines().value(0), QStringLiteral("Meter: Klaro 7 T"));
}

void TestCli::cliStaysEnglishInEveryLanguage()
{
    // The desktop program's language setting and a system locale with texts of its own change nothing.
    for (const char *language : {"de", "fr", "es"}) {
        QTemporaryDir programDir;
        QFile settings(programDir.filePath(QStringLiteral("Settings.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(QByteArray("[General]\r\nLanguage=") + language + "\r\n");
        settings.close();
        SimBench bench(1);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("MERAVO_PROGRAM_DIR"), programDir.path());
        environment.insert(QStringLiteral("LANG"),
                           QString::fromLatin1(language) + QStringLiteral("_ES.UTF-8"));
        const CliRun result = cli({QStringLiteral("identify")}, environment);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(result.err.trimmed(), TextTable::english(TextTable::NoMeterRecognized));
    }
}

void TestCli::oldFirmwareExitsTwo()
{
    SimBench bench(1);
    bench.addMeter(1, meter("Klaro 4 T", "1.59"));
    const CliRun result = cli({QStringLiteral("identify")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.out, QString());
    QCOMPARE(result.err.split(u'\n', Qt::SkipEmptyParts),
             QStringList({TextTable::text(TextTable::MeterSoftwareTooOld),
                          TextTable::text(TextTable::UpdateFirmware)}));
}

void TestCli::everySubcommandHasHelp()
{
    const CliRun overview = cli({QStringLiteral("--help")});
    QVERIFY(overview.finished);
    QCOMPARE(overview.exitCode, 0);
    // The overview lists the subcommands, two blanks in, after "Commands:".
    QStringList names;
    bool inList = false;
    for (const QString &line : overview.out.split(u'\n')) {
        if (line.startsWith(QLatin1String("Commands:"))) {
            inList = true;
            continue;
        }
        if (inList && line.startsWith(QLatin1String("  ")))
            names << line.trimmed().section(u' ', 0, 0);
        else if (inList)
            break;
    }
    QVERIFY2(names.contains(QStringLiteral("ports")) && names.contains(QStringLiteral("identify")),
             qPrintable(overview.out));
    SimBench bench(1); // no command may touch a real port while showing its help
    for (const QString &name : names) {
        for (const QString &option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const CliRun help = cli({name, option});
            QVERIFY2(help.finished, qPrintable(name));
            QVERIFY2(help.exitCode == 0, qPrintable(name + QLatin1Char(' ') + help.err));
            QVERIFY2(help.out.contains(name), qPrintable(name));
        }
    }
}

void TestCli::badCommandLinesAreUsageErrors()
{
    SimBench bench(1);
    const CliRun unknown = cli({QStringLiteral("frobnicate")});
    QVERIFY(unknown.finished);
    QCOMPARE(unknown.exitCode, 64);
    QVERIFY(unknown.err.contains(QStringLiteral("frobnicate")));
    QCOMPARE(cli({}).exitCode, 64);
    QCOMPARE(cli({QStringLiteral("ports"), QStringLiteral("extra")}).exitCode, 64);
    QCOMPARE(cli({QStringLiteral("identify"), QStringLiteral("--no-such-option")}).exitCode, 64);
}

void TestCli::portWithoutPermissionNamesItsGroup()
{
    const QString why = whyNobodyCannotRun();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));

    SimBench bench(1);
    bench.addMeter(1, meter("Lumora", "2.00"));
    // The folder of the link is readable for everyone; the pty behind it belongs to root.
    QVERIFY(openFolderToOthers(bench));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(bench.devicePath(1)).constData(), &info), 0);
    const struct group *owner = ::getgrgid(info.st_gid);
    QVERIFY(owner);
    const QString groupName = QString::fromLocal8Bit(owner->gr_name);

    const CliRun result = run(runuser, {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                        cliPath(), QStringLiteral("identify")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QStringLiteral("No permission")), qPrintable(result.err));
    QVERIFY2(result.err.contains(QLatin1Char('"') + groupName + QLatin1Char('"')), qPrintable(result.err));
    QVERIFY2(result.err.contains(bench.devicePath(1)), qPrintable(result.err));
    // Told once for the whole search, then the search result.
    QCOMPARE(result.err.count(QStringLiteral("No permission")), 1);
    QVERIFY(result.err.contains(TextTable::text(TextTable::NoMeterRecognized)));
}

namespace {

enum class PortSetup { Meter, Silent, HeldOpen, Missing };

QJsonObject doctorJson(const CliRun &result)
{
    return QJsonDocument::fromJson(result.out.toUtf8()).object();
}

} // namespace

void TestCli::doctorGivesEachPortItsVerdict_data()
{
    QTest::addColumn<int>("setupRow");
    QTest::addColumn<bool>("search");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("searchResult");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("usable, not searched") << int(PortSetup::Meter) << false << "usable"
                                          << "not-run"
                                          << "" << 0;
    QTest::newRow("meter at 19200") << int(PortSetup::Meter) << true << "usable"
                                    << "found"
                                    << "19200" << 0;
    // A search over a silent line waits at every baud rate (the link's own tests prove those waits on a
    // fake clock): the search that finds nothing runs where no port opens.
    QTest::newRow("silent port") << int(PortSetup::Silent) << false << "usable"
                                 << "not-run"
                                 << "" << 0;
    QTest::newRow("held open") << int(PortSetup::HeldOpen) << false << "in-use"
                               << "not-run"
                               << "" << 1;
    QTest::newRow("vanished") << int(PortSetup::Missing) << true << "vanished"
                              << "not-found"
                              << "" << 1;
}

void TestCli::doctorGivesEachPortItsVerdict()
{
    QFETCH(int, setupRow);
    QFETCH(bool, search);
    QFETCH(QString, verdict);
    QFETCH(QString, searchResult);
    QFETCH(QString, baud);
    QFETCH(int, exitCode);
    const auto setup = PortSetup(setupRow);
    SimBench bench(1);
    if (setup == PortSetup::Silent)
        bench.addSilentPort(1);
    else if (setup != PortSetup::Missing)
        bench.addMeter(1, meter("Lumora Turb", "2.05", 19200));
    // Another program holding the port: Qt's lock file tells it even to root, who passes the exclusive open.
    QSerialPort holder(bench.devicePath(1));
    if (setup == PortSetup::HeldOpen)
        QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));

    QStringList arguments{QStringLiteral("doctor"), QStringLiteral("--json")};
    if (!search)
        arguments << QStringLiteral("--no-probe");
    const CliRun result = cli(arguments);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    const QJsonObject report = doctorJson(result);
    const QJsonArray ports = report.value(QStringLiteral("ports")).toArray();
    QCOMPARE(ports.size(), 1);
    const QJsonObject port = ports.at(0).toObject();
    QCOMPARE(port.value(QStringLiteral("com")).toInt(), 1);
    QCOMPARE(port.value(QStringLiteral("device")).toString(), bench.devicePath(1));
    QCOMPARE(port.value(QStringLiteral("verdict")).toString(), verdict);
    if (setup == PortSetup::HeldOpen) {
        const QString self = QString::number(QCoreApplication::applicationPid());
        const QStringList holders = port.value(QStringLiteral("holders")).toVariant().toStringList();
        QVERIFY2(
            holders.filter(QRegularExpression(QStringLiteral("^") + self + QStringLiteral(" "))).size() == 1,
            qPrintable(holders.join(u',')));
    }
    const QJsonObject found = report.value(QStringLiteral("search")).toObject();
    QCOMPARE(found.value(QStringLiteral("result")).toString(), searchResult);
    QCOMPARE(found.value(QStringLiteral("baud")).toString(), baud);
    QCOMPARE(found.value(QStringLiteral("com")).toInt(), searchResult == QLatin1String("found") ? 1 : 0);

    // The report for people says the same.
    arguments.removeAll(QStringLiteral("--json"));
    const CliRun people = cli(arguments);
    QCOMPARE(people.exitCode, exitCode);
    QVERIFY2(people.out.contains(bench.devicePath(1)), qPrintable(people.out));
    if (searchResult == QLatin1String("found"))
        QVERIFY2(people.out.contains(TextTable::text(TextTable::CheckMeterFound)
                                         .arg(QStringLiteral("Lumora Turb"))
                                         .arg(1)
                                         .arg(baud)),
                 qPrintable(people.out));
}

// /dev/null opens like any device, but no meter can be behind it.
void TestCli::doctorCallsNoTerminalNoSerialPort()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MERAVO_PORTS"), QStringLiteral("/dev/null"));
    const CliRun result =
        cli({QStringLiteral("doctor"), QStringLiteral("--json"), QStringLiteral("--no-probe")}, environment);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    const QJsonObject port = doctorJson(result).value(QStringLiteral("ports")).toArray().at(0).toObject();
    QCOMPARE(port.value(QStringLiteral("verdict")).toString(), QStringLiteral("not-serial"));
    const CliRun people = cli({QStringLiteral("doctor"), QStringLiteral("--no-probe")}, environment);
    QVERIFY2(people.out.contains(TextTable::text(TextTable::CheckNotSerial)), qPrintable(people.out));
}

void TestCli::doctorWithoutPermissionNamesTheGroup()
{
    const QString why = whyNobodyCannotRun();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    const QString runuser = QStandardPaths::findExecutable(QStringLiteral("runuser"));
    SimBench bench(1);
    bench.addMeter(1, meter("Lumora", "2.00"));
    QVERIFY(openFolderToOthers(bench));
    const QByteArray device = QFile::encodeName(bench.devicePath(1));
    QCOMPARE(::chmod(device.constData(), 0600), 0);
    struct stat info {};
    QCOMPARE(::stat(device.constData(), &info), 0);
    const struct group *owner = ::getgrgid(info.st_gid);
    QVERIFY(owner);

    const CliRun result = run(runuser, {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                        cliPath(), QStringLiteral("doctor"), QStringLiteral("--json")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    const QJsonObject port = doctorJson(result).value(QStringLiteral("ports")).toArray().at(0).toObject();
    QCOMPARE(port.value(QStringLiteral("verdict")).toString(), QStringLiteral("no-permission"));
    QCOMPARE(port.value(QStringLiteral("group")).toString(), QString::fromLocal8Bit(owner->gr_name));
    // nobody is not listed in the group, so logging in again would not help.
    QCOMPARE(port.value(QStringLiteral("groupPending")).toBool(), false);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
