#include "CCommunication.h"

#include "CSerialLink.h"
#include "MeterSession.h"
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
    m_last = {};
    if (!m_link)
        return false;
    MeterSession session(*m_link, m_port, m_baudrate);
    const bool answered = session.send(strSend, strAnswer);
    m_last = session.result();
    return answered && IsAccepted(strAnswer);
}

bool CCommunication::ReadListing(CSerialLink &link, const QString &command, int answerTime_s,
                                 QString &reply) const
{
    reply.clear();
    MeterSession session(link, m_port, m_baudrate);
    m_last = session.result();
    if (!session.isOpen())
        return false;
    session.setAnswerTime(answerTime_s);
    const bool answered = session.send(Protocol::line(command), reply);
    m_last = session.result();
    if (answered && IsAccepted(reply))
        return true;
    reply.clear();
    // "Import error!" alone leaves the user waiting twenty minutes for nothing to learn.
    if (const qint64 waited = link.timedOutSeconds(); waited > 0)
        m_last = m_last.then({m_last.failure, TextTable::text(TextTable::ImportTimedOut).arg(waited), {}});
    // The closing command's own failure does not replace the listing's.
    const LinkFailure failure = m_last.failure;
    m_last = m_last.then(session.stopTransfer());
    m_last.failure = failure;
    return false;
}

bool CCommunication::Scan()
{
    CSerialLink &link = *m_link;
    if (link.exchangeRunning()) {
        m_last = CSerialLink::busyResult();
        return false;
    }
    link.beginSearch();
    bool found = link.COMScanPorts(m_port, m_baudrate);
    m_last = link.lastResult();
    if (!found) {
        found = link.COMScanPorts(m_port, m_baudrate);
        m_last = m_last.then(link.lastResult());
    }
    link.endSearch();
    return found;
}
