#pragma once
// Every message box, question, file dialog and input box of the program goes through this interface:
// the program shows Qt dialogs, GUI tests answer from a script and record what was asked.
#include <QString>

class QWidget;

class UserDialogs {
public:
    enum class Icon { NoIcon, Information, Warning, Critical, Question };
    enum Button { Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8 };

    virtual ~UserDialogs() = default;

    // Returns the button pressed; closing the box counts as Cancel (or No when there is no Cancel).
    // defaultButton (one of buttons) is the one Enter presses; 0 leaves the first offered.
    virtual int message(QWidget *parent, const QString &title, const QString &text, Icon icon, int buttons,
                        int defaultButton = 0) = 0;
    // filter: "Description (*.ext)"; an empty result means the user cancelled.
    virtual QString openFileName(QWidget *parent, const QString &title, const QString &directory,
                                 const QString &filter) = 0;
    // Asks before overwriting an existing file; an empty result means the user cancelled.
    virtual QString saveFileName(QWidget *parent, const QString &title, const QString &proposedPath,
                                 const QString &filter) = 0;
    // False when the user cancelled.
    virtual bool inputText(QWidget *parent, const QString &title, const QString &prompt, const QString &defaultText,
                           QString *answer) = 0;

    // The program's message conventions: title and icon by kind.
    void error(QWidget *parent, const QString &text);
    void information(QWidget *parent, const QString &text);
    void warning(QWidget *parent, const QString &text);
    int question(QWidget *parent, const QString &text, int buttons, int defaultButton = 0);

    // "Description (*.ext)" from a description and a pattern.
    static QString filter(const QString &description, const QString &pattern);
};

// The dialogs a person sees.
class QtUserDialogs : public UserDialogs {
public:
    int message(QWidget *parent, const QString &title, const QString &text, Icon icon, int buttons,
                int defaultButton = 0) override;
    QString openFileName(QWidget *parent, const QString &title, const QString &directory,
                         const QString &filter) override;
    QString saveFileName(QWidget *parent, const QString &title, const QString &proposedPath,
                         const QString &filter) override;
    bool inputText(QWidget *parent, const QString &title, const QString &prompt, const QString &defaultText,
                   QString *answer) override;
};
