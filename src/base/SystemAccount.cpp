#include "SystemAccount.h"

#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

#include <vector>

SystemAccount SystemAccount::current()
{
    SystemAccount account;
    const uid_t uid = ::geteuid();
    account.uid = qint64(uid);
    passwd entry{};
    passwd *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        account.userName = QString::fromLocal8Bit(found->pw_name);
        // The comment field holds the full name and, after commas, room and telephone numbers.
        account.fullName = QString::fromLocal8Bit(found->pw_gecos).section(QLatin1Char(','), 0, 0).trimmed();
    }
    if (account.userName.isEmpty())
        account.userName = QString::number(account.uid);
    account.host = QSysInfo::machineHostName();
    return account;
}
