#include "ScriptedDialogs.h"

int ScriptedDialogs::message(QWidget *, const QString &title, const QString &text, Icon icon, int buttons,
                             int defaultButton)
{
    asked.append({QStringLiteral("message"), title, text, icon, buttons, {}, defaultButton});
    if (!buttonAnswers.isEmpty())
        return buttonAnswers.dequeue();
    for (int button : {Ok, Yes, No, Cancel})
        if (buttons & button)
            return button;
    return Ok;
}

QString ScriptedDialogs::openFileName(QWidget *, const QString &title, const QString &directory,
                                      const QString &filter)
{
    asked.append({QStringLiteral("open"), title, directory, Icon::NoIcon, 0, filter});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QString ScriptedDialogs::saveFileName(QWidget *, const QString &title, const QString &proposedPath,
                                      const QString &filter)
{
    asked.append({QStringLiteral("save"), title, proposedPath, Icon::NoIcon, 0, filter});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

bool ScriptedDialogs::inputText(QWidget *, const QString &title, const QString &prompt, const QString &defaultText,
                                QString *answer)
{
    asked.append({QStringLiteral("input"), title, prompt, Icon::NoIcon, 0, defaultText});
    if (inputAnswers.isEmpty())
        return false;
    const QString next = inputAnswers.dequeue();
    if (next.isNull())
        return false;
    *answer = next;
    return true;
}

QStringList ScriptedDialogs::messageTexts() const
{
    QStringList texts;
    for (const Asked &a : asked)
        if (a.kind == QLatin1String("message"))
            texts.append(a.text);
    return texts;
}
