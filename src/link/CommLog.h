#pragma once
// The communication log: every exchange on the link, one line each, in a file per run in the user's
// data folder, so a support person has something to read when "the meter is not found". Lines go
// through QFile's buffer without a sync per line; the link flushes once per exchange.
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

class CommLog : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kDefaultCap = 1024 * 1024;
    static constexpr int kRunsKept = 5;

    explicit CommLog(QObject *parent = nullptr);
    ~CommLog() override;
    CommLog(const CommLog &) = delete;
    CommLog &operator=(const CommLog &) = delete;

    // The desktop program's data folder, also for the CLI, so both write their runs side by side.
    static QString defaultFolder();

    // Starts this run's file in folder and removes the oldest runs, so that kRunsKept remain. A run
    // keeps at most cap bytes: its first half (port, baud rate, recognition) and its latest lines.
    bool open(const QString &folder, qint64 cap = kDefaultCap);
    bool isOpen() const { return m_head.isOpen() || m_latest.isOpen(); }
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

    // Bytes as text: printable ASCII as is, CR LF TAB as \r \n \t, everything else as \xNN.
    static QString escape(const char *data, qsizetype size);
    static QString escape(const QByteArray &bytes) { return escape(bytes.constData(), bytes.size()); }

signals:
    void lineAdded(const QString &line);

private:
    void writeToFile(const QByteArray &line);
    bool startLatest();

    QString m_folder;
    QString m_stem;
    qint64 m_cap = kDefaultCap;
    QFile m_head;
    QFile m_latest;
    qint64 m_headBytes = 0;
    qint64 m_latestBytes = 0;
    bool m_echo = false;
};
