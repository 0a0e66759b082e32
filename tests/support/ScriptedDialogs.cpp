#include "ScriptedDialogs.h"

int ScriptedDialogs::message(QWidget *, const QString &title, const QString &text, Icon icon, int buttons,
                             int defaultButton)
{
    asked.append({QStringLiteral("message"), title, text, icon, buttons, {}, defaultButton, {}});
    if (!buttonAnswers.isEmpty())
        return buttonAnswers.dequeue();
    for (int button : {Ok, Yes, No, Cancel})
        if (buttons & button)
            return button;
    return Ok;
}

QString ScriptedDialogs::chooseOpenFile(QWidget *, const FileRequest &request)
{
    asked.append({QStringLiteral("open"), request.title, request.proposal, Icon::NoIcon, 0, request.filter, 0,
                  request.start});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

QStringList ScriptedDialogs::chooseOpenFiles(QWidget *, const FileRequest &request)
{
    asked.append({QStringLiteral("openfiles"), request.title, request.proposal, Icon::NoIcon, 0,
                  request.filter, 0, request.start});
    return filesAnswers.isEmpty() ? QStringList() : filesAnswers.dequeue();
}

QString ScriptedDialogs::chooseSaveFile(QWidget *, const FileRequest &request)
{
    asked.append({QStringLiteral("save"), request.title, request.proposal, Icon::NoIcon, 0, request.filter, 0,
                  request.start});
    return fileAnswers.isEmpty() ? QString() : fileAnswers.dequeue();
}

bool ScriptedDialogs::inputText(QWidget *, const QString &title, const QString &prompt,
                                const QString &defaultText, QString *answer, int maxLength)
{
    asked.append({QStringLiteral("input"), title, prompt, Icon::NoIcon, 0, defaultText, 0, {}});
    if (inputAnswers.isEmpty())
        return false;
    const QString next = inputAnswers.dequeue();
    if (next.isNull())
        return false;
    // As typed into the field: it takes no more than its limit.
    *answer = maxLength > 0 ? next.left(maxLength) : next;
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
