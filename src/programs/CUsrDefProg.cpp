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
#include "ProgramChoices.h"
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

const QString kCrLf = QStringLiteral("\r\n");
const QString kHeader15 =
    QStringLiteral("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER;BLANKREQ;CALPSB;CALREQ");
const QString kHeader12 = QStringLiteral("NO;MODEL;CUV;LAMBDA;MRB;MRE;E0;SLOPE;RES;FORM;UNIT;USER");
const QString kPairsLine = QStringLiteral("PAIRS_OF_VARIATES");

// The program array indexes the meter receives, in the order of the store command.
constexpr int kMeterIndexes[14] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 32, 33, 34};

QString command(const QString &text)
{
    return text + kCrLf;
}

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
    return m_communication.Exchange(command(cmd), reply);
}

bool CUsrDefProg::RequestList(QString &reply)
{
    reply.clear();
    CSerialLink *link = m_link;
    if (!link)
        return false;
    const CCommunication &comm = m_communication;
    if (!link->BeginExchange(comm.COMPort(), comm.Baudrate()))
        return false;
    if (!link->COMSendAndReceive(command(QStringLiteral("U.512")), reply)) {
        // Also after a stop: the meter gets its closing command before the line is let go.
        link->COMContinue();
        QString answer;
        link->COMSendAndReceive(command(QStringLiteral("U.999")), answer);
        link->COMDeinit();
        return false;
    }
    link->COMDeinit();
    // A rejected list is a failure, not a meter without programs; two lists run together are no list.
    return CCommunication::IsAccepted(reply);
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
    const QStringList f = payload.split(u';');
    if (f.size() < 15)
        return false;
    if (f[6] != QStringLiteral("0"))
        return false;
    record.NO = f[0].right(3);
    record.MODEL = f[1];
    record.CUV = f[2];
    record.LAMBDA = f[3];
    record.MRB = f[4];
    record.MRE = f[5];
    record.E0 = f[7];
    record.SLOPE = f[8];
    record.RES = f[9];
    record.FORM = f[10];
    record.UNIT = f[11];
    record.BLANKREQ = f[12];
    record.CALPSB = f[13];
    record.CALREQ = f[14].startsWith(u'1') ? QStringLiteral("1") : QStringLiteral("0");
    return true;
}

QString CUsrDefProg::BuildStoreCommand(const QString &code, const QStringList &strProgram)
{
    QStringList values;
    for (int index : kMeterIndexes)
        values.append(strProgram.value(index));
    return code + values.join(u',');
}

bool CUsrDefProg::ReadProgram(const QString &strProgNum, ProgramRecord &record)
{
    QString reply;
    if (!Transfer(QStringLiteral("U.513#1,") + strProgNum, reply))
        return false;
    record = ProgramRecord();
    return ParseProgramReply(reply, record);
}

bool CUsrDefProg::Update()
{
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
        ErrorFrame::report(TextTable::text(TextTable::ProgramListTooLong).arg(kSlots));
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

bool CUsrDefProg::StoreAndReadBack(const QString &code, const QStringList &strProgram, ProgramRecord &record)
{
    // Callers check first and tell the user; a program that still fails is a fault of the caller.
    const QString problem = CheckProgram(strProgram);
    if (!problem.isEmpty()) {
        ErrorFrame::report(problem);
        return false;
    }
    QString reply;
    if (!Transfer(BuildStoreCommand(code, strProgram), reply))
        return false;
    if (reply != CCommunication::answerOK())
        return false;
    return ReadProgram(strProgram[0], record);
}

bool CUsrDefProg::AddNew(const QStringList &strProgram)
{
    if (strProgram.size() < kProgramArraySize)
        return false;
    ProgramRecord record;
    if (!StoreAndReadBack(QStringLiteral("U.500#14,"), strProgram, record))
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

bool CUsrDefProg::Modify(const QStringList &strProgram)
{
    if (strProgram.size() < kProgramArraySize)
        return false;
    ProgramRecord record;
    if (!StoreAndReadBack(QStringLiteral("U.502#14,"), strProgram, record))
        return false;
    for (int i = 0; i < m_count; ++i) {
        if (m_table[size_t(i)].NO == record.NO) {
            m_table[size_t(i)] = record;
            return true;
        }
    }
    return false;
}

bool CUsrDefProg::GetProgramMeter(QStringList &strProgram, const QString &strProgNum) const
{
    if (strProgram.size() < kProgramArraySize)
        return false;
    for (int k = 0; k < kProgramArraySize; ++k)
        strProgram[k].clear();
    for (int i = 0; i < m_count; ++i) {
        const ProgramRecord &r = m_table[size_t(i)];
        if (r.NO != strProgNum)
            continue;
        const QString values[11] = {r.NO, r.MODEL, r.CUV, r.LAMBDA, r.MRB, r.MRE,
                                    r.E0, r.SLOPE, r.RES, r.FORM,   r.UNIT};
        for (int k = 0; k < 11; ++k)
            strProgram[k] = values[k];
        strProgram[11] = QStringLiteral("---");
        strProgram[32] = r.BLANKREQ;
        strProgram[33] = r.CALPSB;
        strProgram[34] = r.CALREQ;
        return true;
    }
    return false;
}

bool CUsrDefProg::Delete(const QString &strProgNum)
{
    QString reply;
    if (!Transfer(QStringLiteral("U.521#1,") + strProgNum, reply))
        return false;
    int found = -1;
    for (int i = 0; i < m_count && found < 0; ++i)
        if (m_table[size_t(i)].NO == strProgNum)
            found = i;
    if (found < 0)
        return false;
    for (int i = found; i < m_count - 1; ++i)
        m_table[size_t(i)] = m_table[size_t(i + 1)];
    m_table[size_t(m_count - 1)] = ProgramRecord();
    qint16 leading = 0;
    while (leading < kSlots && m_table[size_t(leading)].NO != QStringLiteral("0"))
        ++leading;
    m_count = leading;
    return true;
}

bool CUsrDefProg::DeleteAll()
{
    QString reply;
    if (!Transfer(QStringLiteral("U.520"), reply))
        return false;
    ClearTable();
    return true;
}

// ---- what may be sent --------------------------------------------------------------------------

namespace {

enum class FieldKind { ProgNum, Text, TextNoBlank, Choice, Number };

struct FieldRule {
    int index; // in the program array
    const char *key;
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
    {0, "NO", FieldKind::ProgNum, CUsrDefProg::kProgNumLength, nullptr},
    {1, "MODEL", FieldKind::Text, CUsrDefProg::kModelLength, nullptr},
    {2, "CUV", FieldKind::Choice, 0, &ProgramChoices::cuvettes},
    {3, "LAMBDA", FieldKind::Choice, 0, &ProgramChoices::lambdas},
    {4, "MRB", FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {5, "MRE", FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {6, "E0", FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {7, "SLOPE", FieldKind::Number, CUsrDefProg::kNumberLength, nullptr},
    {8, "RES", FieldKind::Choice, 0, &ProgramChoices::resolutions},
    {9, "FORM", FieldKind::TextNoBlank, CUsrDefProg::kFormLength, nullptr},
    {10, "UNIT", FieldKind::TextNoBlank, CUsrDefProg::kUnitLength, nullptr},
    {32, "BLANKREQ", FieldKind::Choice, 0, &flagChoices},
    {33, "CALPSB", FieldKind::Choice, 0, &flagChoices},
    {34, "CALREQ", FieldKind::Choice, 0, &flagChoices},
};

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

QString checkField(const FieldRule &rule, const QString &value)
{
    const QString key = QString::fromLatin1(rule.key);
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

QString CUsrDefProg::CheckProgram(const QStringList &strProgram) const
{
    for (const FieldRule &rule : kFieldRules) {
        const QString problem = checkField(rule, strProgram.value(rule.index));
        if (!problem.isEmpty())
            return problem;
    }
    double range[4] = {};
    for (int k = 0; k < 4; ++k)
        ReadNumber(strProgram.value(4 + k), range[k]);
    if (!m_calibration.CheckMeasRange(float(range[0]), float(range[1]), float(range[2]), float(range[3])))
        return TextTable::text(1212) + kCrLf + TextTable::text(1213);
    return QString();
}

bool CUsrDefProg::MeterKeepsPrograms() const
{
    const CDevice &device = m_device;
    return !device.IsKlaro4(QString()) && !device.IsKlaro7(QString());
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

QString CUsrDefProg::FilePath(const QString &strFileName) const
{
    return WorkDir() + QDir::separator() + strFileName;
}

QString CUsrDefProg::BuildProgramText(const QStringList &strProgram)
{
    QStringList values;
    for (int k = 0; k <= 11; ++k)
        values.append(strProgram.value(k));
    for (int k = 32; k <= 34; ++k)
        values.append(strProgram.value(k));
    QStringList pairs;
    for (int k = 0; k < 10; ++k)
        pairs.append(strProgram.value(12 + 2 * k) + u';' + strProgram.value(13 + 2 * k));
    return kHeader15 + kCrLf + values.join(u';') + kCrLf + kPairsLine + kCrLf + pairs.join(kCrLf);
}

bool CUsrDefProg::ParseProgramText(const QString &text, QStringList &strProgram)
{
    if (strProgram.size() < kProgramArraySize)
        return false;
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
    for (int k = 0; k <= 11; ++k)
        strProgram[k] = values[k];
    for (int k = 0; k < 3; ++k)
        strProgram[32 + k] = full ? values[12 + k] : QStringLiteral("0");
    // The tenth pair keeps whatever follows it (the splits are limited).
    const QStringList pairLines = TextSplit::split(parts[3], kCrLf, 10);
    if (pairLines.size() != 10)
        return false;
    for (int k = 0; k < 10; ++k) {
        const QStringList pair = TextSplit::split(pairLines[k], QStringLiteral(";"), 2);
        if (pair.size() != 2)
            return false;
        strProgram[12 + 2 * k] = pair[0];
        strProgram[13 + 2 * k] = pair[1];
    }
    return true;
}

bool CUsrDefProg::SaveToFile(const QStringList &strProgram, const QString &strFilePath) const
{
    if (strProgram.size() < kProgramArraySize)
        return false;
    // A value that would shift the layout is refused: what is saved must read back.
    if (!CCSVFile::FieldsFit(strProgram.mid(0, kProgramArraySize), TextTable::FieldBreaksProgramFile))
        return false;
    return CCSVFile().WriteFile(strFilePath, BuildProgramText(strProgram));
}

bool CUsrDefProg::ReadFromFile(QStringList &strProgram, const QString &strFileName) const
{
    if (strProgram.size() < kProgramArraySize)
        return false;
    const QString path = FilePath(strFileName);
    if (!QFileInfo(path).isFile())
        return false;
    QString text;
    if (!CCSVFile().ReadFile(text, path))
        return false;
    return ParseProgramText(text, strProgram);
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
    // Files that are not readable program files are skipped without a word (the console lists often).
    ErrorFrame::ScopedHandler quiet([](const QString &) {});
    QStringList program(kProgramArraySize);
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext() && intNumProgs < kListSize) {
        it.next();
        const QString name = it.fileName();
        if (name.right(4) != QStringLiteral(".csv"))
            continue;
        if (!ReadFromFile(program, name))
            continue;
        strProgNumList[intNumProgs] = program[0];
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
