#include "UserDialogs.h"

#include "TextTable.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

namespace {
// Per user, in the program's settings store.
const QString kLastFolderKey = QStringLiteral("Dialogs/LastFolder");
} // namespace

void UserDialogs::error(QWidget *parent, const QString &text)
{
    message(parent, TextTable::text(TextTable::ErrorCaption), text, Icon::Critical, Ok);
}

void UserDialogs::information(QWidget *parent, const QString &text)
{
    message(parent, TextTable::text(TextTable::InformationCaption), text, Icon::Information, Ok);
}

void UserDialogs::warning(QWidget *parent, const QString &text)
{
    message(parent, TextTable::text(TextTable::WarningCaption), text, Icon::Warning, Ok);
}

int UserDialogs::question(QWidget *parent, const QString &text, int buttons, int defaultButton)
{
    return message(parent, TextTable::text(TextTable::QuestionCaption), text, Icon::Question, buttons,
                   defaultButton);
}

QString UserDialogs::filter(const QString &description, const QString &pattern)
{
    return description + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

QString UserDialogs::withDefaultSuffix(const QString &path, const QString &filter, const QString &offered)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = pattern.match(filter);
    if (path.isEmpty() || !match.hasMatch())
        return path;
    // "Messung 15.03.2026" has a suffix, yet no extension the program's own lists know.
    for (const QString &filters : {filter, offered})
        for (const QRegularExpressionMatch &known : pattern.globalMatch(filters))
            if (path.endsWith(u'.' + known.captured(1), Qt::CaseInsensitive))
                return path;
    return path + u'.' + match.captured(1);
}

QString UserDialogs::lastFolder()
{
    const QString stored = QSettings().value(kLastFolderKey).toString();
    if (!stored.isEmpty() && QFileInfo(stored).isDir())
        return stored;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // Never the process's current folder, which for a program started from a menu is anywhere.
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void UserDialogs::rememberFolder(const QString &chosenPath)
{
    QSettings().setValue(kLastFolderKey, QFileInfo(chosenPath).absolutePath());
}

QString UserDialogs::openFileName(QWidget *parent, const QString &title, const QString &directory,
                                  const QString &filter)
{
    const QString path =
        chooseOpenFile(parent, {title, directory, directory.isEmpty() ? lastFolder() : directory, filter});
    if (!path.isEmpty())
        rememberFolder(path);
    return path;
}

QStringList UserDialogs::openFileNames(QWidget *parent, const QString &title, const QString &filter)
{
    const QStringList paths = chooseOpenFiles(parent, {title, QString(), lastFolder(), filter});
    if (!paths.isEmpty())
        rememberFolder(paths.first());
    return paths;
}

QString UserDialogs::saveFileName(QWidget *parent, const QString &title, const QString &proposedPath,
                                  const QString &filter)
{
    QString start = proposedPath;
    if (QFileInfo(proposedPath).isRelative()) {
        const QString folder = lastFolder();
        if (!folder.isEmpty())
            start = proposedPath.isEmpty() ? folder : QDir(folder).filePath(proposedPath);
    }
    m_selectedFilter.clear();
    const QString chosen = chooseSaveFile(parent, {title, proposedPath, start, filter});
    if (chosen.isEmpty())
        return chosen;
    const QString path =
        withDefaultSuffix(chosen, m_selectedFilter.isEmpty() ? filter : m_selectedFilter, filter);
    // The dialog asked about the name it returned, not about the name with the extension.
    if (path != chosen && QFileInfo::exists(path) &&
        question(parent, TextTable::text(TextTable::ReplaceFile).arg(QDir::toNativeSeparators(path)),
                 Yes | No) != Yes)
        return QString();
    rememberFolder(path);
    return path;
}

int QtUserDialogs::message(QWidget *parent, const QString &title, const QString &text, Icon icon, int buttons,
                           int defaultButton)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::NoIcon:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    // Button captions come from the program's own texts, not from Qt's translations.
    struct Choice {
        Button button;
        int textNumber;
        QMessageBox::ButtonRole role;
    };
    const Choice choices[] = {{Yes, TextTable::Yes, QMessageBox::YesRole},
                              {No, TextTable::No, QMessageBox::NoRole},
                              {Ok, TextTable::Ok, QMessageBox::AcceptRole},
                              {Cancel, TextTable::Cancel, QMessageBox::RejectRole}};
    QHash<QAbstractButton *, int> pressed;
    for (const Choice &choice : choices) {
        if (!(buttons & choice.button))
            continue;
        // Yes and No are pressed by their first letter too (Enter and Escape serve OK and Cancel).
        const QString caption = TextTable::text(choice.textNumber);
        QPushButton *button = box.addButton(
            choice.button == Yes || choice.button == No ? u'&' + caption : caption, choice.role);
        pressed.insert(button, int(choice.button));
        if (choice.button == defaultButton)
            box.setDefaultButton(button);
    }
    // Escape and the box's close button dismiss a question; they never answer No for the user (No to
    // "save the data?" would drop an import). The dismissal is Cancel, offered or not.
    if ((buttons & Yes) && (buttons & No) && !(buttons & Cancel)) {
        QPushButton *dismiss = box.addButton(QMessageBox::Cancel);
        dismiss->hide();
        box.setEscapeButton(dismiss);
    }
    box.exec();
    if (QAbstractButton *clicked = box.clickedButton(); clicked && pressed.contains(clicked))
        return pressed.value(clicked);
    return (buttons & (Yes | No | Cancel)) ? Cancel : Ok;
}

QString QtUserDialogs::chooseOpenFile(QWidget *parent, const FileRequest &request)
{
    return QFileDialog::getOpenFileName(parent, request.title, request.start, request.filter);
}

QStringList QtUserDialogs::chooseOpenFiles(QWidget *parent, const FileRequest &request)
{
    return QFileDialog::getOpenFileNames(parent, request.title, request.start, request.filter);
}

QString QtUserDialogs::chooseSaveFile(QWidget *parent, const FileRequest &request)
{
    return QFileDialog::getSaveFileName(parent, request.title, request.start, request.filter,
                                        &m_selectedFilter);
}

bool QtUserDialogs::inputText(QWidget *parent, const QString &title, const QString &prompt,
                              const QString &defaultText, QString *answer, int maxLength)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    // The title bar shows the whole title, with room for the frame's buttons.
    dialog.setMinimumWidth(dialog.fontMetrics().horizontalAdvance(title) + 160);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    if (maxLength > 0)
        if (auto *field = dialog.findChild<QLineEdit *>())
            field->setMaxLength(maxLength);
    dialog.setOkButtonText(TextTable::text(TextTable::Ok));
    dialog.setCancelButtonText(TextTable::text(TextTable::Cancel));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *answer = dialog.textValue();
    return true;
}
