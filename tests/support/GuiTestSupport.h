#pragma once
// What GUI tests share: a private home and program folder, the login answered, the main window loaded.
#include "ScriptedDialogs.h"
#include "TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

class CUsrDefProg;
class frmMain;
class QWidget;

// A private HOME and XDG folders (settings, documents, application data), and a program folder copied
// from the build's so a test can change its Settings.ini.
class GuiSandbox {
public:
    GuiSandbox();
    ~GuiSandbox();
    QString home() const { return m_home.path(); }
    QString programDir() const { return m_program.path(); }
    // Replaces a key of the program folder's Settings.ini.
    void setSetting(const QString &section, const QString &key, const QString &value);
    // The language every sandbox made from now on sets in its Settings.ini: "en" unless changed, so
    // the texts a test expects do not follow the machine's locale.
    static void setLanguage(const QString &code);

private:
    static QString s_language;
    QTemporaryDir m_home;
    QTemporaryDir m_program;
    QByteArray m_saved[6];
};

// Schedules the login: the name, and offline or search, then OK (or Cancel).
void answerLogin(const QString &name, bool searchMeter, bool ok = true);

// Answers the modal Dialog a command opens, once it is the modal window. A dialog may let events through
// before it gets there (a preview draws its pages while it is shown), so it is looked for until it
// comes, not only at the first event; a dialog that never comes fails the run instead of hanging it.
template <typename Dialog> class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(Dialog &)> answer) : m_answer(std::move(answer))
    {
        m_since.start();
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
                m_poll.stop();
                m_answered = true;
                m_answer(*dialog);
            } else if (m_since.elapsed() > 60000) {
                qFatal("no %s was shown", Dialog::staticMetaObject.className());
            }
        });
        m_poll.start(5);
    }
    bool answered() const { return m_answered; }

private:
    std::function<void(Dialog &)> m_answer;
    QTimer m_poll;
    QElapsedTimer m_since;
    bool m_answered = false;
};

// The program as a user starts it, in a sandbox, with a simulated meter on port 1 (put there by the
// constructor; a test adds its own answers before starting) and a private folder for files.
struct GuiSession {
    // Without a meter: the bench's one port has no device.
    GuiSession();
    explicit GuiSession(const MeterIdentity &meter);
    ~GuiSession();

    // Logs in as Ann, searching the meter or offline; the meter must be found exactly when searched.
    // The start-up's dialogs and commands are forgotten.
    void logIn(bool search = true);
    // Loads the main window without a login.
    void load();
    // Makes the private folder the programs' work folder.
    void useWorkDir();
    // The link's time-outs from now on follow the session's clock, which skips idle waits.
    void skipIdleWaits(int ms);
    QString path(const char *name) const { return work.filePath(QString::fromLatin1(name)); }
    CUsrDefProg &prog();

    GuiSandbox sandbox;
    SimBench bench{1};
    MeterSim *sim = nullptr;
    ScriptedDialogs dialogs;
    FakeLinkClock clock;
    std::unique_ptr<frmMain> main;
    QTemporaryDir work;
};
