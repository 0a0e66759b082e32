#include "InputFilters.h"

#include <QLineEdit>

namespace {

constexpr char16_t kUserNameSeparator = u';';
constexpr char16_t kUserNameReplacement = u'.';

} // namespace

namespace InputFilters {

void replaceCharacter(QLineEdit *edit, QChar character, QChar replacement)
{
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, character, replacement](const QString &text) {
        if (!text.contains(character))
            return;
        const int cursor = edit->cursorPosition();
        QString cleaned = text;
        cleaned.replace(character, replacement);
        edit->setText(cleaned);
        edit->setCursorPosition(cursor);
    });
}

QString userName(const QString &text)
{
    QString name = text;
    name.replace(QChar(kUserNameSeparator), QChar(kUserNameReplacement));
    return name;
}

void filterUserName(QLineEdit *edit)
{
    replaceCharacter(edit, QChar(kUserNameSeparator), QChar(kUserNameReplacement));
}

} // namespace InputFilters
