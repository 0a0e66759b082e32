#pragma once
// The simulated meter's stored measured values: the dataset command ("U.581") answers with every
// dataset, each a record line of the model's layout; "U.999" ends a transfer. Datasets come from a
// measured-value file or are generated, N of them with plausible fields for the model family.
#include <QByteArray>
#include <QString>

class MeterSim;

class SimDatasets {
public:
    // Registers the dataset commands on the simulator.
    explicit SimDatasets(MeterSim &sim);

    // The record lines joined with CR LF (no CR LF after the last); empty for no datasets.
    void setRecords(const QByteArray &records, qint64 count);
    // The records of a measured-value file, byte for byte as the file holds them.
    bool loadFile(const QString &path, QString *error = nullptr);
    // N datasets for the simulator's model: 7 fields (Klaro 4), 10 (Klaro 7) or 14 (all others).
    void generate(qint64 count);
    static QByteArray generatedRecords(const QString &model, qint64 count);
    // N datasets of a photometer at a river station: three programs in turn every 25 seconds from
    // 1 March 2026, values that wander, now and then a status other than OK or a value below the range.
    static QByteArray stationRecords(qint64 count);
    // The field count of the model's records.
    static int fieldCount(const QString &model);

    qint64 count() const { return m_count; }
    QByteArray records() const { return m_records; }
    // The whole answer to the dataset command.
    QByteArray answer() const;
    // How often "U.999" arrived.
    int stopCommands() const { return m_stops; }

    // Faults in the middle of the answer: after this many bytes the meter stalls (sends nothing more)
    // or hangs up the line. Negative: off.
    qint64 stallAfter = -1;
    qint64 hangupAfter = -1;

private:
    MeterSim &m_sim;
    QByteArray m_records;
    qint64 m_count = 0;
    int m_stops = 0;
};
