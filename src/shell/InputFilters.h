#pragma once
// Text fields whose text ends up in a ';'-separated file: the separator is replaced where it is typed
// and where it is pasted.
#include <QString>

class QLineEdit;

namespace InputFilters {
// Every replaced character becomes replacement, whether typed, pasted or set by the program.
void replaceCharacter(QLineEdit *edit, QChar character, QChar replacement);

// The user name goes into measured-value, program and record files: the login's field and the change
// of user take it by this one rule.
QString userName(const QString &text);
void filterUserName(QLineEdit *edit);
} // namespace InputFilters
