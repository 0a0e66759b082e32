#pragma once
// Reads values from the program's read-only settings file with the rules of the Windows profile
// reader: section and key names compared without regard to case, values trimmed.
#include <QString>

class CIni {
public:
    // The value, at most nSize - 1 characters; the default when the file, section or key is missing.
    QString GetIniString(const QString &Sektion, const QString &Titel, const QString &Vorgabe,
                         const QString &INIFile, int nSize) const;
};
