#include "UnattendedRun.h"

#include "FileWrites.h"
#include "frmDocument.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "MValTableModel.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>

namespace {

void tell(const QString &text)
{
    std::fprintf(stderr, "meravo: %s\n", qPrintable(text));
}

// Lets pending paints and layouts happen before the picture is taken.
void settle()
{
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int UnattendedDialogs::message(QWidget *, const QString &title, const QString &text, Icon, int buttons,
                               int defaultButton)
{
    tell(title + QStringLiteral(": ") + QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")));
    if (defaultButton != 0)
        return defaultButton;
    for (const int button : {Ok, Yes, No, Cancel})
        if (buttons & button)
            return button;
    return Cancel;
}

bool UnattendedDialogs::inputText(QWidget *, const QString &title, const QString &, const QString &,
                                  QString *, int)
{
    tell(title + QStringLiteral(": cancelled"));
    return false;
}

QString UnattendedDialogs::chooseOpenFile(QWidget *, const FileRequest &request)
{
    tell(request.title + QStringLiteral(": cancelled"));
    return {};
}

QStringList UnattendedDialogs::chooseOpenFiles(QWidget *, const FileRequest &request)
{
    tell(request.title + QStringLiteral(": cancelled"));
    return {};
}

QString UnattendedDialogs::chooseSaveFile(QWidget *, const FileRequest &request)
{
    tell(request.title + QStringLiteral(": cancelled"));
    return {};
}

namespace UnattendedRun {

void answerLogin()
{
    // The window may still be loading when the event loop first runs: look until the login shows.
    auto *poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [poll] {
        auto *login = qobject_cast<frmLogin *>(QApplication::activeModalWidget());
        if (!login || !login->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        login->userName()->setText(qEnvironmentVariable("USER"));
        login->searchOption()->setChecked(true);
        login->okButton()->click();
    });
    poll->start();
}

bool captureImport(frmMain &main, const QString &pngPath)
{
    const QList<frmDocument *> documents = main.documents();
    if (documents.isEmpty()) {
        tell(QStringLiteral("no document window to import into"));
        return false;
    }
    main.resize(1100, 640);
    frmDocument &document = *documents.first();
    document.MenuImport();
    settle();
    // The grid's empty rows are no datasets.
    const int datasets = document.model()->recordCount();
    if (datasets == 0) {
        tell(QStringLiteral("the import brought no datasets"));
        return false;
    }
    // The picture goes through the writers' rules: a pipe, a read-only file or a full disk leave the
    // old picture as it was, and the reason is told.
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    main.grab().save(&png, "PNG");
    if (const QString failure = FileWrites::writeWhole(pngPath, png.data()); !failure.isEmpty()) {
        tell(QStringLiteral("the picture %1 could not be written: %2")
                 .arg(QDir::toNativeSeparators(pngPath), failure));
        return false;
    }
    tell(QStringLiteral("%1 datasets imported, main window saved as %2")
             .arg(datasets)
             .arg(QDir::toNativeSeparators(pngPath)));
    return true;
}

} // namespace UnattendedRun
