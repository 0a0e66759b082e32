#include "CCommunication.h"

#include "CSerialLink.h"
#include "ErrorFrame.h"
#include "Protocol.h"
#include "TextTable.h"

const QString &CCommunication::answerOK()
{
    static const QString marker = QStringLiteral("\r\n!\r\n>");
    return marker;
}

const QString &CCommunication::answerError()
{
    static const QString marker = QStringLiteral("\r\n?\r\n>");
    return marker;
}

bool CCommunication::IsAccepted(const QString &answer)
{
    if (!answer.endsWith(answerOK()))
        return false;
    // A marker that ends inside the last six characters would end in their '>': it is the final one.
    const QStringView body = QStringView(answer).first(answer.size() - kLenAnswerEnd);
    return !body.contains(answerOK()) && !body.contains(answerError());
}

bool CCommunication::IsOneLine(const QString &payload)
{
    return !payload.contains(u'\r') && !payload.contains(u'\n');
}

bool CCommunication::Exchange(const QString &strSend, QString &strAnswer)
{
    strAnswer.clear();
    CSerialLink *link = m_link;
    if (!link || !link->BeginExchange(m_port, m_baudrate))
        return false;
    const bool ok = link->COMSendAndReceive(strSend, strAnswer) && IsAccepted(strAnswer);
    link->COMDeinit();
    return ok;
}

bool CCommunication::ReadListing(CSerialLink &link, const QString &command, int answerTime_s,
                                 QString &reply) const
{
    reply.clear();
    if (!link.BeginExchange(m_port, m_baudrate))
        return false;
    link.COMChangeAnswerTime(answerTime_s);
    if (link.COMSendAndReceive(Protocol::line(command), reply) && IsAccepted(reply)) {
        link.COMDeinit();
        return true;
    }
    reply.clear();
    // "Import error!" alone leaves the user waiting twenty minutes for nothing to learn.
    if (const qint64 waited = link.timedOutSeconds(); waited > 0)
        ErrorFrame::report(TextTable::text(TextTable::ImportTimedOut).arg(waited));
    QString answer;
    link.COMContinue();
    link.COMChangeAnswerTime(4);
    link.COMSendAndReceive(Protocol::line(Protocol::EndTransfer), answer);
    link.COMDeinit();
    return false;
}

bool CCommunication::Scan()
{
    CSerialLink &link = *m_link;
    if (link.refuseWhileRunning())
        return false;
    link.beginSearch();
    bool found = link.COMScanPorts(m_port, m_baudrate);
    if (!found)
        found = link.COMScanPorts(m_port, m_baudrate);
    link.endSearch();
    return found;
}
