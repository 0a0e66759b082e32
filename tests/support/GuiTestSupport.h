#pragma once
// What GUI tests share: a private home and program folder, the login answered, the main window loaded.
#include "ScriptedDialogs.h"

#include <QTemporaryDir>

#include <functional>

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

private:
    QTemporaryDir m_home;
    QTemporaryDir m_program;
    QByteArray m_saved[6];
};

// Schedules the login: the name, and offline or search, then OK (or Cancel).
void answerLogin(const QString &name, bool searchMeter, bool ok = true);
