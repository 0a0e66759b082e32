// The activity trail's figures: what an entry adds to an action (inside the action's own transaction,
// and alone with its commit), and the time to verify a chain of a million entries.
// Usage: bench_trail [ENTRIES]  (default 1000000)
#include "Archive.h"
#include "BenchSupport.h"
#include "CCommunication.h"
#include "CDevice.h"
#include "CSerialLink.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

TrailAction saveAction(int n)
{
    return {QStringLiteral("save"),
            QStringLiteral("/home/lab/results/run-%1.csv").arg(n),
            QJsonObject{{QStringLiteral("bytes"), 4096 + n}},
            QString(),
            QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"),
            QStringLiteral("anna")};
}

// A long chain written straight into the table with the program's own hashing: appending entry by
// entry would spend the run on one transaction each.
bool fillChain(ArchiveDatabase &db, qint64 entries)
{
    if (!db.begin())
        return false;
    QSqlQuery q(db.database());
    q.prepare(
        QStringLiteral("INSERT INTO trail (seq, at_utc, utc_offset, clock_back, os_uid, os_user, "
                       "os_full_name, login, host, program_version, action, object, details, reason, "
                       "file_sha256, prev_hash, hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                       "?, ?, ?)"));
    TrailEntry e;
    e.hash = QStringLiteral(""); // the first entry's predecessor: none, stored as an empty text
    const QDateTime start(QDate(2024, 1, 1), QTime(6, 0), Qt::UTC);
    for (qint64 seq = 1; seq <= entries; ++seq) {
        const TrailAction a = saveAction(int(seq));
        e.seq = seq;
        e.atUtc = start.addSecs(seq * 60);
        e.utcOffset = 3600;
        e.osUid = 1000;
        e.osUser = QStringLiteral("anna");
        e.osFullName = QStringLiteral("Anna Lindqvist");
        e.login = a.login;
        e.host = QStringLiteral("lab-pc-1");
        e.programVersion = QStringLiteral("0.1.0");
        e.action = a.action;
        e.object = a.object;
        e.details = QStringLiteral("{\"bytes\":%1}").arg(4096 + seq);
        e.fileSha256 = a.fileSha256;
        e.prevHash = e.hash;
        e.hash = e.computeHash();
        for (const QVariant &v :
             {QVariant(e.seq), QVariant(e.atUtc.toString(Qt::ISODateWithMs)), QVariant(e.utcOffset),
              QVariant(0), QVariant(e.osUid), QVariant(e.osUser), QVariant(e.osFullName), QVariant(e.login),
              QVariant(e.host), QVariant(e.programVersion), QVariant(e.action), QVariant(e.object),
              QVariant(e.details), QVariant(QStringLiteral("")), QVariant(e.fileSha256), QVariant(e.prevHash),
              QVariant(e.hash)})
            q.addBindValue(v);
        if (!q.exec()) {
            Bench::note(q.lastError().text());
            return false;
        }
    }
    return bool(db.commit());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 entries = argc > 1 ? std::atoll(argv[1]) : 1000000;
    QTemporaryDir dir(QDir::home().filePath(QStringLiteral(".bench-trail-XXXXXX")));
    CSerialLink link;
    CCommunication communication(&link);
    CDevice device(&link, communication);
    ArchiveSettings settings;
    settings.location = dir.filePath(QStringLiteral("archive.sqlite"));
    Archive archive(device, settings);
    if (!archive.open()) {
        Bench::note(QStringLiteral("the archive could not be opened"));
        return 1;
    }

    // An entry in an action's transaction: what an import or a correction pays for its entry.
    constexpr int kInside = 2000;
    {
        ArchiveDatabase db(settings.location);
        if (!db.open() || !db.begin())
            return 1;
        Bench::Stopwatch watch;
        for (int n = 0; n < kInside; ++n)
            if (!Trail::append(db, saveAction(n)))
                return 1;
        const double perEntry = watch.wallSeconds() * 1000.0 / kInside;
        db.rollback();
        Bench::figure("entry within the action", perEntry, "ms", "< 1 ms", perEntry < 1.0);
    }
    // An entry alone (a file written, a printout): its own transaction, on the disk before it returns.
    {
        std::vector<double> times;
        for (int n = 0; n < 200; ++n) {
            Bench::Stopwatch watch;
            if (!archive.record(saveAction(n)))
                return 1;
            times.push_back(watch.wallSeconds() * 1000.0);
        }
        Bench::figure("entry alone, committed (median)", Bench::median(times), "ms");
    }

    // Verification of a long chain.
    {
        QTemporaryDir big(QDir::home().filePath(QStringLiteral(".bench-trail-XXXXXX")));
        ArchiveSettings bigSettings;
        bigSettings.location = big.filePath(QStringLiteral("archive.sqlite"));
        ArchiveDatabase db(bigSettings.location);
        if (const auto opened = db.open(); !opened) {
            Bench::note(opened.message);
            return 1;
        }
        Bench::Stopwatch fill;
        if (!fillChain(db, entries)) {
            Bench::note(QStringLiteral("the chain could not be written"));
            return 1;
        }
        Bench::note(
            QStringLiteral("%1 entries written in %2 s").arg(entries).arg(fill.wallSeconds(), 0, 'f', 1));
        Archive bigArchive(device, bigSettings);
        Bench::resetPeak();
        Bench::Stopwatch watch;
        TrailVerdict verdict;
        if (!bigArchive.verify(&verdict) || !verdict.intact) {
            Bench::note(QStringLiteral("verify failed: ") + verdict.problem);
            return 1;
        }
        const double seconds = watch.wallSeconds();
        const QByteArray name = QByteArray::number(entries) + " entries verified";
        Bench::figure(name.constData(), seconds, "s", "< 10 s", seconds < 10.0);
        Bench::figure("verify peak memory", double(Bench::statusKiB("VmHWM:")) / 1024.0, "MiB");
    }
    return 0;
}
