// metersim: a simulated meter on a pseudo-terminal, for demonstrations, training and manual tests.
#include "MeterSim.h"
#include "ProgramVersion.h"
#include "SimCalRecords.h"
#include "SimDatasets.h"
#include "SimPrograms.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
}

QStringList commandCodes(const QStringList &values)
{
    QStringList codes;
    for (const QString &value : values)
        for (const QString &code : value.split(u',', Qt::SkipEmptyParts))
            codes.append(code.trimmed());
    return codes;
}

// The command line: what the meter says it is, the faults it plays, and what it holds.
struct SimOptions {
    const QCommandLineOption link{QStringLiteral("link"), QStringLiteral("Path at which the line appears."),
                                  QStringLiteral("PATH")};
    const QCommandLineOption model{QStringLiteral("model"), QStringLiteral("Device name (default Lumora)."),
                                   QStringLiteral("NAME"), QStringLiteral("Lumora")};
    const QCommandLineOption firmware{QStringLiteral("firmware"),
                                      QStringLiteral("Firmware text (default 2.00)."), QStringLiteral("TEXT"),
                                      QStringLiteral("2.00")};
    const QCommandLineOption serial{QStringLiteral("serial"),
                                    QStringLiteral("Serial number (default 000001)."), QStringLiteral("TEXT"),
                                    QStringLiteral("000001")};
    const QCommandLineOption variant{
        QStringLiteral("variant"), QStringLiteral("Variant code answered to U.592."), QStringLiteral("CODE")};
    const QCommandLineOption baud{QStringLiteral("baud"), QStringLiteral("Baud rate (default 4800)."),
                                  QStringLiteral("RATE"), QStringLiteral("4800")};
    const QCommandLineOption silent{QStringLiteral("silent"), QStringLiteral("Answer nothing.")};
    const QCommandLineOption reject{QStringLiteral("reject"),
                                    QStringLiteral("Reject these commands (codes, comma-separated)."),
                                    QStringLiteral("CODES")};
    const QCommandLineOption ignore{QStringLiteral("ignore"),
                                    QStringLiteral("Leave these commands unanswered."),
                                    QStringLiteral("CODES")};
    const QCommandLineOption delay{QStringLiteral("delay"), QStringLiteral("Pause before every answer."),
                                   QStringLiteral("MS"), QStringLiteral("0")};
    const QCommandLineOption split{
        QStringLiteral("split"), QStringLiteral("Cut every answer at these byte offsets (comma-separated)."),
        QStringLiteral("OFFSETS")};
    const QCommandLineOption garbage{QStringLiteral("garbage"),
                                     QStringLiteral("Bytes sent ahead of every answer."),
                                     QStringLiteral("TEXT")};
    const QCommandLineOption endless{QStringLiteral("endless"),
                                     QStringLiteral("Answer these commands with a stream that never ends."),
                                     QStringLiteral("CODES")};
    const QCommandLineOption hangup{QStringLiteral("hangup-on"),
                                    QStringLiteral("Hang up the line when one of these commands arrives."),
                                    QStringLiteral("CODES")};
    const QCommandLineOption breakField{
        QStringLiteral("break-field"),
        QStringLiteral(
            "Put a line break into the middle of these commands' answers (codes, comma-separated)."),
        QStringLiteral("CODES")};
    const QCommandLineOption joined{
        QStringLiteral("joined"),
        QStringLiteral("Answer these commands late: the first one is left unanswered, "
                       "its repetition gets both answers in one piece."),
        QStringLiteral("CODES")};
    const QCommandLineOption pace{QStringLiteral("pace"),
                                  QStringLiteral("Send at the line rate (10 bits a byte).")};
    const QCommandLineOption program{
        QStringLiteral("program"),
        QStringLiteral("Put a program in the meter: its 14 values as in the store "
                       "command (NO,MODEL,CUV,...,CALREQ). Repeatable."),
        QStringLiteral("VALUES")};
    const QCommandLineOption programFile{
        QStringLiteral("programs"),
        QStringLiteral("Put the programs of a file in the meter (one --program "
                       "value a line)."),
        QStringLiteral("FILE")};
    const QCommandLineOption phRecord{QStringLiteral("ph-record"),
                                      QStringLiteral("pH calibration record as the meter sends it (U.586)."),
                                      QStringLiteral("FIELDS")};
    const QCommandLineOption phPoints{QStringLiteral("ph-points"),
                                      QStringLiteral("A pH calibration record with 0 to 3 points."),
                                      QStringLiteral("N")};
    const QCommandLineOption turbRecord{
        QStringLiteral("turb-record"),
        QStringLiteral("Short turbidity record as the meter sends it (U.585)."), QStringLiteral("FIELDS")};
    const QCommandLineOption turbExtRecord{
        QStringLiteral("turb-ext-record"),
        QStringLiteral("Extended turbidity record as the meter sends it (U.587)."), QStringLiteral("FIELDS")};
    const QCommandLineOption recordFile{
        QStringLiteral("records"),
        QStringLiteral("Calibration records from a file: lines ph=..., turb=..., "
                       "turb-ext=..."),
        QStringLiteral("FILE")};
    const QCommandLineOption datasets{QStringLiteral("datasets"),
                                      QStringLiteral("Store N generated datasets of the model's layout."),
                                      QStringLiteral("N")};
    const QCommandLineOption stationDatasets{
        QStringLiteral("station-datasets"),
        QStringLiteral("Store N datasets of a river station: three programs in turn (14-field models)."),
        QStringLiteral("N")};
    const QCommandLineOption datasetFile{QStringLiteral("datasets-file"),
                                         QStringLiteral("Store the datasets of a measured-value file."),
                                         QStringLiteral("FILE")};
    const QCommandLineOption datasetsStall{QStringLiteral("datasets-stall-after"),
                                           QStringLiteral("Stop sending the dataset answer after N bytes."),
                                           QStringLiteral("N")};
    const QCommandLineOption datasetsHangup{
        QStringLiteral("datasets-hangup-after"),
        QStringLiteral("Hang up the line after N bytes of the dataset answer."), QStringLiteral("N")};

    // The help lists the meter's contents first, then its datasets, then the line and its faults.
    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions({program, programFile, phRecord, phPoints, turbRecord, turbExtRecord, recordFile});
        parser.addOptions({datasets, stationDatasets, datasetFile, datasetsStall, datasetsHangup});
        parser.addOptions({link, model, firmware, serial, variant, baud, silent, reject, ignore, delay, split,
                           garbage, endless, hangup, pace, breakField, joined});
    }
};

// False with the reason when the baud rate is no rate.
bool takeIdentity(const QCommandLineParser &parser, const SimOptions &o, MeterIdentity &id, QString *error)
{
    id.model = parser.value(o.model);
    id.firmware = parser.value(o.firmware);
    id.serial = parser.value(o.serial);
    id.variant = parser.value(o.variant);
    bool ok = false;
    id.baud = parser.value(o.baud).toInt(&ok);
    if (!ok || id.baud <= 0) {
        *error = QStringLiteral("invalid baud rate '%1'").arg(parser.value(o.baud));
        return false;
    }
    return true;
}

void takeFaults(const QCommandLineParser &parser, const SimOptions &o, SimFaults &faults)
{
    faults.silent = parser.isSet(o.silent);
    faults.rejectCommands = commandCodes(parser.values(o.reject));
    faults.silentCommands = commandCodes(parser.values(o.ignore));
    faults.delayMs = parser.value(o.delay).toInt();
    for (const QString &offset : commandCodes(parser.values(o.split)))
        faults.splitAt.append(offset.toInt());
    faults.garbage = parser.value(o.garbage).toLatin1();
    faults.endlessCommands = commandCodes(parser.values(o.endless));
    faults.hangupCommands = commandCodes(parser.values(o.hangup));
    faults.pace = parser.isSet(o.pace);
    faults.breakCommands = commandCodes(parser.values(o.breakField));
    faults.joinedCommands = commandCodes(parser.values(o.joined));
}

// Programs and calibration records; every option is taken, the first failure is the one told.
bool takeProgramsAndRecords(const QCommandLineParser &parser, const SimOptions &o, SimPrograms &programs,
                            SimCalRecords &records, QString *error)
{
    bool configured = !parser.isSet(o.programFile) || programs.loadFile(parser.value(o.programFile), error);
    for (const QString &values : parser.values(o.program))
        configured = configured && programs.put(values, error);
    configured =
        configured && (!parser.isSet(o.recordFile) || records.loadFile(parser.value(o.recordFile), error));
    if (parser.isSet(o.phPoints)) {
        bool ok = false;
        const int points = parser.value(o.phPoints).toInt(&ok);
        if (!ok || points < 0 || points > 3) {
            configured = false;
            *error = QStringLiteral("--ph-points takes 0 to 3");
        }
        records.ph = SimCalRecords::phRecord(points);
    }
    if (parser.isSet(o.phRecord))
        records.ph = parser.value(o.phRecord).toLatin1();
    if (parser.isSet(o.turbRecord))
        records.turbidity = parser.value(o.turbRecord).toLatin1();
    if (parser.isSet(o.turbExtRecord))
        records.turbidityExtended = parser.value(o.turbExtRecord).toLatin1();
    return configured;
}

bool takeDatasets(const QCommandLineParser &parser, const SimOptions &o, const QString &model,
                  SimDatasets &stored, bool configured, QString *error)
{
    if (parser.isSet(o.datasetFile))
        configured = configured && stored.loadFile(parser.value(o.datasetFile), error);
    bool ok = false;
    if (parser.isSet(o.datasets)) {
        const qint64 count = parser.value(o.datasets).toLongLong(&ok);
        if (!ok || count < 0) {
            configured = false;
            *error = QStringLiteral("--datasets takes a count");
        }
        stored.generate(count);
    }
    if (parser.isSet(o.stationDatasets)) {
        const qint64 count = parser.value(o.stationDatasets).toLongLong(&ok);
        if (!ok || count < 0 || SimDatasets::fieldCount(model) != 14) {
            configured = false;
            *error = QStringLiteral("--station-datasets takes a count, for a model with 14-field datasets");
        }
        stored.setRecords(SimDatasets::stationRecords(count), count);
    }
    if (parser.isSet(o.datasetsStall))
        stored.stallAfter = parser.value(o.datasetsStall).toLongLong();
    if (parser.isSet(o.datasetsHangup))
        stored.hangupAfter = parser.value(o.datasetsHangup).toLongLong();
    return configured;
}

// Serves until a signal ends it; the signal handler only writes a byte, the event loop does the rest.
int serve(QCoreApplication &app, MeterSim &sim)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("metersim: socketpair");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char byte;
        [[maybe_unused]] const ssize_t ignored = ::read(g_signalPipe[0], &byte, 1);
        sim.close();
        app.quit();
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGHUP, onSignal);

    std::printf("ready %s\n", qPrintable(sim.linkPath()));
    std::fflush(stdout);
    const int rc = app.exec();
    sim.close();
    return rc;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("metersim"));
    QCoreApplication::setApplicationVersion(ProgramVersion::text());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated meter on a pseudo-terminal. Prints 'ready PATH' when the line is up and serves "
        "until it is ended (SIGTERM or SIGINT), then removes the link."));
    parser.addHelpOption();
    parser.addVersionOption();
    const SimOptions options;
    options.addTo(parser);
    parser.process(app);

    if (!parser.isSet(options.link)) {
        std::fprintf(stderr, "metersim: --link PATH is required (see --help)\n");
        return 2;
    }

    MeterSim sim;
    QString error;
    if (!takeIdentity(parser, options, sim.identity(), &error)) {
        std::fprintf(stderr, "metersim: %s\n", qPrintable(error));
        return 2;
    }
    takeFaults(parser, options, sim.faults());

    SimPrograms programs(sim);
    SimCalRecords records(sim);
    SimDatasets storedDatasets(sim);
    bool configured = takeProgramsAndRecords(parser, options, programs, records, &error);
    configured = takeDatasets(parser, options, sim.identity().model, storedDatasets, configured, &error);
    if (!configured) {
        std::fprintf(stderr, "metersim: %s\n", qPrintable(error));
        return 2;
    }
    if (!sim.open(parser.value(options.link), &error)) {
        std::fprintf(stderr, "metersim: %s\n", qPrintable(error));
        return 1;
    }
    return serve(app, sim);
}
