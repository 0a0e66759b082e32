// meravo: the desktop program.
#include "basMain.h"
#include "ErrorFrame.h"
#include "FileWrites.h"
#include "frmMain.h"
#include "UserDialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    FileWrites::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Meravo"));
    QApplication::setOrganizationName(QStringLiteral("Meravo"));
    QtUserDialogs dialogs;
    // Unexpected errors of the core reach the user as the program's error box.
    ErrorFrame::ScopedHandler errors(
        [&dialogs](const QString &description) { dialogs.error(QApplication::activeWindow(), description); });
    frmMain main(dialogs);
    if (!basMain::Main(main))
        return 0;
    return app.exec();
}
