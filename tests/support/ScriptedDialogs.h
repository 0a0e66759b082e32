#pragma once
// Answers the program's dialogs from a script and records what was asked, so GUI tests check the exact
// titles, texts and icons.
#include "UserDialogs.h"

#include <QList>
#include <QQueue>
#include <QStringList>

class ScriptedDialogs : public UserDialogs {
public:
    struct Asked {
        QString kind; // "message", "open", "openfiles", "save", "input"
        QString title;
        QString text; // message text, input prompt, proposed path or filter
        Icon icon = Icon::NoIcon;
        int buttons = 0;
        QString filter;
        int defaultButton = 0;
        QString start; // open/save: where the dialog starts
    };

    QList<Asked> asked;
    QQueue<int> buttonAnswers;        // for message(); empty: the first offered of Ok/Yes
    QQueue<QString> fileAnswers;      // for open/save as typed; empty string = cancel; empty queue = cancel
    QQueue<QStringList> filesAnswers; // for several files at once; empty list or queue = cancel
    QQueue<QString> inputAnswers;     // for inputText; a null QString = cancel

    int message(QWidget *parent, const QString &title, const QString &text, Icon icon, int buttons,
                int defaultButton = 0) override;
    bool inputText(QWidget *parent, const QString &title, const QString &prompt, const QString &defaultText,
                   QString *answer, int maxLength) override;

    // The texts of every message asked so far.
    QStringList messageTexts() const;
    void clear() { asked.clear(); }

protected:
    QString chooseOpenFile(QWidget *parent, const FileRequest &request) override;
    QStringList chooseOpenFiles(QWidget *parent, const FileRequest &request) override;
    QString chooseSaveFile(QWidget *parent, const FileRequest &request) override;
};
