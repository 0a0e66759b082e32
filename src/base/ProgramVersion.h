#pragma once
// The version every executable tells with --version. Its one source is the top CMakeLists'
// project(... VERSION ...), handed down as MERAVO_VERSION_MAJOR, _MINOR and _PATCH.
#include <QString>

namespace ProgramVersion {

inline QString text()
{
    return QStringLiteral("%1.%2.%3")
        .arg(MERAVO_VERSION_MAJOR)
        .arg(MERAVO_VERSION_MINOR)
        .arg(MERAVO_VERSION_PATCH);
}

// "<name> <version>", the first line help2man and package scripts look for.
inline QString line(const QString &program)
{
    return program + QLatin1Char(' ') + text();
}

} // namespace ProgramVersion
