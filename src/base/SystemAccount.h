#pragma once
// The operating-system account that runs the program and the host it runs on: the free-text login
// name says who claims to work, the account says who the system let in.
#include <QString>

struct SystemAccount {
    qint64 uid = -1;
    QString userName;
    QString fullName; // from the account database's comment field, up to its first comma
    QString host;

    static SystemAccount current();
};
