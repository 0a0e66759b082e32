#include "MeterSession.h"

#include "CSerialLink.h"
#include "Protocol.h"

MeterSession::MeterSession(CSerialLink &link, int port, const QString &baud)
    : m_link(link), m_open(link.BeginExchange(port, baud))
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
    return m_link.COMSendAndReceive(line, answer);
}

void MeterSession::setAnswerTime(int seconds)
{
    m_link.COMChangeAnswerTime(seconds);
}

void MeterSession::stopTransfer()
{
    if (!m_open)
        return;
    QString answer;
    m_link.COMContinue();
    m_link.COMChangeAnswerTime(4);
    m_link.COMSendAndReceive(Protocol::line(Protocol::EndTransfer), answer);
}

void MeterSession::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_link.COMDeinit();
}
