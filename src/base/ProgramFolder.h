#pragma once
// The folder that holds the program and its read-only companions (Settings.ini, Grafics, Help).
#include <QString>
#include <QStringList>

class CIni;

namespace ProgramFolder {

// MERAVO_PROGRAM_DIR when set, otherwise the folder of the running executable: behind a link to it
// (/usr/bin/meravo of the package) the folder the link points into, where Settings.ini and its link are.
QString path();
QString file(const QString &relative);
QString settingsFile();
// The files of local settings, which the package never ships, so an administrator's edits never meet a
// changed Settings.ini at an upgrade: beside the file Settings.ini resolves to, every Settings.d/*.ini
// in name order, then Settings.local.ini; after them the same files of the system's folder
// (/etc/meravo), whatever the program folder, so a user who points MERAVO_PROGRAM_DIR at a folder of
// their own still gets the administrator's settings. A later file's value wins.
QStringList localSettingsFiles();

// The system's folder of local settings (empty where there is none, on Windows).
QString systemSettingsFolder();
// Moves that folder for the calling process: only tests call it. No variable of the environment moves
// it, so a user cannot leave the administrator's settings behind.
void setSystemSettingsFolder(const QString &folder);

// A value of the local settings files, else of Settings.ini, read afresh (buffer of 256 as every
// caller uses).
QString setting(const CIni &ini, const QString &section, const QString &key, const QString &fallback);

// The edition switch: only the exact value "True" restricts the program to the Klaro 7.
bool onlyKlaro7(const CIni &ini);

// The language of the texts: [General] Language when it names one, else the system locale's, else "en".
QString language(const CIni &ini);

} // namespace ProgramFolder
