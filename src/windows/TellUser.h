#pragma once
// How the windows tell what an operation below them had to tell: each text in the program's error box,
// in the order it happened (the box is the error handler the program installs; tests record it).
#include "CCSVFile.h"
#include "ErrorFrame.h"
#include "LinkResult.h"

namespace TellUser {

inline void link(const LinkResult &result)
{
    for (const QString &text : result.messages())
        ErrorFrame::report(text);
}

inline void file(const FileResult &result)
{
    for (const QString &text : result.messages())
        ErrorFrame::report(text);
}

} // namespace TellUser
