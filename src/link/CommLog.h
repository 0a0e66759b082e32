#pragma once
// The communication log: every exchange on the link, one line each, in a file per run in the user's
// data folder, so a support person has something to read when "the meter is not found". Lines go
// through QFile's buffer without a sync per line; the link flushes once per exchange.
// The files hold serial numbers, records and datasets: they are the user's alone (0600, folder 0700).
// A run's file is made at its first line, so a run that never talked to a meter (an export, a print)
// leaves none and pushes no other run out; a run's files are never removed while it runs. Runs that
// exchanged bytes with a meter are kept first: one that never did (no port opened, nothing answered)
// goes before any that did, so failed attempts never push the last real exchange out.
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

class CommLog : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultCap = 1024 * 1024;
    static constexpr int kRunsKept = 5;
    // The most bytes of one field escape() shows, and of one line in the files (at most an eighth of
    // the cap): a longer one is cut, its size noted.
    static constexpr qsizetype kMaxFieldBytes = 4096;
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;

    explicit CommLog(QObject *parent = nullptr);
    ~CommLog() override;
    CommLog(const CommLog &) = delete;
    CommLog &operator=(const CommLog &) = delete;

    // The desktop program's data folder, also for the CLI, so both write their runs side by side.
    static QString defaultFolder();

    // Logs this run in folder: at its first line the run's file is made and the oldest finished runs are
    // removed, so that kRunsKept remain. A run keeps at most cap bytes: its first half (port, baud
    // rate, recognition) and its latest lines. False when the folder cannot be made.
    bool open(const QString &folder, qint64 cap = kDefaultCap);
    bool isOpen() const { return !m_folder.isEmpty() && !m_broken; }
    // Also prints every line on stderr (meravo-cli --trace); works without a file, too.
    void setEcho(bool echo) { m_echo = echo; }
    bool active() const { return m_echo || isOpen(); }

    // Adds one line with the time of day in front.
    void write(const QString &text);
    void flush();

    // The files of the running run, oldest part first.
    QStringList runFiles() const;
    // This run's lines as the files hold them.
    QString runText();

    // Bytes as text: printable ASCII as is, CR LF TAB as \r \n \t, everything else as \xNN; beyond
    // kMaxFieldBytes the bytes are cut and their count noted (cutNote).
    static QString escape(const char *data, qsizetype size);
    // What stands in for the cut part of a field or line of size bytes.
    static QString cutNote(qint64 size);
    static QString escape(const QByteArray &bytes) { return escape(bytes.constData(), bytes.size()); }

signals:
    void lineAdded(const QString &line);

private:
    void writeToFile(const QByteArray &line);
    bool startRun();
    bool startLatest();
    void removeOldRuns() const;

    QString m_folder;
    QString m_stem;
    qint64 m_cap = kDefaultCap;
    QFile m_head;
    QFile m_latest;
    qint64 m_headBytes = 0;
    qint64 m_latestBytes = 0;
    int m_runLock = -1; // held on the run's first file while the run lasts
    bool m_broken = false;
    bool m_echo = false;
};
