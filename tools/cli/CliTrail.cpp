// meravo-cli trail: the activity trail, its proof and its head.
#include "Archive.h"
#include "CliCommands.h"
#include "TextTable.h"
#include "TrailReport.h"
#ifdef MERAVO_CLI_PRINT
#include "PrintJobs.h"
#endif

#include <QCommandLineParser>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Cli {
namespace {

enum Exit { kDone = 0, kBroken = 1, kUnknownFile = 1, kBadInput = 2, kArchiveFailed = 4, kNotWritten = 5 };

const char *const kHelp =
    "meravo-cli trail <action> [options]\n\n"
    "The activity trail in the archive's database: one entry per import, file written, printout,\n"
    "change on the meter, annotation, withdrawal and setting, each sealed with the SHA-256 of its\n"
    "content and of the entry before it (a hash chain).\n\n"
    "Actions:\n"
    "  verify [--anchor SEQ:HASH]  walk the chain, every import's original bytes and the datasets\n"
    "                              read from them; with an anchor noted earlier ('trail head'), the\n"
    "                              entry SEQ must still carry HASH\n"
    "  head                        print the newest entry as SEQ:HASH, to note outside the system\n"
    "  check FILE                  whether FILE is byte for byte one the program wrote: when, by whom\n"
    "  show [--from DATE] [--to DATE] [--user NAME] [--action A] [--object TEXT] [--format csv|json]\n"
    "       [--pdf OUT.pdf]          the entries as a printed report (the desktop program's layout,\n"
    "                              with who printed it) instead of csv or json\n\n"
    "What it proves: every entry changed, removed, inserted or moved after it was written is found,\n"
    "and so is any change of an import's bytes or datasets; every row that carries evidence (import,\n"
    "dataset, note, withdrawal, control limits, delivery, sample ID) must be the one its entry names,\n"
    "and a stored conflict mark must follow from the datasets. What it does not: someone with full\n"
    "rights over the database can rewrite the whole chain; only a head noted outside (a paper log,\n"
    "an e-mail) finds that, with verify --anchor.\n\n"
    "Exit codes: verify: 0 intact, 1 broken (the entry's number is printed); check: 0 the program\n"
    "wrote this file, 1 it did not; 2 invalid input (check: also a folder, pipe or device, refused at\n"
    "once); 4 the archive is unavailable; 5 the PDF file was not written; 64 usage.";

int failedArchive(const Archive::Result &result)
{
    printError(result.message);
    return kArchiveFailed;
}

int verify(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption anchor(QStringLiteral("anchor"), QStringLiteral("An entry noted earlier."),
                                    QStringLiteral("SEQ:HASH"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Login name for the record."),
                                  QStringLiteral("NAME"));
    parser.addOptions({anchor, user});
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 0, 0, &exitCode))
        return exitCode;
    qint64 seq = 0;
    QString hash;
    if (parser.isSet(anchor)) {
        if (!Trail::readAnchor(parser.value(anchor), &seq, &hash)) {
            printError(QStringLiteral("--anchor takes SEQ:HASH as 'trail head' prints it"));
            return kBadInput;
        }
    }
    Session session;
    TrailVerdict verdict;
    const Archive::Result result = session.shared.archive->verify(&verdict, seq, hash, parser.value(user));
    if (!result && verdict.entries == 0)
        return failedArchive(result);
    if (verdict.intact) {
        printLine(TextTable::text(TextTable::TrailIntact).arg(verdict.entries).arg(verdict.imports));
        return kDone;
    }
    printLine(TextTable::text(TextTable::TrailBroken).arg(verdict.brokenSeq).arg(verdict.problem));
    return kBroken;
}

int head(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 0, 0, &exitCode))
        return exitCode;
    Session session;
    TrailEntry entry;
    if (const Archive::Result result = session.shared.archive->trailHead(&entry); !result)
        return failedArchive(result);
    printLine(QStringLiteral("%1:%2").arg(entry.seq).arg(entry.hash));
    return kDone;
}

QString describe(const TrailEntry &e)
{
    return QStringLiteral("%1 %2 %3 (%4 as %5 on %6) %7")
        .arg(e.seq)
        .arg(e.atUtc.toString(Qt::ISODate), e.action, e.login, e.osUser, e.host, e.object);
}

// The SHA-256 (hex) of a regular file, read in large blocks; empty with the reason when it is none or
// cannot be read. Opened without waiting, so a pipe with no writer never holds the command.
QString fileSha256(const QString &path, QString *reason)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *reason = QStringLiteral(
            "not a regular file (a folder, a pipe or a device): the program writes files only");
        return {};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        *reason = QStringLiteral("no SHA-256");
        return {};
    }
    std::vector<unsigned char> block(4 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *reason = QString::fromLocal8Bit(std::strerror(errno));
            return {};
        }
        if (n == 0)
            break;
        EVP_DigestUpdate(context.get(), block.data(), size_t(n));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context.get(), digest, &size);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(size)).toHex());
}

int check(const QStringList &arguments)
{
    QCommandLineParser parser;
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 1, 1, &exitCode))
        return exitCode;
    const QString path = parser.positionalArguments().at(0);
    QString reason;
    const QString sha = fileSha256(path, &reason);
    if (sha.isEmpty()) {
        printError(TextTable::text(TextTable::FileReadFailed).arg(path, reason));
        return kBadInput;
    }
    Session session;
    QList<TrailEntry> entries;
    if (const Archive::Result result = session.shared.archive->findFile(sha, &entries); !result)
        return failedArchive(result);
    printLine(QStringLiteral("SHA-256: ") + sha);
    if (entries.isEmpty()) {
        printLine(QStringLiteral("Not a file this program wrote (or written before the trail began)."));
        return kUnknownFile;
    }
    for (const TrailEntry &e : entries)
        printLine(QStringLiteral("Written: ") + describe(e));
    return kDone;
}

const QStringList &trailColumns()
{
    static const QStringList names = {
        QStringLiteral("Seq"),       QStringLiteral("Time"),   QStringLiteral("Offset"),
        QStringLiteral("ClockBack"), QStringLiteral("Uid"),    QStringLiteral("Account"),
        QStringLiteral("FullName"),  QStringLiteral("Login"),  QStringLiteral("Host"),
        QStringLiteral("Version"),   QStringLiteral("Action"), QStringLiteral("Object"),
        QStringLiteral("Details"),   QStringLiteral("Reason"), QStringLiteral("FileSha256"),
        QStringLiteral("PrevHash"),  QStringLiteral("Hash")};
    return names;
}

// An entry's fields in the order of trailColumns().
QStringList trailValues(const TrailEntry &e)
{
    return QStringList{QString::number(e.seq),
                       e.atUtc.toString(Qt::ISODateWithMs),
                       QString::number(e.utcOffset),
                       e.clockBack ? QStringLiteral("1") : QStringLiteral("0"),
                       QString::number(e.osUid),
                       e.osUser,
                       e.osFullName,
                       e.login,
                       e.host,
                       e.programVersion,
                       e.action,
                       e.object,
                       e.details,
                       e.reason,
                       e.fileSha256,
                       e.prevHash,
                       e.hash};
}

void printTrailJson(const QList<TrailEntry> &entries)
{
    const QStringList &names = trailColumns();
    QJsonArray array;
    for (const TrailEntry &e : entries) {
        const QStringList v = trailValues(e);
        QJsonObject o;
        for (qsizetype i = 0; i < names.size(); ++i)
            o.insert(names[i], v[i]);
        array.append(o);
    }
    const QByteArray text = QJsonDocument(array).toJson(QJsonDocument::Indented);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
}

void printTrailCsv(const QList<TrailEntry> &entries)
{
    QString text = trailColumns().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const TrailEntry &e : entries) {
        QStringList fields;
        for (const QString &v : trailValues(e))
            fields.append(csvField(v));
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

int writeTrailPdf([[maybe_unused]] Session &session, [[maybe_unused]] const QList<TrailEntry> &entries,
                  [[maybe_unused]] const TrailFilter &filter, [[maybe_unused]] const QString &path)
{
#ifdef MERAVO_CLI_PRINT
    const TablePrintout table =
        TrailReport::printout(entries, filter, QString(), QDateTime::currentDateTime());
    const PrintJobs::Job job{[&table](CPrint &print) { return print.PrintTablePrintout(table); }, {}};
    // Written through FileWrites, the report is itself in the trail with its SHA-256.
    if (!PrintJobs::writePdf(*session.shared.print, job, path)) {
        printError(TextTable::text(TextTable::PdfNotWritten));
        return kNotWritten;
    }
    return kDone;
#else
    printError(QStringLiteral("meravo-cli trail show --pdf: this build has no printout"));
    return kUsageError;
#endif
}

int show(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First day (2026-03-24)."),
                                  QStringLiteral("DATE"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last day (2026-03-24)."),
                                QStringLiteral("DATE"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Login or account name."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption action(QStringLiteral("action"), QStringLiteral("Action."), QStringLiteral("A"));
    const QCommandLineOption object(QStringLiteral("object"), QStringLiteral("Part of the object."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("csv (default) or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("csv"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("PDF file to write."),
                                 QStringLiteral("OUT.pdf"));
    parser.addOptions({from, to, user, action, object, format, pdf});
    int exitCode = 0;
    if (!parseOptions(parser, arguments, QString::fromLatin1(kHelp), 0, 0, &exitCode))
        return exitCode;
    TrailFilter filter;
    for (const auto &[option, date] : {std::pair{&from, &filter.from}, std::pair{&to, &filter.to}})
        if (parser.isSet(*option) && !ArchiveFilter::readDate(parser.value(*option), date)) {
            printError(TextTable::text(TextTable::ArchiveFilterDate)
                           .arg(parser.value(*option).left(40).simplified()));
            return kBadInput;
        }
    filter.user = parser.value(user).left(ArchiveFilter::kMaxText);
    filter.action = parser.value(action).left(ArchiveFilter::kMaxText);
    filter.object = parser.value(object).left(ArchiveFilter::kMaxText);
    if (parser.value(format) != QLatin1String("csv") && parser.value(format) != QLatin1String("json")) {
        printError(QStringLiteral("--format takes csv or json"));
        return kUsageError;
    }
    Session session;
    QList<TrailEntry> entries;
    if (const Archive::Result result = session.shared.archive->trail(filter, &entries); !result)
        return failedArchive(result);
    if (parser.isSet(pdf))
        return writeTrailPdf(session, entries, filter, parser.value(pdf));
    if (parser.value(format) == QLatin1String("json"))
        printTrailJson(entries);
    else
        printTrailCsv(entries);
    return kDone;
}

} // namespace

int trail(const QStringList &arguments)
{
    const QList<QPair<QString, Action>> actions = {
        {QStringLiteral("verify"), &verify},
        {QStringLiteral("head"), &head},
        {QStringLiteral("check"), &check},
        {QStringLiteral("show"), &show},
    };
    return runAction(QStringLiteral("trail"), arguments, actions, QString::fromLatin1(kHelp));
}

} // namespace Cli
