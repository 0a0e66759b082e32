#include "CLogin.h"

void CLogin::setUserName(const QString &strUserName)
{
    if (m_fixed)
        return;
    QString name = strUserName;
    name.replace(QChar(kUserNameSeparator), QChar(kUserNameReplacement));
    name.remove(u'\r');
    name.remove(u'\n');
    m_userName = name.isEmpty() ? QStringLiteral("---") : name.left(kUserNameMaxLen);
}

void CLogin::fixTo(const QString &accountName)
{
    m_fixed = false;
    setUserName(accountName);
    m_fixed = true;
}
