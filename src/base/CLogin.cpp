#include "CLogin.h"

void CLogin::setUserName(const QString &strUserName)
{
    QString name = strUserName;
    name.replace(QChar(kUserNameSeparator), QChar(kUserNameReplacement));
    name.remove(u'\r');
    name.remove(u'\n');
    m_userName = name.isEmpty() ? QStringLiteral("---") : name.left(kUserNameMaxLen);
}
