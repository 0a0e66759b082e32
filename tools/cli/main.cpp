// meravo-cli: the command-line companion of the desktop program, on the same core.
#include "CliCommands.h"
#include "CommLog.h"
#include "FileWrites.h"
#include "ProgramVersion.h"

#include <QCoreApplication>
#ifdef MERAVO_CLI_PRINT
#include <QGuiApplication>
#endif

#include <cstring>
#include <memory>

namespace {

void usage()
{
    QString text = QStringLiteral("Usage: meravo-cli <command> [options]\n\nCommands:\n");
    for (const Cli::Command &command : Cli::commands())
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(command.name), -10)
                    .arg(QString::fromLatin1(command.summary));
    text += QStringLiteral("\nGlobal options:\n  --trace     print the communication log's lines on stderr\n"
                           "  --version   print the version and end\n"
                           "\nEvery exchange with the meter is logged in %1 (the last five runs).\n"
                           "'meravo-cli <command> --help' tells more about a command.")
                .arg(CommLog::defaultFolder());
    Cli::printLine(text);
}

} // namespace

int main(int argc, char *argv[])
{
    FileWrites::ignoreFileSizeSignal();
    std::unique_ptr<QCoreApplication> application;
#ifdef MERAVO_CLI_PRINT
    // The first argument that is no global option names the command.
    int first = 1;
    while (first < argc && std::strcmp(argv[first], "--trace") == 0)
        ++first;
    QStringList rest;
    for (int i = first + 1; i < argc; ++i)
        rest.append(QString::fromLocal8Bit(argv[i]));
    if (first < argc && Cli::needsGui(QString::fromLocal8Bit(argv[first]), rest)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
#endif
    if (!application)
        application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("meravo-cli"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // A global option: accepted before or after the subcommand.
    Cli::setTrace(arguments.removeAll(QStringLiteral("--trace")) > 0);
    if (arguments.isEmpty()) {
        usage();
        return Cli::kUsageError;
    }
    const QString name = arguments.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        usage();
        return 0;
    }
    if (name == QLatin1String("--version")) {
        Cli::printLine(ProgramVersion::line(QStringLiteral("meravo-cli")));
        return 0;
    }
    for (const Cli::Command &command : Cli::commands()) {
        if (name == QLatin1String(command.name))
            return command.run(arguments);
    }
    Cli::printError(QStringLiteral("meravo-cli: unknown command '%1'").arg(name));
    usage();
    return Cli::kUsageError;
}
