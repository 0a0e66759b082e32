#pragma once
// The result of the login: whether it succeeded, whether to search for the meter, and the user name.
#include <QString>

class CLogin {
public:
    static constexpr qint16 kUserNameMaxLen = 15;
    // The name goes into ';'-separated files: the separator is taken as this replacement wherever a
    // name comes from (the login's field, a change of user, the command line).
    static constexpr char16_t kUserNameSeparator = u';';
    static constexpr char16_t kUserNameReplacement = u'.';

    bool Successful() const { return m_successful; }
    void setSuccessful(bool fSuccessful) { m_successful = fSuccessful; }
    bool SearchDevice() const { return m_searchDevice; }
    void setSearchDevice(bool fSearchDevice) { m_searchDevice = fSearchDevice; }
    QString UserName() const { return m_userName; }
    // An empty name is stored as "---"; a longer one is cut to UserNameMaxLen characters; the separator
    // is replaced and line breaks are left out, so every file holding the name reads back.
    void setUserName(const QString &strUserName);
    qint16 UserNameMaxLen() const { return kUserNameMaxLen; }
    // One person per account: from here on the name is the account's, and a name typed, chosen at a
    // change of user or given on the command line is not taken.
    void fixTo(const QString &accountName);
    bool fixed() const { return m_fixed; }

private:
    bool m_successful = false;
    bool m_searchDevice = true;
    QString m_userName;
    bool m_fixed = false;
};
