#pragma once
// The result of the login: whether it succeeded, whether to search for the meter, and the user name.
#include <QString>

struct SharedObjects;

class CLogin {
public:
    static constexpr qint16 kUserNameMaxLen = 15;

    explicit CLogin(SharedObjects &shared) : m_shared(shared) {}

    bool Successful() const { return m_successful; }
    void setSuccessful(bool fSuccessful) { m_successful = fSuccessful; }
    bool SearchDevice() const { return m_searchDevice; }
    void setSearchDevice(bool fSearchDevice) { m_searchDevice = fSearchDevice; }
    QString UserName() const { return m_userName; }
    // An empty name is stored as "---"; a longer one is cut to UserNameMaxLen characters.
    void setUserName(const QString &strUserName);
    qint16 UserNameMaxLen() const { return kUserNameMaxLen; }

private:
    [[maybe_unused]] SharedObjects &m_shared;
    bool m_successful = false;
    bool m_searchDevice = true;
    QString m_userName;
};
