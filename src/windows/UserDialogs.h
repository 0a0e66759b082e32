#pragma once
// Every message box, question, file dialog and input box of the program goes through this interface:
// the program shows Qt dialogs, GUI tests answer from a script and record what was asked.
#include <QString>
#include <QStringList>

class QWidget;

class UserDialogs {
public:
    enum class Icon { NoIcon, Information, Warning, Critical, Question };
    enum Button { Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8 };

    virtual ~UserDialogs() = default;

    // Returns the button pressed; closing the box (Escape, its close button) counts as Cancel, also when
    // only Yes and No are offered: a dismissal is never an answer.
    // defaultButton (one of buttons) is the one Enter presses; 0 leaves the first offered.
    virtual int message(QWidget *parent, const QString &title, const QString &text, Icon icon, int buttons,
                        int defaultButton = 0) = 0;
    // filter: "Description (*.ext)"; an empty result means the user cancelled. Without a directory the
    // dialog starts in the folder used last.
    QString openFileName(QWidget *parent, const QString &title, const QString &directory,
                         const QString &filter);
    // Several files at once; an empty list means the user cancelled.
    QStringList openFileNames(QWidget *parent, const QString &title, const QString &filter);
    // Asks before overwriting an existing file; an empty result means the user cancelled. A proposal
    // without a folder is offered in the folder used last; a name chosen without an extension gets the
    // filter's (the type picked when the filter offers several), so the file shows in the program's
    // own Open dialogs.
    QString saveFileName(QWidget *parent, const QString &title, const QString &proposedPath,
                         const QString &filter);
    // False when the user cancelled. maxLength (0: none) is the field's limit: typing stops there, so
    // the user sees what is kept.
    virtual bool inputText(QWidget *parent, const QString &title, const QString &prompt,
                           const QString &defaultText, QString *answer, int maxLength) = 0;

    // The program's message conventions: title and icon by kind.
    void error(QWidget *parent, const QString &text);
    void information(QWidget *parent, const QString &text);
    void warning(QWidget *parent, const QString &text);
    int question(QWidget *parent, const QString &text, int buttons, int defaultButton = 0);

    // "Description (*.ext)" from a description and a pattern.
    static QString filter(const QString &description, const QString &pattern);
    // The path with the filter's extension unless it ends in it or in one of the offered filters'.
    static QString withDefaultSuffix(const QString &path, const QString &filter, const QString &offered = {});
    // Where the next file dialog starts: the folder of the file chosen last (kept per user), else the
    // documents folder, else the home folder.
    static QString lastFolder();

protected:
    // A file dialog's question: the proposal as the window made it, and where the dialog starts.
    struct FileRequest {
        QString title;
        QString proposal;
        QString start;
        QString filter;
    };
    virtual QString chooseOpenFile(QWidget *parent, const FileRequest &request) = 0;
    virtual QStringList chooseOpenFiles(QWidget *parent, const FileRequest &request) = 0;
    virtual QString chooseSaveFile(QWidget *parent, const FileRequest &request) = 0;
    // Of a filter offering several types ("A (*.a);;B (*.b)"): the one the user picked in the save
    // dialog, whose extension a name without one gets; empty for the first.
    QString m_selectedFilter;

private:
    static void rememberFolder(const QString &chosenPath);
};

// The dialogs a person sees.
class QtUserDialogs : public UserDialogs {
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
