#pragma once
// The subcommands of meravo-cli. Each takes its own arguments (argument 0 is the subcommand) and
// returns the process exit code.
#include "CCSVFile.h"
#include "CSerialLink.h"
#include "SharedObjects.h"

#include <QRegularExpression>
#include <QStringList>

class QCommandLineParser;

#include <algorithm>
#include <functional>
#include <memory>

namespace Cli {

// Exit code of a command line that cannot be understood.
constexpr int kUsageError = 64;

struct Command {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

const QList<Command> &commands();

// What every meter command needs: the serial controls, the shared objects, and errors of the
// link printed on stderr.
class Session {
public:
    Session();
    ~Session();
    CSerialLink link;
    SharedObjects shared;
    int errorsReported() const { return m_errors; }
    // One error line on stderr ("Error: ..."), counted.
    void tell(const QString &description);

private:
    int m_errors = 0;
};

// --trace: the communication log's lines also go to stderr. Every meter command logs to the file.
void setTrace(bool on);
bool trace();

void printLine(const QString &line);
void printError(const QString &line);

// Parses a subcommand's options (adds --help); false with the exit code when the process should end
// here. maxPositional -1: no upper limit.
bool parseOptions(QCommandLineParser &parser, const QStringList &arguments, const QString &description,
                  int minPositional, int maxPositional, int *exitCode);

// Prints what a meter operation had to tell as the session's error lines, in order; returns exitCode,
// so a caller ends with it.
int tellLinkFailure(Session &session, const LinkResult &result, int exitCode = 0);
// The same for what reading, writing or exporting a file had to tell.
int tellFileFailure(Session &session, const FileResult &result, int exitCode = 0);

// Searches and identifies the meter as the desktop program does; on failure the reason is printed.
qint16 recogniseMeter(Session &session);

int ports(const QStringList &arguments);
int identify(const QStringList &arguments);
int doctor(const QStringList &arguments);
int datasets(const QStringList &arguments);
int exportFile(const QStringList &arguments);
int programs(const QStringList &arguments);
int calrecord(const QStringList &arguments);
int calline(const QStringList &arguments);
int checkrange(const QStringList &arguments);
int archive(const QStringList &arguments);
int trail(const QStringList &arguments);
int qc(const QStringList &arguments);
// A command with actions ("meravo-cli archive query ..."): runs the named action with the arguments
// from the action on; without one, or with --help, prints help.
using Action = std::function<int(const QStringList &)>;
int runAction(const QString &command, const QStringList &arguments,
              const QList<QPair<QString, Action>> &actions, const QString &help);

// One CSV field: quoted when it holds a comma, a quote or a line break.
QString csvField(const QString &text);
// Archives a meter's answer as one import (and writes the measured-value file first when fileName
// is given); prints the summary. 0, 4 when the archive or the file failed, 7 when archived and a
// control sample's new value is out of control.
int archiveImport(Session &session, const QString &raw, const QDateTime &imported, const QString &fileName);
constexpr int kImportOutOfControl = 7;
// Whether archiveImport's code means the datasets are archived.
inline bool archiveImported(int code)
{
    return code == 0 || code == kImportOutOfControl;
}
// Searches the meter, reads its datasets and archives them as archive import does (exit codes as it).
int importMeter(Session &session, const QString &fileName);
// A worklist for the session's imports; false (the reason printed) when it is refused.
bool loadWorklist(SharedObjects &shared, const QString &path);
int deliver(const QStringList &arguments);
int watch(const QStringList &arguments);
#ifdef MERAVO_CLI_PRINT
int print(const QStringList &arguments);
// print, qc's report and trail show --pdf draw with Qt's painter: they run on the offscreen platform,
// with no display needed; every other command stays free of the window system. arguments: the command
// and what follows it.
inline bool needsGui(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    if (command == QLatin1String("print"))
        return true;
    const bool pdf = arguments.indexOf(QRegularExpression(QStringLiteral("^--pdf(=.*)?$"))) > 1;
    return pdf && (command == QLatin1String("qc") ||
                   (command == QLatin1String("trail") && arguments.value(1) == QLatin1String("show")));
}
#endif

} // namespace Cli
