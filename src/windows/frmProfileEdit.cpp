#include "frmProfileEdit.h"

#include "ExportProfile.h"
#include "FileWrites.h"
#include "GuiAssets.h"
#include "MainWindowContext.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace {

// The keys in the order of the example profiles; a key with choices gets a list, the others a line.
struct Key {
    const char *name;
    const char *choices; // comma-separated, the default first; null: free text
};
const Key kKeys[] = {
    {"Columns", nullptr},      {"Headers", nullptr},
    {"Header", "yes,no"},      {"Separator", nullptr},
    {"DecimalMark", "."},      {"Encoding", "UTF-8,UTF-8-BOM,Windows-1252"},
    {"LineEnd", "CRLF,LF,CR"}, {"DateFormat", nullptr},
    {"TimeFormat", nullptr},   {"Statuses", "OK,All"},
    {"Programs", nullptr},     {"Meters", nullptr},
    {"Folder", nullptr},       {"UnmappedSampleId", "Empty,Id"},
};

QStringList choicesOf(const Key &key)
{
    // "." and "," cannot be told apart in a comma-separated list.
    if (qstrcmp(key.name, "DecimalMark") == 0)
        return {QStringLiteral("."), QStringLiteral(",")};
    return QString::fromLatin1(key.choices).split(QLatin1Char(','));
}

} // namespace

frmProfileEdit::frmProfileEdit(MainWindowContext &main, QWidget *owner)
    : QDialog(owner), m_main(main), m_name(new QComboBox(this))
{
    setObjectName(QStringLiteral("frmProfileEdit"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_name->setObjectName(QStringLiteral("cboName"));
    m_name->setEditable(true);
    QStringList names;
    for (const QString &folder : {ExportProfile::userFolder(), ExportProfile::systemFolder()})
        for (const QString &file : QDir(folder).entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name))
            names.append(file.chopped(4));
    names.removeDuplicates();
    m_name->addItems(names);

    auto *form = new QFormLayout;
    auto *nameLabel = new QLabel(this);
    TextApplier::tag(nameLabel, TextTable::ProfileNameField);
    form->addRow(nameLabel, m_name);
    for (const Key &key : kKeys) {
        const QString name = QString::fromLatin1(key.name);
        QWidget *field = nullptr;
        if (key.choices) {
            auto *box = new QComboBox(this);
            box->addItems(choicesOf(key));
            field = box;
        } else {
            field = new QLineEdit(this);
        }
        field->setObjectName(name);
        m_fields.insert(name, field);
        m_keys.append(name);
        form->addRow(name, field);
    }
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QString(), QDialogButtonBox::AcceptRole);
    QPushButton *cancel = buttons->addButton(QString(), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("cmdOK"));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    TextApplier::tag(this, TextTable::ProfilesTitle);
    TextApplier::tag(ok, TextTable::Ok);
    TextApplier::tag(cancel, TextTable::Cancel);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (save())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_name, &QComboBox::textActivated, this, &frmProfileEdit::showProfile);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (!names.isEmpty())
        showProfile(names.first());
}

void frmProfileEdit::showProfile(const QString &name)
{
    m_name->setCurrentText(name);
    for (QWidget *field : std::as_const(m_fields)) {
        if (auto *line = qobject_cast<QLineEdit *>(field))
            line->clear();
        else if (auto *box = qobject_cast<QComboBox *>(field))
            box->setCurrentIndex(0);
    }
    QString path = QDir(ExportProfile::userFolder()).filePath(name + QStringLiteral(".ini"));
    if (!QFile::exists(path))
        path = QDir(ExportProfile::systemFolder()).filePath(name + QStringLiteral(".ini"));
    ExportProfile profile;
    QString error;
    if (!QFile::exists(path))
        return;
    if (!ExportProfile::read(path, &profile, &error)) {
        m_main.dialogs().error(this, error);
        return;
    }
    // The profile's own text, key by key, as the file would be written again.
    for (const QString &line : profile.toIni().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        QWidget *field = eq > 0 ? m_fields.value(line.left(eq)) : nullptr;
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setText(line.mid(eq + 1));
        else if (auto *box = qobject_cast<QComboBox *>(field))
            box->setCurrentText(line.mid(eq + 1));
    }
}

QString frmProfileEdit::iniText() const
{
    QString text = QStringLiteral("[Profile]\n");
    for (const QString &key : m_keys) {
        QWidget *field = m_fields.value(key);
        QString value;
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            value = edit->text().trimmed();
        else if (auto *box = qobject_cast<QComboBox *>(field))
            value = box->currentText();
        // An empty line would be a value of its own (no headers, no separator): left out, the default holds.
        if (!value.isEmpty())
            text += key + QLatin1Char('=') + value + QLatin1Char('\n');
    }
    return text;
}

bool frmProfileEdit::save()
{
    UserDialogs &dialogs = m_main.dialogs();
    QString name = m_name->currentText().trimmed();
    for (QChar &c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.isSpace())
            c = QLatin1Char('_');
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) {
        dialogs.error(this, TextTable::text(TextTable::ProfileError)
                                .arg(TextTable::text(TextTable::ProfileNameField))
                                .arg(0)
                                .arg(m_name->currentText()));
        return false;
    }
    const QString path = QDir(ExportProfile::userFolder()).filePath(name + QStringLiteral(".ini"));
    const QByteArray bytes = iniText().toUtf8();
    // Read back before it is written: a profile with an error never reaches the folder.
    QTemporaryDir check;
    const QString probe = check.filePath(name + QStringLiteral(".ini"));
    QString error = FileWrites::writeWhole(probe, bytes);
    ExportProfile profile;
    if (error.isEmpty() && !ExportProfile::read(probe, &profile, &error))
        error.replace(probe, path);
    if (error.isEmpty() && (!QDir().mkpath(ExportProfile::userFolder()) ||
                            !(error = FileWrites::writeWhole(path, bytes)).isEmpty()))
        error = error.isEmpty() ? ExportProfile::userFolder() : error;
    if (!error.isEmpty()) {
        dialogs.error(this, error);
        return false;
    }
    dialogs.information(this, TextTable::text(TextTable::ProfileSaved).arg(path));
    return true;
}
