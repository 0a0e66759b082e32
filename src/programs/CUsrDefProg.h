#pragma once
// The user-defined programs: the PC's copy of the programs in the meter (the meter table), every
// program exchange with the meter, and program files in the working directory.
#include "CCSVFile.h"
#include "LinkResult.h"
#include "ProgramRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class CCalibration;
class CCommunication;
class CConfig;
class CDevice;
class CSerialLink;

class CUsrDefProg {
public:
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
    // confirmed: the user accepted what CheckProgramFields doubts.
    bool AddNew(const ProgramRecord &program, bool confirmed = false);
    bool Modify(const ProgramRecord &program, bool confirmed = false);
    bool GetProgramMeter(ProgramRecord &program, const QString &strProgNum) const;
    bool Delete(const QString &strProgNum);
    bool DeleteAll();
    // How the link served the last Update, AddNew, Modify, Delete or DeleteAll, with what the user is
    // to be told about it (a lost line, a list longer than the meter's slots); the caller tells it.
    const LinkResult &linkResult() const { return m_linkResult; }

    // What to do with a program whose number the meter already holds.
    enum class ExistingProgram { Modify, Keep, Cancel };
    enum class StoreResult { Added, Modified, Kept, Cancelled, NoFreeSlot, AddFailed, ModifyFailed };
    // The one way a program goes into the meter: a new number is added; for a number the meter holds,
    // askExisting decides, before anything is sent, whether it is modified. transferring(true/false)
    // brackets the exchange with the meter, if there is one. The program is checked by the caller
    // (CheckProgram), which tells the user in its own way.
    StoreResult storeOrModify(const ProgramRecord &program,
                              const std::function<ExistingProgram(const QString &number)> &askExisting,
                              const std::function<void(bool)> &transferring = {}, bool confirmed = false);
    // What changed on the meter: told after the meter acknowledged it, whatever the PC's copy then
    // makes of it, so a record of the meter's programs misses nothing the meter took.
    struct MeterChange {
        enum class Kind { Stored, Modified, Erased, ErasedAll } kind = Kind::Stored;
        QString number;                      // empty for ErasedAll
        std::optional<ProgramRecord> before; // as the PC's copy last read it from the meter
        std::optional<ProgramRecord> after;  // as read back from the meter, or as sent when that failed
        QList<ProgramRecord> erased;         // ErasedAll: every program the copy held
        bool readBack = true;
    };
    void setChangeObserver(std::function<void(const MeterChange &)> observer)
    {
        m_changed = std::move(observer);
    }

    // Whether the recognised meter keeps user-defined programs at all (the Klaro turbidity meters keep
    // none); true offline, where programs are still worked on as files.
    bool MeterKeepsPrograms() const;

    // Every value the meter would receive, checked against the editor's limits and the measuring range
    // against the meter's absorbance range. Empty when the program may be sent (with confirmed, what
    // only raises doubts may); otherwise every problem, one per line, each naming its field. AddNew and
    // Modify send nothing that fails it.
    QString CheckProgram(const ProgramRecord &program, bool confirmed = false) const;
    // What CheckProgram finds, in two kinds, each message naming the field by its label.
    struct ProgramCheck {
        // Beyond what the meter's line and files can carry (lengths, characters, numbers, flags): never sent.
        QStringList refusals;
        // Outside the editor's lists or a measuring range beyond the absorbance range: a program the
        // meter itself held looks so, and is sent once the user confirms it (confirmed).
        QStringList doubts;
    };
    ProgramCheck CheckProgramFields(const ProgramRecord &program) const;
    // A program number as the editor takes it: three plain digits, 900 to 999.
    static bool IsProgramNumber(const QString &text);
    // A decimal number text with "." as separator (blanks around it ignored); false unless finite.
    static bool ReadNumber(const QString &text, double &value);

    // PC side.
    QString WorkDir() const;
    void setWorkDir(const QString &strWorkDir);
    // The default working folder when it was missing and has just been created (told once).
    QString takeCreatedWorkDir();
    bool ListPC(QStringList &strProgNumList, QStringList &strFileNameList, qint16 &intNumProgs) const;
    bool SaveToFile(const ProgramRecord &program, const QString &strFilePath) const;
    bool ReadFromFile(ProgramRecord &program, const QString &strFileName) const;
    // How the last SaveToFile or ReadFromFile went with the file itself, with the words for the user
    // (the caller tells them before its own message).
    const FileResult &lastFileResult() const { return m_lastFile; }
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
    static QString BuildStoreCommand(const QString &code, const ProgramRecord &program);
    // The numbers of a "U.512" answer; nullopt when it lists more than kSlots numbers.
    static std::optional<QStringList> ParseListReply(const QString &reply);
    // A "U.513" answer into a record.
    static bool ParseProgramReply(const QString &reply, ProgramRecord &record);
    static QString BuildProgramText(const ProgramRecord &program);
    // A program file's text into the record; fields filled before a failed check stay filled.
    static bool ParseProgramText(const QString &text, ProgramRecord &program);

private:
    bool Transfer(const QString &command, QString &reply);
    bool ReadProgram(const QString &strProgNum, ProgramRecord &record);
    std::optional<ProgramRecord> tableEntry(const QString &strProgNum) const;
    void changed(const MeterChange &change) const;
    bool StoreAndReadBack(const QString &code, const ProgramRecord &program, ProgramRecord &record,
                          bool confirmed);
    bool RequestList(QString &reply);
    void ClearTable();
    QString FilePath(const QString &strFileName) const;
    // A program file of the working folder into the record; a failure's words, where there are any,
    // are left to the caller.
    FileResult ReadProgramFile(ProgramRecord &program, const QString &strFileName) const;

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
    std::function<void(const MeterChange &)> m_changed;
    LinkResult m_linkResult;
    mutable FileResult m_lastFile;
};
