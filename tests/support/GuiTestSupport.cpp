#include "GuiTestSupport.h"

#include "basMain.h"
#include "CDevice.h"
#include "CUsrDefProg.h"
#include "frmLogin.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace {

const char *const kVariables[] = {
    "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DOCUMENTS_DIR", "MERAVO_PROGRAM_DIR", "XDG_CACHE_HOME"};

void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else if (it.fileInfo().suffix() != QLatin1String("so"))
            QFile::copy(path, target);
    }
}

// QSettings finds the user's folder once per process: every sandbox points it at its own anew.
void pointSettingsAtConfigHome()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, folder);
}

} // namespace

QString GuiSandbox::s_language = QStringLiteral("en");

void GuiSandbox::setLanguage(const QString &code)
{
    s_language = code;
}

GuiSandbox::GuiSandbox()
{
    for (int i = 0; i < 6; ++i)
        m_saved[i] = qgetenv(kVariables[i]);
    const QString built = qEnvironmentVariable("MERAVO_PROGRAM_DIR");
    for (const char *folder : {"Grafics", "Help"})
        copyTree(built + QLatin1Char('/') + QLatin1String(folder), m_program.filePath(QLatin1String(folder)));
    QFile::copy(built + QStringLiteral("/Settings.ini"), m_program.filePath(QStringLiteral("Settings.ini")));
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral(".config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral(".local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral(".cache")).toLocal8Bit());
    qputenv("MERAVO_PROGRAM_DIR", m_program.path().toLocal8Bit());
    QDir(m_home.path()).mkpath(QStringLiteral("Documents"));
    pointSettingsAtConfigHome();
    setSetting(QStringLiteral("General"), QStringLiteral("Language"), s_language);
}

GuiSandbox::~GuiSandbox()
{
    for (int i = 0; i < 6; ++i) {
        if (m_saved[i].isNull())
            qunsetenv(kVariables[i]);
        else
            qputenv(kVariables[i], m_saved[i]);
    }
    pointSettingsAtConfigHome();
}

void GuiSandbox::setSetting(const QString &section, const QString &key, const QString &value)
{
    const QString path = m_program.filePath(QStringLiteral("Settings.ini"));
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    file.close();
    QString current;
    bool done = false;
    for (int i = 0; i < lines.size() && !done; ++i) {
        const QString line = lines[i].trimmed();
        if (line.startsWith(u'['))
            current = line.mid(1, line.indexOf(u']') - 1);
        else if (current.compare(section, Qt::CaseInsensitive) == 0 &&
                 line.section(u'=', 0, 0).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            lines[i] = key + QLatin1Char('=') + value;
            done = true;
        }
    }
    if (!done)
        lines << QStringLiteral("[%1]").arg(section) << key + QLatin1Char('=') + value;
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(lines.join(QLatin1Char('\n')).toLatin1());
}

void answerLogin(const QString &name, bool searchMeter, bool ok)
{
    QTimer::singleShot(0, [=] {
        auto *login = qobject_cast<frmLogin *>(QApplication::activeModalWidget());
        if (!login)
            qFatal("the login dialog is not shown");
        login->userName()->setText(name);
        (searchMeter ? login->searchOption() : login->offlineOption())->setChecked(true);
        (ok ? login->okButton() : login->cancelButton())->click();
    });
}

GuiSession::GuiSession() = default;

GuiSession::GuiSession(const MeterIdentity &meter) : sim(&bench.addMeter(1, meter)) {}

GuiSession::~GuiSession() = default;

void GuiSession::logIn(bool search)
{
    main = std::make_unique<frmMain>(dialogs);
    dialogs.buttonAnswers.enqueue(UserDialogs::Ok);
    answerLogin(QStringLiteral("Ann"), search);
    if (!basMain::Main(*main))
        qFatal("start-up failed");
    if (main->shared().device->Online() != search)
        qFatal("the meter state is not as asked");
    dialogs.clear();
    dialogs.buttonAnswers.clear();
    if (sim)
        sim->clearLog();
}

void GuiSession::load()
{
    main = std::make_unique<frmMain>(dialogs);
    if (!main->Load())
        qFatal("the main window did not load");
    dialogs.clear();
}

void GuiSession::useWorkDir()
{
    prog().setWorkDir(work.path());
}

void GuiSession::skipIdleWaits(int ms)
{
    clock.skipIdleAfter(ms);
    main->link().setClock(&clock);
}

CUsrDefProg &GuiSession::prog()
{
    return *main->shared().usrDefProg;
}
