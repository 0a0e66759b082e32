#include "CImportMVal.h"

#include "CCommunication.h"
#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "Protocol.h"
#include "RecordWalk.h"
#include "TextTable.h"

#include <QVarLengthArray>

#include <exception>

bool CImportMVal::GetMVals(QString &strMVals)
{
    try {
        return ReadDatasets(strMVals);
    } catch (const std::exception &e) {
        ErrorFrame::report(QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool CImportMVal::ReadDatasets(QString &strMVals)
{
    strMVals.clear();
    CSerialLink &link = *m_link;
    const CCommunication &comm = m_communication;
    if (!link.BeginExchange(comm.COMPort(), comm.Baudrate()))
        return false;
    QString answer;
    // Many datasets at a low baud rate take minutes.
    link.COMChangeAnswerTime(600);
    // A rejected answer holds no datasets, and two answers run together would be taken for one
    // document: either is an import failure, not an empty meter.
    if (link.COMSendAndReceive(Protocol::line(Protocol::ReadDatasets), strMVals) &&
        CCommunication::IsAccepted(strMVals)) {
        link.COMDeinit();
        return true;
    }
    strMVals.clear();
    // "Import error!" alone leaves the user waiting twenty minutes for nothing to learn.
    if (const qint64 waited = link.timedOutSeconds(); waited > 0)
        ErrorFrame::report(TextTable::text(TextTable::ImportTimedOut).arg(waited));
    // The meter may still be sending: tell it to stop, whatever it answers.
    link.COMContinue();
    link.COMChangeAnswerTime(4);
    link.COMSendAndReceive(Protocol::line(Protocol::EndTransfer), answer);
    link.COMDeinit();
    return false;
}

bool CImportMVal::ExtractNextRecSet(QStringList &strMValRecSet, QString &strMVals, qint16 intNum)
{
    if (intNum < 0 || strMValRecSet.size() < intNum)
        return false;
    QVarLengthArray<QStringView, RecordWalk::kMaxFields> fields(intNum);
    QStringView rest(strMVals);
    if (!RecordWalk::extract(rest, fields.data(), intNum))
        return false;
    for (int d = 0; d < intNum; ++d)
        strMValRecSet[d] = fields[d].toString();
    strMVals.remove(0, strMVals.size() - rest.size());
    return true;
}
