#include "MeterSession.h"

#include "CSerialLink.h"
#include "Protocol.h"

MeterSession::MeterSession(CSerialLink &link, int port, const QString &baud)
    : m_link(link), m_open(link.BeginExchange(port, baud)), m_result(link.lastResult())
{
}

MeterSession::~MeterSession()
{
    close();
}

bool MeterSession::send(const QString &line, QString &answer)
{
    if (!m_open) {
        answer.clear();
        return false;
    }
    const bool answered = m_link.COMSendAndReceive(line, answer);
    m_result = m_result.then(m_link.lastResult());
    return answered;
}

void MeterSession::setAnswerTime(int seconds)
{
    m_link.COMChangeAnswerTime(seconds);
}

LinkResult MeterSession::stopTransfer()
{
    if (!m_open)
        return {};
    QString answer;
    m_link.COMContinue();
    m_link.COMChangeAnswerTime(4);
    m_link.COMSendAndReceive(Protocol::line(Protocol::EndTransfer), answer);
    return m_link.lastResult();
}

void MeterSession::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_link.COMDeinit();
}
