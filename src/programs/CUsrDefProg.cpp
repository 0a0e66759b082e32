#include "CUsrDefProg.h"

#include "CCalibration.h"
#include "CCommunication.h"
#include "CConfig.h"
#include "CCSVFile.h"
#include "CDevice.h"
#include "Cp1252.h"
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "FileNames.h"
#include "LineEnd.h"
#include "ProgramChoices.h"
#include "Protocol.h"
#include "TextSplit.h"
#include "TextTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace {

const QString kHeader15 =
    QStringLiteral("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ");
const QString kHeader12 = QStringLiteral("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER");
const QString kPairsLine = QStringLiteral("PAIRS_OF_VARIATES");

bool endsWithAnswerOK(const QString &reply)
{
    return reply.right(CCommunication::kLenAnswerEnd) == CCommunication::answerOK();
}

// Moves a file to the desktop trash; false (reported) when it could not go there.
bool moveToTrash(const QString &path)
{
    // Qt 6.4 on Linux: when no trash folder can be set up, the file is moved into "files" under the
    // current directory (with its note in "info") and success is reported. Put it back and fail.
    QDir current = QDir::current();
    const bool hadFiles = current.exists(QStringLiteral("files"));
    const bool hadInfo = current.exists(QStringLiteral("info"));
    QString where;
    bool ok = QFile::moveToTrash(path, &where);
    if (ok && QFileInfo(where).isRelative()) {
        const QString misplaced = current.absoluteFilePath(where);
        QFile::rename(misplaced, path);
        current.remove(QStringLiteral("info/") + QFileInfo(misplaced).fileName() +
                       QStringLiteral(".trashinfo"));
        if (!hadFiles)
            current.rmdir(QStringLiteral("files"));
        if (!hadInfo)
            current.rmdir(QStringLiteral("info"));
        ok = false;
    }
    if (!ok)
        ErrorFrame::report(TextTable::text(TextTable::TrashFailed).arg(QDir::toNativeSeparators(path)));
    return ok;
}

} // namespace

CUsrDefProg::CUsrDefProg(CSerialLink *link, CCommunication &communication, const CDevice &device,
                         CConfig &config, const CCalibration &calibration)
    : m_link(link), m_communication(communication), m_device(device), m_config(config),
      m_calibration(calibration)
{
    ClearTable();
}

void CUsrDefProg::ClearTable()
{
    m_table.fill(ProgramRecord());
    m_count = 0;
}

// ---- meter side -------------------------------------------------------------------------------

bool CUsrDefProg::Transfer(const QString &cmd, QString &reply)
{
    // Taken before the wait: a command refused inside it leaves its own result, not this one's.
    const LinkResult before = m_linkResult;
    const bool ok = m_communication.Exchange(Protocol::line(cmd), reply);
    m_linkResult = before.then(m_communication.lastResult());
    return ok;
}

bool CUsrDefProg::RequestList(QString &reply)
{
    reply.clear();
    if (!m_link)
        return false;
    const LinkResult before = m_linkResult;
    // A rejected list is a failure, not a meter without programs; two lists run together are no list.
    const bool ok = m_communication.ReadListing(*m_link, Protocol::ListPrograms, 4, reply);
    m_linkResult = before.then(m_communication.lastResult());
    return ok;
}

std::optional<QStringList> CUsrDefProg::ParseListReply(const QString &reply)
{
    QStringList numbers;
    QString rest = reply;
    while (rest.size() >= 2) {
        rest.remove(0, 2);
        if (!endsWithAnswerOK(rest))
            break;
        const qsizetype end = rest.indexOf(kCrLf);
        if (end < 0)
            break;
        if (numbers.size() >= kSlots)
            return std::nullopt;
        numbers.append(rest.left(end));
        rest.remove(0, end);
    }
    return numbers;
}

bool CUsrDefProg::ParseProgramReply(const QString &reply, ProgramRecord &record)
{
    // One accepted answer of one line.
    if (reply.size() < 8 || !CCommunication::IsAccepted(reply))
        return false;
    const QString payload = reply.mid(2, reply.size() - 8);
    if (!CCommunication::IsOneLine(payload))
        return false;
    // The read answer is the store command's order with a "0" after MRE.
    QStringList f = payload.split(u';');
    if (f.size() < 15)
        return false;
    if (f[6] != QStringLiteral("0"))
        return false;
    f.removeAt(6);
    f.resize(14);
    f[0] = f[0].right(3);
    f[13] = f[13].startsWith(u'1') ? QStringLiteral("1") : QStringLiteral("0");
    record = ProgramRecord::fromMeter(f);
    return true;
}

QString CUsrDefProg::BuildStoreCommand(const QString &code, const ProgramRecord &program)
{
    return code + program.toMeter().join(u',');
}

bool CUsrDefProg::ReadProgram(const QString &strProgNum, ProgramRecord &record)
{
    QString reply;
    if (!Transfer(Protocol::ReadProgram + strProgNum, reply))
        return false;
    record = ProgramRecord();
    return ParseProgramReply(reply, record);
}

bool CUsrDefProg::Update()
{
    m_linkResult = {};
    m_updateRunning = true;
    if (!m_device.Online()) {
        ClearTable();
        return true;
    }
    QString reply;
    if (!RequestList(reply)) {
        ClearTable();
        return false;
    }
    const std::optional<QStringList> numbers = ParseListReply(reply);
    if (!numbers) {
        m_linkResult = m_linkResult.then(
            {LinkFailure::TooLong, TextTable::text(TextTable::ProgramListTooLong).arg(kSlots), {}});
        ClearTable();
        return false;
    }
    // Slots beyond the new count keep what they held; only the count makes them invalid.
    m_count = 0;
    for (const QString &number : *numbers) {
        m_table[size_t(m_count)].NO = number;
        ++m_count;
        QCoreApplication::processEvents();
    }
    for (int i = 0; i < m_count && m_updateRunning; ++i) {
        ProgramRecord record;
        if (!ReadProgram(m_table[size_t(i)].NO, record)) {
            ClearTable();
            return false;
        }
        m_table[size_t(i)] = record;
    }
    return true;
}

bool CUsrDefProg::StopUpdate()
{
    m_updateRunning = false;
    return true;
}

bool CUsrDefProg::ListMeter(QStringList &strProgList, qint16 &intNumProgs) const
{
    if (strProgList.size() < m_count)
        return false;
    intNumProgs = m_count;
    for (int i = 0; i < m_count; ++i)
        strProgList[i] = m_table[size_t(i)].NO;
    return true;
}

bool CUsrDefProg::AlreadyExistsMeter(const QString &strProgNum) const
{
    for (int i = 0; i < m_count; ++i)
        if (m_table[size_t(i)].NO == strProgNum)
            return true;
    return false;
}

bool CUsrDefProg::GetFreeProgNumMeter(QString &strProgNum) const
{
    strProgNum.clear();
    const int last = m_device.HasReducedUserMethods(QString()) ? kLastProgNumReduced : kLastProgNum;
    for (int number = kFirstProgNum; number <= last; ++number) {
        const QString text = QString::number(number);
        if (!AlreadyExistsMeter(text)) {
            strProgNum = text;
            return true;
        }
    }
    return false;
}

bool CUsrDefProg::StoreAndReadBack(const QString &code, const ProgramRecord &program, ProgramRecord &record,
                                   bool confirmed)
{
    m_linkResult = {};
    // Callers check first and tell the user; a program that still fails is a fault of the caller.
    const QString problem = CheckProgram(program, confirmed);
    if (!problem.isEmpty()) {
        ErrorFrame::report(problem);
        return false;
    }
    QString reply;
    if (!Transfer(BuildStoreCommand(code, program), reply))
        return false;
    if (reply != CCommunication::answerOK())
        return false;
    MeterChange change;
    change.kind = code == Protocol::ModifyProgram ? MeterChange::Kind::Modified : MeterChange::Kind::Stored;
    change.number = program.NO;
    change.before = tableEntry(program.NO);
    change.readBack = ReadProgram(program.NO, record);
    change.after = change.readBack ? record : program;
    changed(change);
    return change.readBack;
}

std::optional<ProgramRecord> CUsrDefProg::tableEntry(const QString &strProgNum) const
{
    for (int i = 0; i < m_count; ++i)
        if (m_table[size_t(i)].NO == strProgNum)
            return m_table[size_t(i)];
    return std::nullopt;
}

void CUsrDefProg::changed(const MeterChange &change) const
{
    if (m_changed)
        m_changed(change);
}

bool CUsrDefProg::AddNew(const ProgramRecord &program, bool confirmed)
{
    ProgramRecord record;
    if (!StoreAndReadBack(Protocol::StoreProgram, program, record, confirmed))
        return false;
    if (m_count >= kSlots)
        return false;
    int i = 0;
    while (i < m_count && m_table[size_t(i)].NO < record.NO)
        ++i;
    if (i < m_count && m_table[size_t(i)].NO == record.NO)
        return false;
    for (int j = m_count; j > i; --j)
        m_table[size_t(j)] = m_table[size_t(j - 1)];
    m_table[size_t(i)] = record;
    ++m_count;
    return true;
}

bool CUsrDefProg::Modify(const ProgramRecord &program, bool confirmed)
{
    ProgramRecord record;
    if (!StoreAndReadBack(Protocol::ModifyProgram, program, record, confirmed))
        return false;
    for (int i = 0; i < m_count; ++i) {
        if (m_table[size_t(i)].NO == record.NO) {
            m_table[size_t(i)] = record;
            return true;
        }
    }
    return false;
}

bool CUsrDefProg::GetProgramMeter(ProgramRecord &program, const QString &strProgNum) const
{
    program = ProgramRecord();
    for (int i = 0; i < m_count; ++i) {
        if (m_table[size_t(i)].NO != strProgNum)
            continue;
        program = m_table[size_t(i)];
        program.USER = QStringLiteral("---");
        return true;
    }
    return false;
}

CUsrDefProg::StoreResult
CUsrDefProg::storeOrModify(const ProgramRecord &program,
                           const std::function<ExistingProgram(const QString &number)> &askExisting,
                           const std::function<void(bool)> &transferring, bool confirmed)
{
    m_linkResult = {};
    const auto transfer = [&transferring](const std::function<bool()> &step) {
        if (transferring)
            transferring(true);
        const bool ok = step();
        if (transferring)
            transferring(false);
        return ok;
    };
    if (AlreadyExistsMeter(program.NO)) {
        switch (askExisting(program.NO)) {
        case ExistingProgram::Cancel:
            return StoreResult::Cancelled;
        case ExistingProgram::Keep:
            return StoreResult::Kept;
        case ExistingProgram::Modify:
            break;
        }
        return transfer([&] { return Modify(program, confirmed); }) ? StoreResult::Modified
                                                                    : StoreResult::ModifyFailed;
    }
    // A full meter takes no further program; nothing is sent.
    if (m_count >= kSlots)
        return StoreResult::NoFreeSlot;
    return transfer([&] { return AddNew(program, confirmed); }) ? StoreResult::Added : StoreResult::AddFailed;
}

bool CUsrDefProg::Delete(const QString &strProgNum)
{
    m_linkResult = {};
    QString reply;
    if (!Transfer(Protocol::DeleteProgram + strProgNum, reply))
        return false;
    MeterChange change;
    change.kind = MeterChange::Kind::Erased;
    change.number = strProgNum;
    change.before = tableEntry(strProgNum);
    changed(change);
    int found = -1;
    for (int i = 0; i < m_count && found < 0; ++i)
        if (m_table[size_t(i)].NO == strProgNum)
            found = i;
    if (found < 0)
        return false;
    for (int i = found; i < m_count - 1; ++i)
        m_table[size_t(i)] = m_table[size_t(i) + 1];
    m_table[size_t(m_count - 1)] = ProgramRecord();
    qint16 leading = 0;
    while (leading < kSlots && m_table[size_t(leading)].NO != QStringLiteral("0"))
        ++leading;
    m_count = leading;
    return true;
}

bool CUsrDefProg::DeleteAll()
{
    m_linkResult = {};
    QString reply;
    if (!Transfer(Protocol::DeleteAllPrograms, reply))
        return false;
    MeterChange change;
    change.kind = MeterChange::Kind::ErasedAll;
    for (int i = 0; i < m_count; ++i)
        change.erased.append(m_table[size_t(i)]);
    changed(change);
    ClearTable();
    return true;
}

// ---- what may be sent --------------------------------------------------------------------------

namespace {

enum class FieldKind { ProgNum, Text, TextNoBlank, Choice, Number };

struct FieldRule {
    QString ProgramRecord::*field;
    int label; // the editor's label of the field: messages name what the user sees, not the code
    FieldKind kind;
    int maxLength;
    QStringList (*choices)();
};

QStringList flagChoices()
{
    return {QStringLiteral("0"), QStringLiteral("1")};
}

// The fields the meter receives, in the order of the store command, with the editor's limits: its
// maximum lengths, its lists, and its key filters (no "," or ";" anywhere, no blank in FORM and UNIT).
const FieldRule kFieldRules[14] = {
    {&ProgramRecord::NO, TextTable::ProgramNumberLabel, FieldKind::ProgNum, CUsrDefProg::kProgNumLength,
     nullptr},
    {&ProgramRecord::MODEL, TextTable::ModelLabel, FieldKind::Text, CUsrDefProg::kModelLength, nullptr},
    {&ProgramRecord::CUV, TextTable::CellLabel, FieldKind::Choice, 0, &ProgramChoices::cuvettes},
    {&ProgramRecord::LAMBDA, TextTable::WaveLengthLabel, FieldKind::Choice, 0, &ProgramChoices::lambdas},
    {&ProgramRecord::MRB, TextTable::MrbLabel, FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {&ProgramRecord::MRE, TextTable::MreLabel, FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {&ProgramRecord::E0, TextTable::A0Label, FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {&ProgramRecord::SLOPE, TextTable::SlopeLabel, FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {&ProgramRecord::RES, TextTable::ResolutionLabel, FieldKind::Choice, 0, &ProgramChoices::resolutions},
    {&ProgramRecord::FORM, TextTable::CitationFormLabel, FieldKind::TextNoBlank, CUsrDefProg::kFormLength,
     nullptr},
    {&ProgramRecord::UNIT, TextTable::UnitLabel, FieldKind::TextNoBlank, CUsrDefProg::kUnitLength, nullptr},
    {&ProgramRecord::BLANKREQ, TextTable::BlankRequiredLabel, FieldKind::Choice, 0, &flagChoices},
    {&ProgramRecord::CALPSB, TextTable::StdAdjustPossibleLabel, FieldKind::Choice, 0, &flagChoices},
    {&ProgramRecord::CALREQ, TextTable::StdAdjustRequiredLabel, FieldKind::Choice, 0, &flagChoices},
};

// "Cell [mm]:" as the name "Cell [mm]" inside a sentence.
QString fieldName(int label)
{
    QString name = TextTable::text(label);
    while (!name.isEmpty() && (name.back() == u':' || name.back().isSpace()))
        name.chop(1);
    return name;
}

// The first character of a text field the meter's line cannot carry as a value, if any.
std::optional<QChar> forbiddenCharacter(const QString &value, bool blanks)
{
    for (QChar c : value) {
        const char16_t code = c.unicode();
        const bool control = code < 0x20 || (code >= 0x7f && code < 0xa0);
        if (control || c == u',' || c == u';' || (!blanks && c == u' '))
            return c;
        bool lossless = true;
        Cp1252::encode(QString(c), &lossless);
        if (!lossless)
            return c;
    }
    return std::nullopt;
}

QString describeCharacter(QChar c)
{
    if (c.isPrint() && c != u' ')
        return u'"' + QString(c) + u'"';
    return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}

// A value the editor's lists do not offer: the meter itself may hold it (a program read from it).
bool isListDoubt(const FieldRule &rule, const QString &value)
{
    return rule.kind == FieldKind::Choice && rule.choices != &flagChoices && !value.isEmpty() &&
           !rule.choices().contains(value);
}

QString checkField(const FieldRule &rule, const QString &value)
{
    const QString key = fieldName(rule.label);
    if (value.isEmpty())
        return TextTable::text(TextTable::ProgramFieldEmpty).arg(key);
    switch (rule.kind) {
    case FieldKind::ProgNum:
        if (!CUsrDefProg::IsProgramNumber(value))
            return TextTable::text(TextTable::ProgramFieldProgNum)
                .arg(key)
                .arg(CUsrDefProg::kFirstProgNum)
                .arg(CUsrDefProg::kLastProgNum);
        return QString();
    case FieldKind::Choice: {
        const QStringList choices = rule.choices();
        if (!choices.contains(value))
            return TextTable::text(TextTable::ProgramFieldChoice)
                .arg(key, choices.join(QStringLiteral(", ")));
        return QString();
    }
    default:
        break;
    }
    if (value.size() > rule.maxLength)
        return TextTable::text(TextTable::ProgramFieldTooLong).arg(key).arg(value.size()).arg(rule.maxLength);
    if (rule.kind == FieldKind::Number) {
        // Sent as it stands, so nothing but the number itself: no blanks, no group separators.
        double number = 0;
        for (QChar c : value)
            if ((c < u'0' || c > u'9') && !QStringLiteral("+-.eE").contains(c))
                return TextTable::text(TextTable::ProgramFieldNumber).arg(key);
        if (!CUsrDefProg::ReadNumber(value, number))
            return TextTable::text(TextTable::ProgramFieldNumber).arg(key);
        return QString();
    }
    if (const std::optional<QChar> bad = forbiddenCharacter(value, rule.kind == FieldKind::Text))
        return TextTable::text(TextTable::ProgramFieldCharacter).arg(key, describeCharacter(*bad));
    return QString();
}

} // namespace

bool CUsrDefProg::IsProgramNumber(const QString &text)
{
    if (text.size() != kProgNumLength)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    const int number = text.toInt();
    return number >= kFirstProgNum && number <= kLastProgNum;
}

bool CUsrDefProg::ReadNumber(const QString &text, double &value)
{
    bool ok = false;
    value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value);
}

CUsrDefProg::ProgramCheck CUsrDefProg::CheckProgramFields(const ProgramRecord &program) const
{
    ProgramCheck check;
    for (const FieldRule &rule : kFieldRules) {
        const QString &value = program.*rule.field;
        const QString problem = checkField(rule, value);
        if (!problem.isEmpty())
            (isListDoubt(rule, value) ? check.doubts : check.refusals).append(problem);
    }
    const QString *rangeTexts[4] = {&program.MRB, &program.MRE, &program.E0, &program.SLOPE};
    double range[4] = {};
    bool numbers = true;
    for (int k = 0; k < 4; ++k)
        numbers = ReadNumber(*rangeTexts[k], range[k]) && numbers;
    if (numbers &&
        !m_calibration.CheckMeasRange(float(range[0]), float(range[1]), float(range[2]), float(range[3])))
        check.doubts.append(TextTable::text(TextTable::MeasuringRangeExceeded) + kCrLf +
                            TextTable::text(TextTable::CheckRangeAndSlope));
    return check;
}

QString CUsrDefProg::CheckProgram(const ProgramRecord &program, bool confirmed) const
{
    const ProgramCheck check = CheckProgramFields(program);
    if (check.refusals.isEmpty() && (confirmed || check.doubts.isEmpty()))
        return QString();
    return (check.refusals + check.doubts).join(kCrLf);
}

bool CUsrDefProg::MeterKeepsPrograms() const
{
    return m_device.keepsPrograms(QString());
}

// ---- PC side ----------------------------------------------------------------------------------

QString CUsrDefProg::WorkDir() const
{
    if (!m_workDir)
        m_workDir = m_config.WorkDir();
    return *m_workDir;
}

void CUsrDefProg::setWorkDir(const QString &strWorkDir)
{
    m_config.setWorkDir(strWorkDir);
    // Hold what the settings object accepted, not what was asked for.
    m_workDir = m_config.WorkDir();
}

QString CUsrDefProg::takeCreatedWorkDir()
{
    return m_config.takeCreatedWorkDir();
}

QString CUsrDefProg::FilePath(const QString &strFileName) const
{
    return WorkDir() + QDir::separator() + strFileName;
}

QString CUsrDefProg::BuildProgramText(const ProgramRecord &program)
{
    QStringList pairs;
    for (int k = 0; k < ProgramRecord::kPairs; ++k)
        pairs.append(program.valX[size_t(k)] + u';' + program.valY[size_t(k)]);
    return kHeader15 + kCrLf + program.toFile().join(u';') + kCrLf + kPairsLine + kCrLf + pairs.join(kCrLf);
}

bool CUsrDefProg::ParseProgramText(const QString &text, ProgramRecord &program)
{
    const QStringList parts = TextSplit::split(text, kCrLf, 4);
    if (parts.size() != 4)
        return false;
    const bool full = parts[0] == kHeader15;
    if (!full && parts[0] != kHeader12)
        return false;
    if (parts[2] != kPairsLine)
        return false;
    const QStringList values = TextSplit::split(parts[1], QStringLiteral(";"), 15);
    if (values.size() != (full ? 15 : 12))
        return false;
    if (!program.setFromFile(values))
        return false;
    // The tenth pair keeps whatever follows it (the splits are limited).
    const QStringList pairLines = TextSplit::split(parts[3], kCrLf, 10);
    if (pairLines.size() != 10)
        return false;
    for (int k = 0; k < ProgramRecord::kPairs; ++k) {
        const QStringList pair = TextSplit::split(pairLines[k], QStringLiteral(";"), 2);
        if (pair.size() != 2)
            return false;
        program.valX[size_t(k)] = pair[0];
        program.valY[size_t(k)] = pair[1];
    }
    return true;
}

bool CUsrDefProg::SaveToFile(const ProgramRecord &program, const QString &strFilePath) const
{
    // A value that would shift the layout is refused: what is saved must read back.
    m_lastFile = CCSVFile::CheckFields(program.texts(), TextTable::FieldBreaksProgramFile);
    if (m_lastFile.ok())
        m_lastFile = CCSVFile().Write(strFilePath, BuildProgramText(program));
    return m_lastFile.ok();
}

bool CUsrDefProg::ReadFromFile(ProgramRecord &program, const QString &strFileName) const
{
    m_lastFile = ReadProgramFile(program, strFileName);
    return m_lastFile.ok();
}

FileResult CUsrDefProg::ReadProgramFile(ProgramRecord &program, const QString &strFileName) const
{
    const QString path = FilePath(strFileName);
    if (!QFileInfo(path).isFile())
        return {FileResult::Failure::Unreadable, {}};
    QString text;
    if (FileResult read = CCSVFile().Read(text, path); !read.ok())
        return read;
    if (!ParseProgramText(text, program))
        return {FileResult::Failure::Unreadable, {}};
    return {};
}

bool CUsrDefProg::ListPC(QStringList &strProgNumList, QStringList &strFileNameList, qint16 &intNumProgs) const
{
    intNumProgs = 0;
    for (QString &entry : strProgNumList)
        entry.clear();
    for (QString &entry : strFileNameList)
        entry.clear();
    if (strProgNumList.size() < kListSize || strFileNameList.size() < kListSize)
        return false;
    const QString dir = WorkDir();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return false;
    ProgramRecord program;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext() && intNumProgs < kListSize) {
        it.next();
        const QString name = it.fileName();
        if (name.right(4) != QStringLiteral(".csv"))
            continue;
        // Files that are not readable program files are skipped without a word (the console lists often).
        if (!ReadProgramFile(program, name).ok())
            continue;
        strProgNumList[intNumProgs] = program.NO;
        strFileNameList[intNumProgs] = name;
        ++intNumProgs;
    }
    return true;
}

QString CUsrDefProg::ProposedFilePath(const QString &strProgNum) const
{
    const QString name = QStringLiteral("PROG ") + FileNames::safePart(strProgNum) + QStringLiteral(".csv");
    const QString dir = WorkDir();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        return name;
    if (dir.endsWith(QDir::separator()) || dir.endsWith(u'/'))
        return dir + name;
    return dir + QDir::separator() + name;
}

bool CUsrDefProg::DeleteFile(const QString &strFileName) const
{
    const QString path = FilePath(strFileName);
    if (!QFileInfo(path).isFile())
        return false;
    return moveToTrash(path);
}

bool CUsrDefProg::DeleteFileAll() const
{
    QStringList numbers(kListSize);
    QStringList names(kListSize);
    qint16 count = 0;
    if (!ListPC(numbers, names, count))
        return false;
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(FilePath(names[i]));
    // Nothing goes when a listed file has vanished meanwhile.
    for (const QString &path : paths)
        if (!QFileInfo(path).isFile())
            return false;
    bool all = true;
    for (const QString &path : paths)
        all = moveToTrash(path) && all;
    return all;
}
