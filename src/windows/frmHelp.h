#pragma once
// The help window: the program's HTML help, opened at the topic of a window's help context number.
#include <QDialog>

class QTextBrowser;

class frmHelp : public QDialog {
    Q_OBJECT
public:
    explicit frmHelp(QWidget *owner);

    // Loads the help file (Help folder, the file named by the edition) and shows the topic.
    bool showTopic(const QString &helpFile, int contextNumber);
    QTextBrowser *browser() const { return m_browser; }

    // "MeravoHlp_e.chm" is shipped as "MeravoHlp_e.html", its German page as "MeravoHlp_de.html".
    static QString htmlFileFor(const QString &helpFileName, const QString &language = QStringLiteral("en"));

private:
    QTextBrowser *m_browser;
};
