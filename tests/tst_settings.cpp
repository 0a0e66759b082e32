// Settings.ini as the program reads it: profile-reader rules, the program folder, the edition switch.
#include "CIni.h"
#include "ProgramFolder.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

// Sets or clears an environment variable for the lifetime of the object.
class EnvGuard {
public:
    explicit EnvGuard(const char *name)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
    }
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void namesAreComparedWithoutCaseAndValuesTrimmed();
    void quotesAroundValuesAreDropped();
    void missingFileSectionOrKeyGivesDefault();
    void valuesAreCutToBufferSize();
    void bytesAreReadAsWindows1252();
    void crLfAndLfFilesReadAlike();
    void programFolderFollowsEnvironment();
    void editionSwitchIsOnlyExactTrue_data();
    void editionSwitchIsOnlyExactTrue();
    void shippedSettingsAreRead();
    void localSettingsOverrideTheShippedFile();
    void systemSettingsHoldWhateverTheProgramFolder_data();
    void systemSettingsHoldWhateverTheProgramFolder();

private:
    QTemporaryDir m_dir;
    QString m_ini;
    CIni m_reader;
};

void TestSettings::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_ini = m_dir.filePath(QStringLiteral("Settings.ini"));
    QVERIFY(writeFile(m_ini, "; settings of the tests\n"
                             "Orphan=before any section\n"
                             "[General]\n"
                             "OnlyKlaro7=True\n"
                             "  Manufacturer  =   7  \n"
                             ";Commented=yes\n"
                             "Empty=\n"
                             "Twice=first\n"
                             "Twice=second\n"
                             "Formula=a=b\n"
                             "\n"
                             "[ About ]\n"
                             "AppName=Meravo\n"
                             "Quoted=\"  spaced out  \"\n"
                             "Single='single'\n"
                             "Unbalanced=\"open'\n"
                             "Lone=\"\n"));
}

void TestSettings::namesAreComparedWithoutCaseAndValuesTrimmed()
{
    QCOMPARE(m_reader.GetIniString(QStringLiteral("general"), QStringLiteral("ONLYKLARO7"),
                                   QStringLiteral("x"), m_ini, 256),
             QStringLiteral("True"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("GENERAL"), QStringLiteral("manufacturer"),
                                   QStringLiteral("x"), m_ini, 256),
             QStringLiteral("7"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("about"), QStringLiteral("appname"), QStringLiteral("x"),
                                   m_ini, 256),
             QStringLiteral("Meravo"));
    // A key that is present with nothing after "=" is an empty value, not the default.
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Empty"), QStringLiteral("x"),
                                   m_ini, 256),
             QString());
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Twice"), QStringLiteral("x"),
                                   m_ini, 256),
             QStringLiteral("first"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Formula"), QStringLiteral("x"),
                                   m_ini, 256),
             QStringLiteral("a=b"));
    // Lines before the first section and commented lines are no keys.
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Orphan"), QStringLiteral("x"),
                                   m_ini, 256),
             QStringLiteral("x"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Commented"),
                                   QStringLiteral("x"), m_ini, 256),
             QStringLiteral("x"));
    // Keys belong to their own section.
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("OnlyKlaro7"), QStringLiteral("x"),
                                   m_ini, 256),
             QStringLiteral("x"));
}

void TestSettings::quotesAroundValuesAreDropped()
{
    const auto about = [this](const char *key) {
        return m_reader.GetIniString(QStringLiteral("About"), QString::fromLatin1(key), QStringLiteral("x"),
                                     m_ini, 256);
    };
    QCOMPARE(about("Quoted"), QStringLiteral("  spaced out  "));
    QCOMPARE(about("Single"), QStringLiteral("single"));
    QCOMPARE(about("Unbalanced"), QStringLiteral("\"open'"));
    QCOMPARE(about("Lone"), QStringLiteral("\""));
}

void TestSettings::missingFileSectionOrKeyGivesDefault()
{
    ErrorRecorder errors;
    const QString missing = m_dir.filePath(QStringLiteral("nothing-here.ini"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("OnlyKlaro7"),
                                   QStringLiteral("False"), missing, 256),
             QStringLiteral("False"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("Nowhere"), QStringLiteral("OnlyKlaro7"),
                                   QStringLiteral("False"), m_ini, 256),
             QStringLiteral("False"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Absent"), QStringLiteral("0"),
                                   m_ini, 256),
             QStringLiteral("0"));
    // A folder where the file should be reads as a missing file.
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("OnlyKlaro7"),
                                   QStringLiteral("d"), m_dir.path(), 256),
             QStringLiteral("d"));
    QVERIFY(errors.reports.isEmpty());
}

void TestSettings::valuesAreCutToBufferSize()
{
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("AppName"), QString(), m_ini, 5),
             QStringLiteral("Mera"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("AppName"), QString(), m_ini, 7),
             QStringLiteral("Meravo"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("AppName"), QString(), m_ini, 1),
             QString());
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("AppName"), QString(), m_ini, 0),
             QString());
    // The default goes through the same buffer.
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("Absent"),
                                   QStringLiteral("Default"), m_ini, 4),
             QStringLiteral("Def"));

    const QString longIni = m_dir.filePath(QStringLiteral("long.ini"));
    QVERIFY(writeFile(longIni, "[About]\r\nDisclaimer=" + QByteArray(400, 'd') + "\r\n"));
    QCOMPARE(
        m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("Disclaimer"), QString(), longIni, 256),
        QString(255, u'd'));
}

void TestSettings::bytesAreReadAsWindows1252()
{
    const QString path = m_dir.filePath(QStringLiteral("cp1252.ini"));
    // e acute, euro sign, German sharp s, and a byte Latin-1 would read as a control character.
    QVERIFY(writeFile(path, "[About]\r\nMail=Caf\xE9 \x80 Stra\xDF"
                            "e \x93q\x94\r\n"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("Mail"), QString(), path, 256),
             QStringLiteral(u"Caf\u00E9 \u20AC Stra\u00DFe \u201Cq\u201D"));

    // A file saved by an editor that adds a UTF-8 byte-order mark keeps its first section.
    const QString bom = m_dir.filePath(QStringLiteral("bom.ini"));
    QVERIFY(writeFile(bom, "\xEF\xBB\xBF[General]\r\nOnlyKlaro7=True\r\nManufacturer=Caf\xC3\xA9\r\n"));
    QCOMPARE(
        m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("OnlyKlaro7"), QString(), bom, 256),
        QStringLiteral("True"));
    QCOMPARE(
        m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Manufacturer"), QString(), bom, 256),
        QStringLiteral(u"Caf\u00E9"));
}

void TestSettings::crLfAndLfFilesReadAlike()
{
    const QString crlf = m_dir.filePath(QStringLiteral("crlf.ini"));
    QVERIFY(writeFile(crlf,
                      "[General]\r\nOnlyKlaro7=True\r\nManufacturer=3\r\n\r\n[About]\r\nAppName=Clarix\r\n"));
    QCOMPARE(
        m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("OnlyKlaro7"), QString(), crlf, 256),
        QStringLiteral("True"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("General"), QStringLiteral("Manufacturer"), QString(), crlf,
                                   256),
             QStringLiteral("3"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("AppName"), QString(), crlf, 256),
             QStringLiteral("Clarix"));
    // The last line needs no line end.
    const QString noEnd = m_dir.filePath(QStringLiteral("noend.ini"));
    QVERIFY(writeFile(noEnd, "[About]\r\nAppName=Tail"));
    QCOMPARE(m_reader.GetIniString(QStringLiteral("About"), QStringLiteral("AppName"), QString(), noEnd, 256),
             QStringLiteral("Tail"));
}

void TestSettings::programFolderFollowsEnvironment()
{
    EnvGuard guard("MERAVO_PROGRAM_DIR");
    qputenv("MERAVO_PROGRAM_DIR", QFile::encodeName(m_dir.path() + QStringLiteral("//")));
    QCOMPARE(ProgramFolder::path(), QDir::cleanPath(m_dir.path()));
    QCOMPARE(ProgramFolder::settingsFile(), m_ini);
    QCOMPARE(ProgramFolder::file(QStringLiteral("Grafics/Main.ico")),
             m_dir.filePath(QStringLiteral("Grafics/Main.ico")));
    QCOMPARE(ProgramFolder::setting(m_reader, QStringLiteral("about"), QStringLiteral("appname"),
                                    QStringLiteral("x")),
             QStringLiteral("Meravo"));

    qunsetenv("MERAVO_PROGRAM_DIR");
    QCOMPARE(ProgramFolder::path(), QCoreApplication::applicationDirPath());
    qputenv("MERAVO_PROGRAM_DIR", QByteArray());
    QCOMPARE(ProgramFolder::path(), QCoreApplication::applicationDirPath());
}

void TestSettings::editionSwitchIsOnlyExactTrue_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("only");
    QTest::newRow("True") << QByteArray("[General]\r\nOnlyKlaro7=True\r\n") << true;
    QTest::newRow("blanks around") << QByteArray("[general]\r\n  onlyklaro7 =  True  \r\n") << true;
    QTest::newRow("quoted") << QByteArray("[General]\r\nOnlyKlaro7=\"True\"\r\n") << true;
    QTest::newRow("lower case") << QByteArray("[General]\r\nOnlyKlaro7=true\r\n") << false;
    QTest::newRow("upper case") << QByteArray("[General]\r\nOnlyKlaro7=TRUE\r\n") << false;
    QTest::newRow("minus one") << QByteArray("[General]\r\nOnlyKlaro7=-1\r\n") << false;
    QTest::newRow("False") << QByteArray("[General]\r\nOnlyKlaro7=False\r\n") << false;
    QTest::newRow("empty") << QByteArray("[General]\r\nOnlyKlaro7=\r\n") << false;
    QTest::newRow("other section") << QByteArray("[About]\r\nOnlyKlaro7=True\r\n") << false;
    QTest::newRow("no file") << QByteArray() << false;
}

void TestSettings::editionSwitchIsOnlyExactTrue()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, only);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (!content.isNull())
        QVERIFY(writeFile(folder.filePath(QStringLiteral("Settings.ini")), content));
    EnvGuard guard("MERAVO_PROGRAM_DIR");
    qputenv("MERAVO_PROGRAM_DIR", QFile::encodeName(folder.path()));
    QCOMPARE(ProgramFolder::onlyKlaro7(m_reader), only);
}

void TestSettings::shippedSettingsAreRead()
{
    // The build puts Settings.ini next to the executables, which is the program folder without override.
    EnvGuard guard("MERAVO_PROGRAM_DIR");
    qunsetenv("MERAVO_PROGRAM_DIR");
    const QString shipped = ProgramFolder::settingsFile();
    QVERIFY2(QFile::exists(shipped), qPrintable(shipped));
    QCOMPARE(ProgramFolder::setting(m_reader, QStringLiteral("About"), QStringLiteral("AppName"),
                                    QStringLiteral("x")),
             QStringLiteral("Meravo"));
    QCOMPARE(ProgramFolder::setting(m_reader, QStringLiteral("General"), QStringLiteral("OnlyKlaro7"),
                                    QStringLiteral("x")),
             QStringLiteral("False"));
    QCOMPARE(ProgramFolder::setting(m_reader, QStringLiteral("General"), QStringLiteral("Manufacturer"),
                                    QStringLiteral("x")),
             QStringLiteral("0"));
    QVERIFY(!ProgramFolder::onlyKlaro7(m_reader));
}

// The package's layout: the program folder links Settings.ini to /etc/meravo (here: another folder),
// where Settings.d/*.ini in name order and then Settings.local.ini override it, key by key.
void TestSettings::localSettingsOverrideTheShippedFile()
{
    QTemporaryDir root;
    const QString etc = root.filePath(QStringLiteral("etc"));
    const QString program = root.filePath(QStringLiteral("lib"));
    QVERIFY(QDir().mkpath(etc + QStringLiteral("/Settings.d")) && QDir().mkpath(program));
    QVERIFY(writeFile(etc + QStringLiteral("/Settings.ini"),
                      "[General]\nOnlyKlaro7=False\nLanguage=\n[About]\nAppName=Meravo\n"));
    QVERIFY(QFile::link(etc + QStringLiteral("/Settings.ini"), program + QStringLiteral("/Settings.ini")));
    EnvGuard guard("MERAVO_PROGRAM_DIR");
    qputenv("MERAVO_PROGRAM_DIR", QFile::encodeName(program));
    const auto value = [this](const char *section, const char *key) {
        return ProgramFolder::setting(m_reader, QString::fromLatin1(section), QString::fromLatin1(key),
                                      QStringLiteral("default"));
    };
    QVERIFY(!ProgramFolder::onlyKlaro7(m_reader));
    QVERIFY(writeFile(etc + QStringLiteral("/Settings.d/20-edition.ini"), "[General]\nOnlyKlaro7=True\n"));
    QVERIFY(writeFile(etc + QStringLiteral("/Settings.d/10-language.ini"), "[general]\nlanguage=de\n"));
    QVERIFY(writeFile(etc + QStringLiteral("/Settings.d/notes.txt"), "[General]\nOnlyKlaro7=False\n"));
    QVERIFY(ProgramFolder::onlyKlaro7(m_reader));
    QCOMPARE(value("General", "Language"), QStringLiteral("de"));
    QCOMPARE(value("About", "AppName"), QStringLiteral("Meravo")); // not overridden
    QCOMPARE(value("About", "Mail"), QStringLiteral("default"));
    QVERIFY(writeFile(etc + QStringLiteral("/Settings.local.ini"), "[General]\nLanguage=fr\n"));
    QCOMPARE(value("General", "Language"), QStringLiteral("fr"));
    QCOMPARE(ProgramFolder::localSettingsFiles(),
             QStringList({etc + QStringLiteral("/Settings.d/10-language.ini"),
                          etc + QStringLiteral("/Settings.d/20-edition.ini"),
                          etc + QStringLiteral("/Settings.local.ini")}));
}

void TestSettings::systemSettingsHoldWhateverTheProgramFolder_data()
{
    QTest::addColumn<QString>("systemFile");
    QTest::newRow("a drop-in") << "Settings.d/50-lock.ini";
    QTest::newRow("the local file") << "Settings.local.ini";
}

// The administrator's lock in the system's folder holds when a user points the program folder at a
// Settings.ini of their own; their own folder's local files come before it and cannot lift it.
void TestSettings::systemSettingsHoldWhateverTheProgramFolder()
{
    QFETCH(QString, systemFile);
    QTemporaryDir root;
    const QString system = root.filePath(QStringLiteral("etc"));
    const QString own = root.filePath(QStringLiteral("own"));
    QVERIFY(QDir().mkpath(system + QStringLiteral("/Settings.d")) &&
            QDir().mkpath(own + QStringLiteral("/Settings.d")));
    QVERIFY(writeFile(system + QLatin1Char('/') + systemFile, "[Trail]\nRequireAccountLogin=1\n"));
    QVERIFY(writeFile(own + QStringLiteral("/Settings.ini"), "[Trail]\nRequireAccountLogin=0\n"));
    QVERIFY(writeFile(own + QStringLiteral("/Settings.local.ini"), "[Trail]\nRequireAccountLogin=0\n"));
    const QString previous = ProgramFolder::systemSettingsFolder();
    ProgramFolder::setSystemSettingsFolder(system);
    const auto restore = qScopeGuard([previous] { ProgramFolder::setSystemSettingsFolder(previous); });
    EnvGuard guard("MERAVO_PROGRAM_DIR");
    qputenv("MERAVO_PROGRAM_DIR", QFile::encodeName(own));
    QCOMPARE(ProgramFolder::setting(m_reader, QStringLiteral("Trail"), QStringLiteral("RequireAccountLogin"),
                                    QStringLiteral("0")),
             QStringLiteral("1"));
    QCOMPARE(ProgramFolder::localSettingsFiles().last(), system + QLatin1Char('/') + systemFile);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
