#include "CLogin.h"

void CLogin::setUserName(const QString &strUserName)
{
    m_userName = strUserName.isEmpty() ? QStringLiteral("---") : strUserName.left(kUserNameMaxLen);
}
