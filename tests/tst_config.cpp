// The working-directory file and the login state, with the user's folders in a private home.
#include "CConfig.h"
#include "CLogin.h"
#include "CommLog.h"
#include "CUsrDefProg.h"
#include "SharedObjects.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

class TestConfig : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void defaultIsDocumentsFolderAndFileIsCreated();
    void writeReplacesWholeFile();
    void prefixIsCutByLengthOnly();
    void deletedFileIsRecreated();
    void anyPathReadsBack_data();
    void anyPathReadsBack();
    void missingDocumentsFolderIsCreatedOnce();
    void earlierFileMovesBesideTheLog();
    void unwritableFolderGivesEmptyPath();
    void loginState();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestConfig::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("HOME", m_home->path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (m_home->path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home->path() + QStringLiteral("/config")).toLocal8Bit());
    QVERIFY(CConfig::configFilePath().startsWith(m_home->path()));
}

void TestConfig::cleanup()
{
    m_home.reset();
}

void TestConfig::defaultIsDocumentsFolderAndFileIsCreated()
{
    SharedObjects shared;
    // Creating the shared objects touches no file.
    QVERIFY(!QFile::exists(CConfig::configFilePath()));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QVERIFY(documents.startsWith(m_home->path()));
    QCOMPARE(shared.config->WorkDir(), documents);
    QCOMPARE(readBytes(CConfig::configFilePath()), QByteArray("Dir = ") + documents.toLocal8Bit());
}

void TestConfig::writeReplacesWholeFile()
{
    SharedObjects shared;
    const QString path = m_home->path() + QStringLiteral("/M\u00e4rz");
    shared.config->setWorkDir(path);
    // Single-byte text, no line end.
    QCOMPARE(readBytes(CConfig::configFilePath()),
             QByteArray("Dir = ") + m_home->path().toLocal8Bit() + "/M\xe4rz");
    QCOMPARE(shared.config->WorkDir(), path);
    // A read-only file is replaced as well.
    QFile::setPermissions(CConfig::configFilePath(), QFileDevice::ReadOwner);
    shared.config->setWorkDir(QStringLiteral("/elsewhere"));
    QCOMPARE(shared.config->WorkDir(), QStringLiteral("/elsewhere"));
}

void TestConfig::prefixIsCutByLengthOnly()
{
    SharedObjects shared;
    QVERIFY(QDir().mkpath(QFileInfo(CConfig::configFilePath()).absolutePath()));
    writeBytes(CConfig::configFilePath(), "Dir = ");
    QCOMPARE(shared.config->WorkDir(), QString());
    writeBytes(CConfig::configFilePath(), "Dir");
    QCOMPARE(shared.config->WorkDir(), QString());
    writeBytes(CConfig::configFilePath(), "Path: /data/progs");
    QCOMPARE(shared.config->WorkDir(), QStringLiteral("/data/progs"));
    // An empty file cannot be read: reported, and no path.
    ErrorRecorder errors;
    writeBytes(CConfig::configFilePath(), "");
    QCOMPARE(shared.config->WorkDir(), QString());
}

void TestConfig::deletedFileIsRecreated()
{
    SharedObjects shared;
    shared.config->setWorkDir(QStringLiteral("/x"));
    QVERIFY(QFile::remove(CConfig::configFilePath()));
    QCOMPARE(shared.config->WorkDir(), CConfig::defaultWorkDir());
    QVERIFY(QFile::exists(CConfig::configFilePath()));
}

void TestConfig::anyPathReadsBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("Czech") << QStringLiteral("ji\u0159\u00ed");
    QTest::newRow("Cyrillic") << QStringLiteral("\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b");
    // Single-byte text that would pass for UTF-8.
    QTest::newRow("code page, UTF-8 look-alike") << QStringLiteral("\u00c3\u00a4");
}

void TestConfig::anyPathReadsBack()
{
    QFETCH(QString, name);
    const QString path = m_home->path() + u'/' + name;
    SharedObjects().config->setWorkDir(path);
    QCOMPARE(SharedObjects().config->WorkDir(), path);
}

void TestConfig::missingDocumentsFolderIsCreatedOnce()
{
    const QString documents = CConfig::defaultWorkDir();
    QVERIFY(!QFileInfo::exists(documents));
    SharedObjects shared;
    QCOMPARE(shared.usrDefProg->WorkDir(), documents);
    QVERIFY(QFileInfo(documents).isDir());
    QCOMPARE(shared.usrDefProg->takeCreatedWorkDir(), documents);
    QCOMPARE(shared.config->WorkDir(), documents);
    QCOMPARE(shared.usrDefProg->takeCreatedWorkDir(), QString());
}

void TestConfig::earlierFileMovesBesideTheLog()
{
    const QString earlier = CConfig::earlierConfigFilePath();
    QVERIFY(QDir().mkpath(QFileInfo(earlier).absolutePath()));
    writeBytes(earlier, "Dir = /lab/programs");
    QCOMPARE(SharedObjects().config->WorkDir(), QStringLiteral("/lab/programs"));
    QVERIFY(!QFile::exists(earlier));
    QCOMPARE(QFileInfo(CConfig::configFilePath()).absolutePath(),
             QFileInfo(CommLog::defaultFolder()).absolutePath());
    QCOMPARE(SharedObjects().config->WorkDir(), QStringLiteral("/lab/programs"));
}

void TestConfig::unwritableFolderGivesEmptyPath()
{
    // The application-data folder cannot be made: a file stands where its parent should be.
    writeBytes(m_home->path() + QStringLiteral("/data"), "not a folder");
    ErrorRecorder errors;
    SharedObjects shared;
    QCOMPARE(shared.config->WorkDir(), QString());
    QCOMPARE(shared.usrDefProg->WorkDir(), QString());
}

void TestConfig::loginState()
{
    SharedObjects shared;
    CLogin &login = *shared.login;
    QVERIFY(!login.Successful());
    QVERIFY(login.SearchDevice());
    QCOMPARE(login.UserName(), QString());
    QCOMPARE(login.UserNameMaxLen(), qint16(15));
    login.setUserName(QString());
    QCOMPARE(login.UserName(), QStringLiteral("---"));
    login.setUserName(QStringLiteral("abcdefghijklmnopqrst"));
    QCOMPARE(login.UserName(), QStringLiteral("abcdefghijklmno"));
    login.setSuccessful(true);
    login.setSearchDevice(false);
    QVERIFY(login.Successful());
    QVERIFY(!login.SearchDevice());
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
