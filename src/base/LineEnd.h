#pragma once
// CR LF ends a line everywhere the program speaks: the meter's commands and answers, the files it reads
// and writes, and the lines of its messages, whatever the platform.
#include <QString>

inline const QString kCrLf = QStringLiteral("\r\n");
