#pragma once
// Text fields whose text ends up in a ';'-separated file: the separator is replaced where it is typed
// and where it is pasted.
class QLineEdit;
class QChar;

namespace InputFilters {
// Every replaced character becomes replacement, whether typed, pasted or set by the program.
void replaceCharacter(QLineEdit *edit, QChar character, QChar replacement);
} // namespace InputFilters
