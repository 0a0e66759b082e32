#pragma once
// Where the archive is and whether it is on: [Archive] Enabled and Location, from the user's own
// settings over the program folder's Settings.ini, so a lab sets its server once for every PC and a
// user may still point elsewhere.
#include <QString>

class CIni;

struct ArchiveSettings {
    bool enabled = true;
    QString location; // a path of an SQLite file, or postgresql://host[:port]/db?...
    // An SQLite file the administrator named in the program's settings for the accounts of a group
    // (a group's file, see ArchiveFileRights), not one account's own.
    bool shared = false;

    // The embedded archive every PC has: the default location, and where imports wait while the
    // server cannot be reached.
    static QString localPath();
    static bool isServer(const QString &location);
    bool onServer() const { return isServer(location); }

    static ArchiveSettings read(const CIni &ini);
    // The user's own settings (tests and the archive window's choice of location).
    static void storeForUser(const ArchiveSettings &settings);
};
