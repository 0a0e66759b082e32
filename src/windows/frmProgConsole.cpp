#include "frmProgConsole.h"

#include "CDevice.h"
#include "CIni.h"
#include "CLogin.h"
#include "CSerialLink.h"
#include "CUsrDefProg.h"
#include "frmChangeDir.h"
#include "frmConfirm.h"
#include "frmProgEdit.h"
#include "frmWait.h"
#include "GuiAssets.h"
#include "HeaderBand.h"
#include "LineEnd.h"
#include "MainWindowContext.h"
#include "ProgramForm.h"
#include "SharedObjects.h"
#include "TellUser.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString programNumberLine(const QString &number)
{
    return QStringLiteral("(") + TextTable::text(TextTable::ProgramNumberLabel) + u' ' + number + u')';
}

} // namespace

frmProgConsole::frmProgConsole(MainWindowContext &main)
    : QDialog(&main.frameWidget()), m_main(main), m_imgHead(new HeaderBand(this, true)),
      m_fraProgsMeter(new QGroupBox(this)), m_lstProgsMeter(new QListWidget(m_fraProgsMeter)),
      m_fraProgsPC(new QGroupBox(this)), m_lstProgsPC(new QListWidget(m_fraProgsPC)),
      m_cmdCopyToPC(new QPushButton(this)), m_cmdCopyToPCAll(new QPushButton(this)),
      m_cmdCopyToMeter(new QPushButton(this)), m_cmdCopyToMeterAll(new QPushButton(this)),
      m_cmdDeleteMeter(new QPushButton(m_fraProgsMeter)),
      m_cmdDeleteAllMeter(new QPushButton(m_fraProgsMeter)), m_cmdDeletePC(new QPushButton(m_fraProgsPC)),
      m_cmdDeleteAllPC(new QPushButton(m_fraProgsPC)), m_cmdModifyProgram(new QPushButton(this)),
      m_cmdNewProgram(new QPushButton(this)), m_cmdCancel(new QPushButton(this)),
      m_cmdChangeWorkDir(new QToolButton(m_fraProgsPC)),
      m_form(new ProgramForm(ProgramForm::Arrangement::Display, this)), m_timUpdate(new QTimer(this)),
      m_sbWorkDir(new QStatusBar(this)), m_sbWorkDirText(new QLabel)
{
    buildWindow();
    Load();
}

frmProgConsole::~frmProgConsole() = default;

void frmProgConsole::buildWindow()
{
    setObjectName(QStringLiteral("frmProgConsole"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    TextApplier::tag(this, TextTable::UserDefinedPrograms);
    m_imgHead->setFixedHeight(HeaderBand::kHeight);
    nameControls();
    buildMeterList();
    buildDirectoryList();
    arrangeWindow();
    setTabOrders();
    connectCommands();
    resize(780, 600);
}

// Object names, captions and tool tips of the controls.
void frmProgConsole::nameControls()
{
    TextApplier::nameAndTag({
        {m_fraProgsMeter, "fraProgsMeter", TextTable::Meter, 0},
        {m_lstProgsMeter, "lstProgsMeter", 0, 0},
        {m_fraProgsPC, "fraProgsPC", 0, 0},
        {m_lstProgsPC, "lstProgsPC", 0, 0},
        {m_cmdCopyToPC, "cmdCopyToPC", TextTable::CopyRight, TextTable::TipCopyToDirectory},
        {m_cmdCopyToPCAll, "cmdCopyToPCAll", TextTable::CopyAllRight, TextTable::TipCopyAllToDirectory},
        {m_cmdCopyToMeter, "cmdCopyToMeter", TextTable::CopyLeft, TextTable::TipSaveInMeter},
        {m_cmdCopyToMeterAll, "cmdCopyToMeterAll", TextTable::CopyAllLeft, TextTable::TipSaveAllInMeter},
        {m_cmdDeleteMeter, "cmdDeleteMeter", TextTable::Erase, TextTable::TipEraseProgram},
        {m_cmdDeleteAllMeter, "cmdDeleteAllMeter", TextTable::EraseAll, TextTable::TipEraseAllInMeter},
        {m_cmdDeletePC, "cmdDeletePC", TextTable::Erase, TextTable::TipEraseProgram},
        {m_cmdDeleteAllPC, "cmdDeleteAllPC", TextTable::EraseAll, TextTable::TipEraseAllInDirectory},
        {m_cmdModifyProgram, "cmdModifyProgram", TextTable::Modify, TextTable::TipModifyProgram},
        {m_cmdNewProgram, "cmdNewProgram", TextTable::ToolNew, TextTable::TipAddProgram},
        {m_cmdCancel, "cmdCancel", TextTable::Cancel, 0},
        {m_cmdChangeWorkDir, "cmdChangeWorkDir", 0, TextTable::ChangeWorkingDirectory},
        {m_sbWorkDir, "sbWorkDir", 0, 0},
    });
    m_timUpdate->setObjectName(QStringLiteral("timUpdate"));
    m_cmdChangeWorkDir->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_cmdChangeWorkDir->setAutoRaise(false);
}

// The meter's programs with their erase commands.
void frmProgConsole::buildMeterList()
{
    auto *meter = new QGridLayout(m_fraProgsMeter);
    meter->addWidget(m_lstProgsMeter, 0, 0, 1, 2);
    meter->addWidget(m_cmdDeleteMeter, 1, 0);
    meter->addWidget(m_cmdDeleteAllMeter, 1, 1);
}

// The working directory's program files with their erase commands and the folder button.
void frmProgConsole::buildDirectoryList()
{
    auto *pc = new QGridLayout(m_fraProgsPC);
    pc->addWidget(m_lstProgsPC, 0, 0, 1, 3);
    pc->addWidget(m_cmdDeletePC, 1, 0);
    pc->addWidget(m_cmdDeleteAllPC, 1, 1);
    pc->addWidget(m_cmdChangeWorkDir, 1, 2);
    pc->setColumnStretch(0, 1);
    pc->setColumnStretch(1, 1);
}

// The lists with the copy commands between them, the details, the commands and the status bar.
void frmProgConsole::arrangeWindow()
{
    auto *transfer = new QVBoxLayout;
    transfer->addStretch();
    for (QPushButton *button : {m_cmdCopyToPC, m_cmdCopyToPCAll, m_cmdCopyToMeter, m_cmdCopyToMeterAll})
        transfer->addWidget(button);
    transfer->addStretch();

    auto *lists = new QHBoxLayout;
    lists->addWidget(m_fraProgsMeter, 2);
    lists->addLayout(transfer);
    lists->addWidget(m_fraProgsPC, 3);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdModifyProgram);
    buttons->addWidget(m_cmdNewProgram);
    buttons->addStretch();
    buttons->addWidget(m_cmdCancel);

    m_sbWorkDir->addWidget(m_sbWorkDirText, 1);
    m_sbWorkDir->setSizeGripEnabled(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_imgHead);
    auto *body = new QVBoxLayout;
    body->setContentsMargins(10, 6, 10, 10);
    body->addLayout(lists, 1);
    body->addWidget(m_form);
    body->addLayout(buttons);
    layout->addLayout(body, 1);
    layout->addWidget(m_sbWorkDir);
}

// Tab order as the lists and commands stand; no button takes Return.
void frmProgConsole::setTabOrders()
{
    setTabOrder(m_lstProgsMeter, m_cmdDeleteMeter);
    setTabOrder(m_cmdDeleteMeter, m_cmdDeleteAllMeter);
    setTabOrder(m_cmdDeleteAllMeter, m_cmdCopyToPC);
    setTabOrder(m_cmdCopyToPC, m_cmdCopyToMeter);
    setTabOrder(m_cmdCopyToMeter, m_cmdCopyToPCAll);
    setTabOrder(m_cmdCopyToPCAll, m_cmdCopyToMeterAll);
    setTabOrder(m_cmdCopyToMeterAll, m_lstProgsPC);
    setTabOrder(m_lstProgsPC, m_cmdDeletePC);
    setTabOrder(m_cmdDeletePC, m_cmdDeleteAllPC);
    setTabOrder(m_cmdDeleteAllPC, m_cmdCancel);
    setTabOrder(m_cmdCancel, m_cmdModifyProgram);
    setTabOrder(m_cmdModifyProgram, m_cmdNewProgram);
    setTabOrder(m_cmdNewProgram, m_cmdChangeWorkDir);
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(false);
}

void frmProgConsole::connectCommands()
{
    connect(m_cmdCopyToPC, &QPushButton::clicked, this, &frmProgConsole::cmdCopyToPC_Click);
    connect(m_cmdCopyToPCAll, &QPushButton::clicked, this, &frmProgConsole::cmdCopyToPCAll_Click);
    connect(m_cmdCopyToMeter, &QPushButton::clicked, this, &frmProgConsole::cmdCopyToMeter_Click);
    connect(m_cmdCopyToMeterAll, &QPushButton::clicked, this, &frmProgConsole::cmdCopyToMeterAll_Click);
    connect(m_cmdDeleteMeter, &QPushButton::clicked, this, &frmProgConsole::cmdDeleteMeter_Click);
    connect(m_cmdDeleteAllMeter, &QPushButton::clicked, this, &frmProgConsole::cmdDeleteAllMeter_Click);
    connect(m_cmdDeletePC, &QPushButton::clicked, this, &frmProgConsole::cmdDeletePC_Click);
    connect(m_cmdDeleteAllPC, &QPushButton::clicked, this, &frmProgConsole::cmdDeleteAllPC_Click);
    connect(m_cmdModifyProgram, &QPushButton::clicked, this, &frmProgConsole::cmdModifyProgram_Click);
    connect(m_cmdNewProgram, &QPushButton::clicked, this, &frmProgConsole::cmdNewProgram_Click);
    connect(m_cmdChangeWorkDir, &QToolButton::clicked, this, &frmProgConsole::cmdChangeWorkDir_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_lstProgsMeter, &QListWidget::itemSelectionChanged, this,
            [this] { EntrySelectedByUser(m_lstProgsMeter); });
    connect(m_lstProgsPC, &QListWidget::itemSelectionChanged, this,
            [this] { EntrySelectedByUser(m_lstProgsPC); });
    connect(m_timUpdate, &QTimer::timeout, this, &frmProgConsole::pollTick);
    connect(&m_main.link(), &CSerialLink::exchangeRunningChanged, this, &frmProgConsole::followExchange);
    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { m_main.showHelp(kHelpContext); });
}

void frmProgConsole::Load()
{
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    m_imgHead->load(*m_main.shared().ini);
    m_imgHead->placeLogo(780 - m_imgHead->logo()->width() - 12);
    m_sbWorkDir->hide();
    m_timUpdate->setInterval(kUpdateInterval);

    UserDialogs &dialogs = m_main.dialogs();
    m_meterPrograms = ReadMeterPrograms();
    if (!m_meterPrograms)
        dialogs.error(this, TextTable::text(TextTable::ProgramUpdateFailed));
    if (!FillMeterList())
        dialogs.error(this, TextTable::text(TextTable::ProgramUpdateFailed));
    ShowWorkDir();
    if (!FillDirectoryList())
        dialogs.error(this, TextTable::text(TextTable::DirectoryReadFailed));
    if (const QString created = m_main.shared().usrDefProg->takeCreatedWorkDir(); !created.isEmpty())
        dialogs.information(
            this, TextTable::text(TextTable::WorkDirCreated).arg(QDir::toNativeSeparators(created)));
    UpdateConsoleButtons(true, true, QString());
    m_timUpdate->start();
}

void frmProgConsole::SetBusy(bool busy)
{
    m_main.SetMousePointer(busy ? 11 : 0);
    // The wait lets window events run: no button of the console may start a second command meanwhile.
    // Controls disabled on their own stay disabled when the window is enabled again.
    setEnabled(!busy);
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

bool frmProgConsole::ReadMeterPrograms()
{
    CUsrDefProg &prog = *m_main.shared().usrDefProg;
    SetBusy(true);
    frmWait &wait = m_main.waitDialog();
    wait.ShowWithText(TextTable::text(TextTable::DataLoading));
    bool ok = prog.Update();
    TellUser::link(prog.linkResult());
    // Cancel between two reads leaves programs whose fields were never read: the table is not used.
    if (!prog.updateRunning())
        ok = false;
    wait.Unload();
    SetBusy(false);
    return ok;
}

bool frmProgConsole::FillMeterList()
{
    const QSignalBlocker block(m_lstProgsMeter);
    m_lstProgsMeter->clear();
    // A table that could not be read completely is not shown (it is empty after a failure anyway).
    if (!m_meterPrograms)
        return true;
    QStringList list(CUsrDefProg::kListSize);
    qint16 count = 0;
    if (!m_main.shared().usrDefProg->ListMeter(list, count))
        return false;
    for (int i = 0; i < count; ++i)
        m_lstProgsMeter->addItem(list[i]);
    return true;
}

bool frmProgConsole::ReadDirectoryEntries(QStringList &entries) const
{
    entries.clear();
    QStringList numbers(CUsrDefProg::kListSize);
    QStringList names(CUsrDefProg::kListSize);
    qint16 count = 0;
    if (!m_main.shared().usrDefProg->ListPC(numbers, names, count))
        return false;
    for (int i = 0; i < count; ++i)
        entries.append(numbers[i] + QStringLiteral("   (") + names[i] + u')');
    return true;
}

bool frmProgConsole::FillDirectoryList()
{
    const QSignalBlocker block(m_lstProgsPC);
    m_lstProgsPC->clear();
    QStringList entries;
    if (!ReadDirectoryEntries(entries))
        return false;
    m_lstProgsPC->addItems(entries);
    return true;
}

bool frmProgConsole::FileNameFromEntry(const QString &entryIn, QString &strFileName)
{
    // The caller may pass the same string twice: a copy, not a reference.
    const QString strEntry = entryIn; // NOLINT(performance-unnecessary-copy-initialization)
    strFileName.clear();
    if (strEntry.size() < 7)
        return false;
    // The number is normally three digits; a file whose number is longer or shorter still gives its name.
    const qsizetype open = strEntry.indexOf(QStringLiteral("   ("));
    const qsizetype start = open < 0 ? 7 : open + 4;
    const qsizetype length = strEntry.size() - start - 1;
    if (length <= 0)
        return false;
    strFileName = strEntry.mid(start, length);
    return true;
}

bool frmProgConsole::MayStore(UserDialogs &dialogs, QWidget *parent, const CUsrDefProg &prog,
                              const ProgramRecord &program, bool &confirmed)
{
    confirmed = false;
    const CUsrDefProg::ProgramCheck check = prog.CheckProgramFields(program);
    if (!check.refusals.isEmpty()) {
        dialogs.warning(parent, (check.refusals + check.doubts).join(kCrLf));
        return false;
    }
    if (check.doubts.isEmpty())
        return true;
    confirmed = dialogs.question(parent,
                                 check.doubts.join(kCrLf) + kCrLf + kCrLf +
                                     TextTable::text(TextTable::ProgramSendAnyway),
                                 UserDialogs::Yes | UserDialogs::No, UserDialogs::No) == UserDialogs::Yes;
    return confirmed;
}

QString frmProgConsole::WorkDirCaption(const QString &path)
{
    const QChar separator = QDir::separator();
    const QStringList parts = path.split(separator);
    if (parts.size() < 3)
        return path;
    return parts.first() + separator + QStringLiteral("...") + separator + parts.last();
}

void frmProgConsole::ShowWorkDir()
{
    const QString path = QDir::toNativeSeparators(m_main.shared().usrDefProg->WorkDir());
    m_sbWorkDirText->setText(TextTable::text(TextTable::WorkingDirectoryLabel) + u' ' + path);
    m_fraProgsPC->setToolTip(path);
    m_fraProgsPC->setTitle(WorkDirCaption(path));
}

QString frmProgConsole::detailText(const char *field) const
{
    const QString name = QString::fromLatin1(field);
    if (auto *edit = findChild<QLineEdit *>(name))
        return edit->text();
    if (auto *combo = findChild<QComboBox *>(name))
        return combo->currentText();
    if (auto *check = findChild<QCheckBox *>(name))
        return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    return QString();
}

bool frmProgConsole::ShowProgramDetails(const ProgramRecord &program)
{
    m_form->showProgram(program);
    return true;
}

void frmProgConsole::ClearProgramDetails()
{
    m_form->clear();
}

int frmProgConsole::selectedRow(const QListWidget *list) const
{
    const QList<QListWidgetItem *> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

void frmProgConsole::SelectEntry(QListWidget *list, int row, bool fReload)
{
    QListWidget *other = list == m_lstProgsMeter ? m_lstProgsPC : m_lstProgsMeter;
    // The entry shown already is not read again (a refresh that keeps the selection).
    if (!fReload && selectedRow(list) == row && selectedRow(other) < 0)
        return;
    {
        const QSignalBlocker blockOther(other);
        const QSignalBlocker block(list);
        other->clearSelection();
        other->setCurrentRow(-1);
        list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    CUsrDefProg &prog = *m_main.shared().usrDefProg;
    ProgramRecord program;
    const QString entry = list->item(row)->text();
    bool ok = false;
    if (list == m_lstProgsMeter) {
        ok = prog.GetProgramMeter(program, entry);
    } else {
        QString fileName;
        if (FileNameFromEntry(entry, fileName)) {
            ok = prog.ReadFromFile(program, fileName);
            TellUser::file(prog.lastFileResult());
        }
    }
    if (ok)
        ok = ShowProgramDetails(program);
    if (!ok) {
        m_main.dialogs().error(this, TextTable::text(TextTable::ProgramReadFailed));
        ClearProgramDetails();
    }
}

void frmProgConsole::EntrySelectedByUser(QListWidget *list)
{
    const int row = selectedRow(list);
    if (row < 0)
        return;
    SelectEntry(list, row, true);
    const QString entry = list->item(row)->text();
    const bool meter = list == m_lstProgsMeter;
    QString key = entry;
    if (!meter)
        FileNameFromEntry(entry, key);
    UpdateConsoleButtons(false, meter, key);
}

void frmProgConsole::DefaultSelection(bool fPreferMeter)
{
    QListWidget *preferred = fPreferMeter ? m_lstProgsMeter : m_lstProgsPC;
    QListWidget *other = fPreferMeter ? m_lstProgsPC : m_lstProgsMeter;
    if (preferred->count() > 0) {
        SelectEntry(preferred, 0);
    } else if (other->count() > 0) {
        SelectEntry(other, 0);
    } else {
        for (QListWidget *list : {m_lstProgsMeter, m_lstProgsPC}) {
            const QSignalBlocker block(list);
            list->clearSelection();
        }
        ClearProgramDetails();
    }
}

void frmProgConsole::SelectAfterRefresh(bool fDefault, bool fMeter, const QString &strKey)
{
    if (fDefault) {
        DefaultSelection(fMeter);
        return;
    }
    if (fMeter) {
        if (m_lstProgsMeter->count() == 0) {
            DefaultSelection(false);
            return;
        }
        for (int i = 0; i < m_lstProgsMeter->count(); ++i) {
            if (m_lstProgsMeter->item(i)->text() == strKey) {
                SelectEntry(m_lstProgsMeter, i);
                return;
            }
        }
        DefaultSelection(true);
        return;
    }
    if (m_lstProgsPC->count() == 0) {
        DefaultSelection(true);
        return;
    }
    // The entry of exactly this file (a part of another file's name must not match).
    for (int i = 0; i < m_lstProgsPC->count(); ++i) {
        QString name;
        if (FileNameFromEntry(m_lstProgsPC->item(i)->text(), name) && name == strKey) {
            SelectEntry(m_lstProgsPC, i);
            return;
        }
    }
    DefaultSelection(false);
}

void frmProgConsole::UpdateConsoleButtons(bool fDefault, bool fMeter, const QString &strKey)
{
    const bool meterEntries = m_lstProgsMeter->count() > 0;
    const bool pcEntries = m_lstProgsPC->count() > 0;
    for (QPushButton *b : {m_cmdDeleteMeter, m_cmdDeleteAllMeter, m_cmdCopyToPC, m_cmdCopyToPCAll})
        b->setEnabled(meterEntries);
    for (QPushButton *b : {m_cmdDeletePC, m_cmdDeleteAllPC, m_cmdCopyToMeter, m_cmdCopyToMeterAll})
        b->setEnabled(pcEntries);
    m_cmdModifyProgram->setEnabled(meterEntries || pcEntries);
    m_cmdNewProgram->setEnabled(true);
    if (!m_main.shared().device->Online()) {
        m_cmdCopyToMeter->setEnabled(false);
        m_cmdCopyToMeterAll->setEnabled(false);
    }
    if (!m_meterPrograms) {
        for (QPushButton *b : {m_cmdModifyProgram, m_cmdNewProgram, m_cmdCopyToMeter, m_cmdCopyToMeterAll})
            b->setEnabled(false);
    }
    SelectAfterRefresh(fDefault, fMeter, strKey);
    if (selectedRow(m_lstProgsMeter) < 0) {
        m_cmdDeleteMeter->setEnabled(false);
        m_cmdCopyToPC->setEnabled(false);
    }
    if (selectedRow(m_lstProgsPC) < 0) {
        m_cmdDeletePC->setEnabled(false);
        m_cmdCopyToMeter->setEnabled(false);
    }
}

bool frmProgConsole::GetSelProgram(QString &strProgNum, QString &strFileName, bool &fMeterSelected) const
{
    strProgNum.clear();
    strFileName.clear();
    fMeterSelected = false;
    const int meterRow = selectedRow(m_lstProgsMeter);
    if (meterRow >= 0) {
        strProgNum = m_lstProgsMeter->item(meterRow)->text();
        fMeterSelected = true;
        return true;
    }
    const int pcRow = selectedRow(m_lstProgsPC);
    if (pcRow >= 0)
        return FileNameFromEntry(m_lstProgsPC->item(pcRow)->text(), strFileName);
    return false;
}

bool frmProgConsole::RequestSelProgram(const QString &strProgNum, const QString &strFileName,
                                       bool fMeterSelected)
{
    m_reqProgNum = strProgNum;
    m_reqFileName = strFileName;
    m_reqMeter = fMeterSelected;
    return true;
}

// The directory list must not change under a command. An exchange's wait lets window events run: the
// timer stops while the link waits on the line and starts again after it, whichever command exchanges.
void frmProgConsole::followExchange(bool running)
{
    if (running && m_timUpdate->isActive()) {
        m_timUpdate->stop();
        m_pausedForExchange = true;
    } else if (!running && m_pausedForExchange) {
        m_pausedForExchange = false;
        m_timUpdate->start();
    }
}

// Nor while a command waits for the user's answer in a dialog: the tick is left out, the next one polls.
void frmProgConsole::pollTick()
{
    const QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != this)
        return;
    UpdateDirectoryList();
}

void frmProgConsole::UpdateDirectoryList()
{
    // An unchanged folder is left as it is: the selected file is not read again every few seconds
    // (an unreadable one would otherwise bring its message back with every tick).
    QStringList entries;
    if (ReadDirectoryEntries(entries)) {
        QStringList shown;
        for (int i = 0; i < m_lstProgsPC->count(); ++i)
            shown.append(m_lstProgsPC->item(i)->text());
        if (shown == entries)
            return;
    }
    QString number;
    QString fileName;
    bool meter = false;
    const bool selected = GetSelProgram(number, fileName, meter);
    FillDirectoryList();
    if (selected)
        UpdateConsoleButtons(false, meter, meter ? number : fileName);
}

namespace {

// A full meter is reported like any store the meter did not take.
int storeFailureText(CUsrDefProg::StoreResult result)
{
    return result == CUsrDefProg::StoreResult::ModifyFailed ? TextTable::ProgramModifyFailed
                                                            : TextTable::ProgramSaveFailed;
}

} // namespace

frmProgConsole::Step frmProgConsole::CopyOneToPC(const QString &strProgNum)
{
    SharedObjects &shared = m_main.shared();
    UserDialogs &dialogs = m_main.dialogs();
    ProgramRecord program;
    if (!shared.usrDefProg->GetProgramMeter(program, strProgNum)) {
        dialogs.warning(this, TextTable::text(TextTable::SystemError));
        return Step::Failed;
    }
    program.USER = shared.login->UserName();
    QString path = dialogs.saveFileName(
        this, TextTable::text(TextTable::SaveAsCaption), shared.usrDefProg->ProposedFilePath(strProgNum),
        UserDialogs::filter(TextTable::text(TextTable::CsvFilter), QStringLiteral("*.csv")));
    if (path.isEmpty())
        return Step::Cancelled;
    SetBusy(true);
    const bool saved = shared.usrDefProg->SaveToFile(program, path);
    TellUser::file(shared.usrDefProg->lastFileResult());
    SetBusy(false);
    if (!saved) {
        dialogs.error(this, TextTable::text(TextTable::ProgramSaveFailed));
        return Step::Failed;
    }
    if (!FillDirectoryList()) {
        dialogs.error(this, TextTable::text(TextTable::DirectoryReadFailed));
        return Step::ListFailed;
    }
    return Step::Done;
}

void frmProgConsole::cmdCopyToPC_Click()
{
    const int row = selectedRow(m_lstProgsMeter);
    if (row < 0)
        return;
    const QString number = m_lstProgsMeter->item(row)->text();
    CopyOneToPC(number);
    UpdateConsoleButtons(false, true, number);
}

void frmProgConsole::cmdCopyToPCAll_Click()
{
    QString number, fileName;
    bool meter = false;
    if (m_lstProgsMeter->count() == 0 || !GetSelProgram(number, fileName, meter)) {
        m_main.dialogs().error(this, TextTable::text(TextTable::SystemError));
        return;
    }
    const QString key = meter ? number : fileName;
    QStringList numbers;
    for (int i = 0; i < m_lstProgsMeter->count(); ++i)
        numbers.append(m_lstProgsMeter->item(i)->text());
    for (const QString &program : numbers) {
        const Step step = CopyOneToPC(program);
        if (step == Step::Cancelled) {
            m_main.dialogs().warning(this, TextTable::text(TextTable::ProgramCopyCanceled) + kCrLf +
                                               TextTable::text(TextTable::ProgramsNotAllCopied));
            UpdateConsoleButtons(false, meter, key);
            return;
        }
        if (step == Step::Failed || step == Step::ListFailed) {
            UpdateConsoleButtons(step == Step::ListFailed, step == Step::ListFailed || meter, key);
            return;
        }
        UpdateConsoleButtons(false, meter, key);
    }
}

void frmProgConsole::cmdCopyToMeter_Click()
{
    const int row = selectedRow(m_lstProgsPC);
    if (row < 0)
        return;
    CUsrDefProg &prog = *m_main.shared().usrDefProg;
    UserDialogs &dialogs = m_main.dialogs();
    QString fileName;
    FileNameFromEntry(m_lstProgsPC->item(row)->text(), fileName);
    ProgramRecord program;
    if (!prog.ReadFromFile(program, fileName)) {
        TellUser::file(prog.lastFileResult());
        dialogs.error(this, TextTable::text(TextTable::ProgramReadFailed));
        UpdateConsoleButtons(false, false, fileName);
        return;
    }
    // A file may hold what the editor would never let through; the user decides what only looks odd.
    bool confirmed = false;
    if (!MayStore(dialogs, this, prog, program, confirmed)) {
        UpdateConsoleButtons(false, false, fileName);
        return;
    }
    const auto askModify = [&](const QString &number) {
        return dialogs.question(this,
                                TextTable::text(TextTable::ProgramExists) + kCrLf +
                                    TextTable::text(TextTable::ConfirmModifyProgram) + kCrLf +
                                    programNumberLine(number),
                                UserDialogs::Yes | UserDialogs::No, UserDialogs::No) == UserDialogs::Yes
                   ? CUsrDefProg::ExistingProgram::Modify
                   : CUsrDefProg::ExistingProgram::Keep;
    };
    using Result = CUsrDefProg::StoreResult;
    const Result result = prog.storeOrModify(
        program, askModify, [this](bool busy) { SetBusy(busy); }, confirmed);
    TellUser::link(prog.linkResult());
    if (result == Result::Added || result == Result::Modified)
        dialogs.information(this, TextTable::text(TextTable::ProgramSaved));
    else if (result != Result::Kept)
        dialogs.error(this, TextTable::text(storeFailureText(result)));
    if (!FillMeterList())
        dialogs.error(this, TextTable::text(TextTable::ProgramListReadFailed));
    UpdateConsoleButtons(false, false, fileName);
}

void frmProgConsole::cmdCopyToMeterAll_Click()
{
    CUsrDefProg &prog = *m_main.shared().usrDefProg;
    UserDialogs &dialogs = m_main.dialogs();
    QString number, selectedFile;
    bool meter = false;
    if (m_lstProgsPC->count() == 0 || !GetSelProgram(number, selectedFile, meter)) {
        dialogs.error(this, TextTable::text(TextTable::SystemError));
        return;
    }
    const QString key = meter ? number : selectedFile;
    QStringList files;
    for (int i = 0; i < m_lstProgsPC->count(); ++i) {
        QString name;
        FileNameFromEntry(m_lstProgsPC->item(i)->text(), name);
        files.append(name);
    }
    for (const QString &fileName : files) {
        ProgramRecord program;
        if (!prog.ReadFromFile(program, fileName)) {
            TellUser::file(prog.lastFileResult());
            dialogs.error(this, TextTable::text(TextTable::ProgramReadFailed));
            UpdateConsoleButtons(false, meter, key);
            return;
        }
        bool confirmed = false;
        if (!MayStore(dialogs, this, prog, program, confirmed)) {
            UpdateConsoleButtons(false, meter, key);
            return;
        }
        const auto askModify = [&](const QString &number) {
            const int answer = dialogs.question(
                this,
                TextTable::text(TextTable::ProgramExists) + kCrLf +
                    TextTable::text(TextTable::ConfirmModifyProgram) + kCrLf + programNumberLine(number),
                UserDialogs::Yes | UserDialogs::No | UserDialogs::Cancel, UserDialogs::No);
            if (answer == UserDialogs::Cancel)
                return CUsrDefProg::ExistingProgram::Cancel;
            return answer == UserDialogs::Yes ? CUsrDefProg::ExistingProgram::Modify
                                              : CUsrDefProg::ExistingProgram::Keep;
        };
        using Result = CUsrDefProg::StoreResult;
        const Result result = prog.storeOrModify(
            program, askModify, [this](bool busy) { SetBusy(busy); }, confirmed);
        TellUser::link(prog.linkResult());
        if (result == Result::Cancelled) {
            dialogs.warning(this, TextTable::text(TextTable::ProgramCopyCanceled) + kCrLf +
                                      TextTable::text(TextTable::ProgramsNotAllCopied));
            UpdateConsoleButtons(false, meter, key);
            return;
        }
        if (result != Result::Added && result != Result::Modified && result != Result::Kept) {
            dialogs.error(this, TextTable::text(storeFailureText(result)));
            FillMeterList();
            UpdateConsoleButtons(false, meter, key);
            return;
        }
        if (!FillMeterList()) {
            dialogs.error(this, TextTable::text(TextTable::ProgramListReadFailed));
            UpdateConsoleButtons(true, true, QString());
            return;
        }
        UpdateConsoleButtons(false, meter, key);
    }
}

bool frmProgConsole::ConfirmErase(const QString &text)
{
    frmConfirm confirm(this);
    confirm.setObjectName(QStringLiteral("frmConfirm"));
    confirm.SetText(text);
    return confirm.Result();
}

void frmProgConsole::cmdDeleteMeter_Click()
{
    const int row = selectedRow(m_lstProgsMeter);
    if (row < 0)
        return;
    UserDialogs &dialogs = m_main.dialogs();
    const QString number = m_lstProgsMeter->item(row)->text();
    if (!ConfirmErase(TextTable::text(TextTable::ConfirmEraseProgram) + kCrLf + programNumberLine(number)))
        return;
    SetBusy(true);
    const bool ok = m_main.shared().usrDefProg->Delete(number);
    TellUser::link(m_main.shared().usrDefProg->linkResult());
    SetBusy(false);
    if (!ok)
        dialogs.error(this, TextTable::text(TextTable::ProgramEraseFailed));
    if (!FillMeterList())
        dialogs.error(this, TextTable::text(TextTable::ProgramListReadFailed));
    UpdateConsoleButtons(true, true, QString());
}

void frmProgConsole::cmdDeleteAllMeter_Click()
{
    if (m_lstProgsMeter->count() == 0)
        return;
    UserDialogs &dialogs = m_main.dialogs();
    if (!ConfirmErase(TextTable::text(TextTable::ConfirmEraseAllPrograms)))
        return;
    SetBusy(true);
    const bool ok = m_main.shared().usrDefProg->DeleteAll();
    TellUser::link(m_main.shared().usrDefProg->linkResult());
    SetBusy(false);
    if (!ok)
        dialogs.error(this, TextTable::text(TextTable::EraseAllProgramsFailed));
    if (!FillMeterList())
        dialogs.error(this, TextTable::text(TextTable::ProgramListReadFailed));
    UpdateConsoleButtons(true, false, QString());
}

void frmProgConsole::cmdDeletePC_Click()
{
    UserDialogs &dialogs = m_main.dialogs();
    QString number, fileName;
    bool meter = false;
    if (!GetSelProgram(number, fileName, meter) || meter) {
        dialogs.error(this, TextTable::text(TextTable::SystemError));
        return;
    }
    // Linux has no shell question before the trash: the program asks itself.
    if (!ConfirmErase(TextTable::text(TextTable::ConfirmEraseProgram) + kCrLf + QStringLiteral("(") +
                      fileName + u')'))
        return;
    if (!m_main.shared().usrDefProg->DeleteFile(fileName))
        dialogs.error(this, TextTable::text(TextTable::ProgramEraseFailed));
    if (!FillDirectoryList())
        dialogs.error(this, TextTable::text(TextTable::DirectoryReadFailed));
    UpdateConsoleButtons(false, false, fileName);
}

void frmProgConsole::cmdDeleteAllPC_Click()
{
    UserDialogs &dialogs = m_main.dialogs();
    QString number, fileName;
    bool meter = false;
    if (m_lstProgsPC->count() == 0 || !GetSelProgram(number, fileName, meter)) {
        dialogs.error(this, TextTable::text(TextTable::SystemError));
        return;
    }
    if (!ConfirmErase(TextTable::text(TextTable::ConfirmEraseAllPrograms)))
        return;
    if (!m_main.shared().usrDefProg->DeleteFileAll())
        dialogs.error(this, TextTable::text(TextTable::EraseAllProgramsFailed));
    if (!FillDirectoryList())
        dialogs.error(this, TextTable::text(TextTable::DirectoryReadFailed));
    UpdateConsoleButtons(false, meter, meter ? number : fileName);
}

void frmProgConsole::OpenEditor(bool fNew)
{
    m_newProgram = fNew;
    m_timUpdate->stop();
    QString number, fileName;
    bool meter = false;
    GetSelProgram(number, fileName, meter);
    RequestSelProgram(number, fileName, meter);
    {
        frmProgEdit editor(m_main, *this);
        editor.exec();
    }
    UserDialogs &dialogs = m_main.dialogs();
    if (!FillMeterList())
        dialogs.error(this, TextTable::text(TextTable::ProgramListReadFailed));
    if (!FillDirectoryList())
        dialogs.error(this, TextTable::text(TextTable::DirectoryReadFailed));
    const bool nothing = m_reqProgNum.isEmpty() && m_reqFileName.isEmpty();
    UpdateConsoleButtons(nothing, m_reqMeter, m_reqMeter ? m_reqProgNum : m_reqFileName);
}

void frmProgConsole::cmdModifyProgram_Click()
{
    QString number, fileName;
    bool meter = false;
    if (!GetSelProgram(number, fileName, meter)) {
        m_main.dialogs().error(this, TextTable::text(TextTable::SystemError));
        return;
    }
    OpenEditor(false);
    m_timUpdate->start();
}

void frmProgConsole::cmdNewProgram_Click()
{
    QString free;
    if (m_main.shared().usrDefProg->GetFreeProgNumMeter(free)) {
        OpenEditor(true);
    } else {
        m_timUpdate->stop();
        m_main.dialogs().warning(this, TextTable::text(TextTable::AllProgramSlotsOccupied) + kCrLf +
                                           TextTable::text(TextTable::EraseProgramFirst));
    }
    m_timUpdate->start();
}

void frmProgConsole::cmdChangeWorkDir_Click()
{
    m_timUpdate->stop();
    QString number, fileName;
    bool meter = false;
    const bool selected = GetSelProgram(number, fileName, meter);
    QString path;
    {
        frmChangeDir dialog(m_main, this);
        path = dialog.Path();
    }
    if (!path.isEmpty()) {
        m_main.shared().usrDefProg->setWorkDir(path);
        ShowWorkDir();
        if (!FillDirectoryList())
            m_main.dialogs().error(this, TextTable::text(TextTable::DirectoryReadFailed));
    }
    m_timUpdate->start();
    if (selected)
        UpdateConsoleButtons(false, meter, meter ? number : fileName);
    else
        UpdateConsoleButtons(true, true, QString());
}
