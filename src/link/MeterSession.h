#pragma once
// One exchange with the meter, open to close, as a scoped object: the opening (COMInit with the answer
// time of 4 seconds, then "U.400") in the constructor, the closing (COMDeinit) in the destructor, so no
// path out of an exchange can leave the line open. A listing that did not end well is stopped first.
#include "LinkResult.h"

#include <QString>

class CSerialLink;

class MeterSession {
public:
    MeterSession(CSerialLink &link, int port, const QString &baud);
    ~MeterSession();
    MeterSession(const MeterSession &) = delete;
    MeterSession &operator=(const MeterSession &) = delete;

    // Whether the meter answered the opening; nothing else may be sent otherwise.
    bool isOpen() const { return m_open; }
    // One command as it goes on the line; false without an answer (answer then empty).
    bool send(const QString &line, QString &answer);
    void setAnswerTime(int seconds);
    // Ends a listing the meter may still be sending (a stop, a time-out, a rejection): the closing command
    // within 4 seconds, before the line is let go. Returns how that command ended (not kept in result()).
    LinkResult stopTransfer();
    // How the opening and the commands sent so far ended: the first failure ends the session's use,
    // and what each step had to tell is kept in order.
    const LinkResult &result() const { return m_result; }
    // Lets the line go now (the destructor does it otherwise); later calls do nothing.
    void close();

private:
    CSerialLink &m_link;
    bool m_open = false;
    LinkResult m_result;
};
