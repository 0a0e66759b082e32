#pragma once
// Text fields whose text ends up in a ';'-separated file: the separator is replaced where it is typed
// and where it is pasted.
#include <QString>

class QLineEdit;

namespace InputFilters {
// Every replaced character becomes replacement, whether typed, pasted or set by the program.
void replaceCharacter(QLineEdit *edit, QChar character, QChar replacement);

// The login's field shows the user name as CLogin will store it while it is typed.
void filterUserName(QLineEdit *edit);
} // namespace InputFilters
