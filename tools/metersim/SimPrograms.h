#pragma once
// The simulated meter's program table: up to 100 user-defined programs, numbered 900 to 999 (900 to
// 949 on the models with reduced user methods), served through the list, read, store, modify and
// erase commands.
#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QStringList>

#include <optional>

class MeterSim;

class SimPrograms {
public:
    static constexpr int kCapacity = 100;

    // Registers the program commands on the simulator.
    explicit SimPrograms(MeterSim &sim);

    // The programs by number, each the 14 values of the store command (NO first).
    const QMap<QString, QStringList> &programs() const { return m_programs; }
    // Adds or replaces a program given as its 14 values; false (with the reason) when it does not fit.
    bool put(const QStringList &values, QString *error = nullptr);
    // The same from "901,ABCDE,16,..." as in the store command.
    bool put(const QString &commaValues, QString *error = nullptr);
    // One program a line in the store command's form; blank lines and lines starting with # are skipped.
    bool loadFile(const QString &path, QString *error = nullptr);
    void clear() { m_programs.clear(); }

    // The highest number the meter accepts for its model.
    int lastNumber() const;

    // Faults: a raw answer to the list command, or to the read of one program, instead of the table's.
    std::optional<QByteArray> listAnswer;
    QHash<QString, QByteArray> readAnswers;

    // The payload of the read answer for the values (field 6 is the meter's "0").
    static QByteArray readPayload(const QStringList &values);

private:
    bool fits(const QStringList &values, bool replacing, QString *error) const;

    MeterSim &m_sim;
    QMap<QString, QStringList> m_programs;
};
