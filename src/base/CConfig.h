#pragma once
// The working directory, kept in "MeravoConfig.ini" in the user's data folder for Meravo as one
// line "Dir = " + path without a line end; the documents folder until the user picks another.
#include <QString>

class CConfig {
public:
    // The working directory, or "" when the file cannot be written or read.
    QString WorkDir() const;
    void setWorkDir(const QString &strWorkDir);
    // The default folder, when WorkDir had to create it since the last call (told once); else "".
    QString takeCreatedWorkDir();

    static QString configFilePath();
    static QString earlierConfigFilePath();
    static QString defaultWorkDir();

private:
    static bool WriteConfigFile(const QString &path, const QString &line);

    mutable QString m_created;
};
