#pragma once
// The user-defined programs: the PC's copy of the programs in the meter (the meter table), every
// program exchange with the meter, and program files in the working directory.
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

class CCalibration;
class CCommunication;
class CConfig;
class CDevice;
class CSerialLink;

// One program as the meter keeps it. An empty slot has NO "0" and every other field empty.
struct ProgramRecord {
    QString NO = QStringLiteral("0");
    QString MODEL, CUV, LAMBDA, MRB, MRE, E0, SLOPE, RES, FORM, UNIT, BLANKREQ, CALPSB, CALREQ;
    bool operator==(const ProgramRecord &) const = default;
};

class CUsrDefProg {
public:
    static constexpr int kProgramArraySize = 35;
    static constexpr int kSlots = 100;
    static constexpr int kListSize = 100;

    // The limits of a program's fields, as the program editor enforces them where they are typed and as
    // every program is checked against before it is sent (CheckProgram).
    static constexpr int kFirstProgNum = 900;
    static constexpr int kLastProgNum = 999;
    static constexpr int kLastProgNumReduced = 949;
    static constexpr int kProgNumLength = 3;
    static constexpr int kModelLength = 5;
    static constexpr int kFormLength = 9;
    static constexpr int kUnitLength = 7;
    static constexpr int kNumberLength = 20;

    CUsrDefProg(CSerialLink *link, CCommunication &communication, const CDevice &device, CConfig &config,
                const CCalibration &calibration);

    // Meter side.
    bool Update();
    bool StopUpdate();
    bool ListMeter(QStringList &strProgList, qint16 &intNumProgs) const;
    bool AlreadyExistsMeter(const QString &strProgNum) const;
    bool GetFreeProgNumMeter(QString &strProgNum) const;
    bool AddNew(const QStringList &strProgram);
    bool Modify(const QStringList &strProgram);
    bool GetProgramMeter(QStringList &strProgram, const QString &strProgNum) const;
    bool Delete(const QString &strProgNum);
    bool DeleteAll();
    // Whether the recognised meter keeps user-defined programs at all (the Klaro turbidity meters keep
    // none); true offline, where programs are still worked on as files.
    bool MeterKeepsPrograms() const;

    // Every value the meter would receive, checked against the editor's limits and the measuring range
    // against the meter's absorbance range. Empty when the program may be sent; otherwise the message,
    // which names the field. AddNew and Modify send nothing that fails it.
    QString CheckProgram(const QStringList &strProgram) const;
    // A program number as the editor takes it: three plain digits, 900 to 999.
    static bool IsProgramNumber(const QString &text);
    // A decimal number text with "." as separator (blanks around it ignored); false unless finite.
    static bool ReadNumber(const QString &text, double &value);

    // PC side.
    QString WorkDir() const;
    void setWorkDir(const QString &strWorkDir);
    bool ListPC(QStringList &strProgNumList, QStringList &strFileNameList, qint16 &intNumProgs) const;
    bool SaveToFile(const QStringList &strProgram, const QString &strFilePath) const;
    bool ReadFromFile(QStringList &strProgram, const QString &strFileName) const;
    bool DeleteFile(const QString &strFileName) const;
    bool DeleteFileAll() const;
    // The path the save dialogs propose: "PROG " + number + ".csv" in the working directory, or the bare
    // name when the working directory does not exist.
    QString ProposedFilePath(const QString &strProgNum) const;

    // The meter table, for the windows' lists and for checks.
    qint16 count() const { return m_count; }
    const ProgramRecord &slot(int index) const { return m_table[size_t(index)]; }
    bool updateRunning() const { return m_updateRunning; }

    // The wire and file forms, free of any state.
    static QString BuildStoreCommand(const QString &code, const QStringList &strProgram);
    // The numbers of a "U.512" answer; nullopt when it lists more than kSlots numbers.
    static std::optional<QStringList> ParseListReply(const QString &reply);
    // A "U.513" answer into a record.
    static bool ParseProgramReply(const QString &reply, ProgramRecord &record);
    static QString BuildProgramText(const QStringList &strProgram);
    // A program file's text into the array (at least 35 elements); elements filled before a failed
    // check stay filled.
    static bool ParseProgramText(const QString &text, QStringList &strProgram);

private:
    bool Transfer(const QString &command, QString &reply);
    bool ReadProgram(const QString &strProgNum, ProgramRecord &record);
    bool StoreAndReadBack(const QString &code, const QStringList &strProgram, ProgramRecord &record);
    bool RequestList(QString &reply);
    void ClearTable();
    QString FilePath(const QString &strFileName) const;

    CSerialLink *m_link;
    CCommunication &m_communication;
    const CDevice &m_device;
    CConfig &m_config;
    const CCalibration &m_calibration;
    std::array<ProgramRecord, kSlots> m_table;
    qint16 m_count = 0;
    bool m_updateRunning = false;
    // Read from the settings object on first use, so creating the shared objects touches no file.
    mutable std::optional<QString> m_workDir;
};
