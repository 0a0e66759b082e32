#pragma once
// The demo's meter: the simulator from the program folder on a line in a private temporary folder, the
// program's ports pinned to that line. The simulator never outlives the program: it is stopped when this
// object goes, when the program is ended by a signal, and, by the kernel, when the program dies outright.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class DemoMeter {
public:
    DemoMeter() = default;
    ~DemoMeter();
    DemoMeter(const DemoMeter &) = delete;
    DemoMeter &operator=(const DemoMeter &) = delete;

    // Starts the program folder's simulator as a meter of the edition, waits for its ready line and sets
    // MERAVO_PORTS to its line alone. False, with the reason for the user in *error, when it did not
    // come up; nothing is left running then.
    bool start(QString *error);
    void stop();
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QString linkPath() const { return m_link; }
    qint64 processId() const { return m_process.processId(); }

    // The demo meter and its contents, on a line at linkPath: a Klaro 7 where the edition is restricted
    // to it, else a photometer with turbidity that keeps programs and calibration records.
    static QStringList arguments(const QString &linkPath, bool onlyKlaro7);
    // How long the simulator may take to report ready.
    static constexpr int kReadyTimeoutMs = 10000;

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_link;
};
