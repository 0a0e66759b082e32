#include "InputFilters.h"

#include "CLogin.h"

#include <QLineEdit>

namespace InputFilters {

void replaceCharacter(QLineEdit *edit, QChar character, QChar replacement)
{
    QObject::connect(edit, &QLineEdit::textChanged, edit,
                     [edit, character, replacement](const QString &text) {
                         if (!text.contains(character))
                             return;
                         const int cursor = edit->cursorPosition();
                         QString cleaned = text;
                         cleaned.replace(character, replacement);
                         edit->setText(cleaned);
                         edit->setCursorPosition(cursor);
                     });
}

void filterUserName(QLineEdit *edit)
{
    replaceCharacter(edit, QChar(CLogin::kUserNameSeparator), QChar(CLogin::kUserNameReplacement));
}

} // namespace InputFilters
