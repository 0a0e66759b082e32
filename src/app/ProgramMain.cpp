// meravo: the desktop program.
#include "basMain.h"
#include "CIni.h"
#include "DemoMeter.h"
#include "ErrorFrame.h"
#include "FileWrites.h"
#include "frmMain.h"
#include "ProgramFolder.h"
#include "ProgramVersion.h"
#include "TextTable.h"
#include "UnattendedRun.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>

namespace {

constexpr int kUsageError = 64;

const char *const kUsage =
    "Usage: meravo [--demo] [--screenshot FILE]\n"
    "\n"
    "Desktop companion for portable laboratory meters on RS-232: reads measured values, manages the "
    "meter's\nuser-defined programs and its calibration records.\n"
    "\n"
    "Options:\n"
    "  --demo             start with a simulated meter (datasets, user-defined programs, calibration\n"
    "                     records) instead of searching the serial ports; the simulator ends with the\n"
    "                     program\n"
    "  --screenshot FILE  run without a person: log in with the account's name, search the meter, import\n"
    "                     its datasets into the first document, save the main window as a PNG picture\n"
    "                     in FILE and end (exit status 0; 1 when nothing was imported or the picture was\n"
    "                     not written); messages go to stderr\n"
    "  -h, --help         print this help and end\n"
    "  --version          print the version and end\n"
    "\n"
    "Environment:\n"
    "  MERAVO_PORTS        ':'-separated serial devices: port n is the n-th entry\n"
    "  MERAVO_PROGRAM_DIR  the program folder (Settings.ini, Grafics, Help) instead of the executable's\n";

} // namespace

int main(int argc, char *argv[])
{
    FileWrites::ignoreFileSizeSignal();
    // Help and version work in a terminal without a display: answered before the window system starts.
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("%s\n", qPrintable(ProgramVersion::line(QStringLiteral("meravo"))));
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Meravo"));
    QApplication::setOrganizationName(QStringLiteral("Meravo"));
    // Desktops match the windows to the menu entry (and its icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("meravo"));

    // Parsed after QApplication took its own options (-platform, -style ...) out of the arguments.
    QCommandLineParser parser;
    const QCommandLineOption demo(QStringLiteral("demo"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("FILE"));
    parser.addOptions({demo, screenshot});
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString problem =
            parser.positionalArguments().isEmpty()
                ? parser.errorText()
                : QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst());
        std::fprintf(stderr, "meravo: %s\n%s", qPrintable(problem), kUsage);
        return kUsageError;
    }

    const bool unattended = parser.isSet(screenshot);
    std::unique_ptr<UserDialogs> dialogs;
    if (unattended)
        dialogs = std::make_unique<UnattendedDialogs>();
    else
        dialogs = std::make_unique<QtUserDialogs>();
    // Unexpected errors of the core reach the user as the program's error box.
    ErrorFrame::ScopedHandler errors([&dialogs](const QString &description) {
        dialogs->error(QApplication::activeWindow(), description);
    });

    // The demo's messages come before the main window loads (which chooses the language again, the same way).
    TextTable::setLanguage(ProgramFolder::language(CIni()));
    // Before the first meter search, which reads MERAVO_PORTS.
    DemoMeter meter;
    if (parser.isSet(demo)) {
        QString problem;
        if (!meter.start(&problem)) {
            dialogs->error(nullptr, problem);
            return 1;
        }
    }

    frmMain main(*dialogs);
    if (unattended)
        UnattendedRun::answerLogin();
    if (!basMain::Main(main))
        return unattended ? 1 : 0;
    if (unattended)
        return UnattendedRun::captureImport(main, parser.value(screenshot)) ? 0 : 1;
    return app.exec();
}
