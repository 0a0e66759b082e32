#pragma once
// A run of the program without a person in front of it, for checks of an installation and for pictures
// of the program: start-up, login and meter search as usual, then an import and a picture of the
// main window.
#include "UserDialogs.h"

class frmMain;

// Messages go to stderr and are answered with their default button; file and input dialogs count as
// cancelled.
class UnattendedDialogs : public UserDialogs {
public:
    int message(QWidget *parent, const QString &title, const QString &text, Icon icon, int buttons,
                int defaultButton = 0) override;
    bool inputText(QWidget *parent, const QString &title, const QString &prompt, const QString &defaultText,
                   QString *answer, int maxLength) override;

protected:
    QString chooseOpenFile(QWidget *parent, const FileRequest &request) override;
    QStringList chooseOpenFiles(QWidget *parent, const FileRequest &request) override;
    QString chooseSaveFile(QWidget *parent, const FileRequest &request) override;
};

namespace UnattendedRun {

// Answers the login that start-up shows: the account's name, searching the meter.
void answerLogin();

// Imports the meter's datasets into the first document and saves the main window as a PNG picture.
// False, with the reason on stderr, when nothing was imported or the picture was not written.
bool captureImport(frmMain &main, const QString &pngPath);

} // namespace UnattendedRun
