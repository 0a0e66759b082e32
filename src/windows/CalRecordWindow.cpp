#include "CalRecordWindow.h"

#include "CCalProtocol.h"
#include "CPrint.h"
#include "frmWait.h"
#include "GuiAssets.h"
#include "MainWindowContext.h"
#include "NumberText.h"
#include "PrintJobs.h"
#include "SharedObjects.h"
#include "TellUser.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace CalRecordWindows {

QString oneDecimal(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    // Adding 0 turns a negative zero into zero, which shows without a sign.
    return locale.toString(value + 0.0, 'f', 1);
}

QString slopeText(const QString &slope, bool fShowSlopePC)
{
    if (fShowSlopePC)
        return oneDecimal(NumberText::Val(slope) / -59.16 * 100.0) + QStringLiteral(" %");
    return slope + QStringLiteral(" mV/pH");
}

QString temperatureText(MainWindowContext &main, const QString &celsius, bool fShowTempF)
{
    if (fShowTempF)
        return oneDecimal(main.shared().calProtocol->TempGetFahrenheit(NumberText::Val(celsius))) +
               QStringLiteral(" \u00b0F");
    return celsius + QStringLiteral(" \u00b0C");
}

void installHelp(MainWindowContext &main, QWidget *window, int contextNumber)
{
    auto *help = new QShortcut(QKeySequence::HelpContents, window);
    QObject::connect(help, &QShortcut::activated, window,
                     [&main, contextNumber] { main.showHelp(contextNumber); });
}

} // namespace CalRecordWindows

namespace {

QString recordFilter()
{
    return UserDialogs::filter(TextTable::text(TextTable::CsvFilter), QStringLiteral("*.csv"));
}

} // namespace

CalRecordWindow::CalRecordWindow(MainWindowContext &main, const QString &objectName)
    : QDialog(&main.frameWidget()), m_main(main), m_frmDevice(new QGroupBox(this)),
      m_frmProtocol(new QGroupBox(this)), m_cmdSaveAsFile(new QPushButton(this)),
      m_cmdReadFile(new QPushButton(this)), m_cmdPrint(new QPushButton(this)),
      m_cmdCancel(new QPushButton(this)), m_cmdPrintMore(new QToolButton(this))
{
    setObjectName(objectName);
    m_frmDevice->setObjectName(QStringLiteral("frmDevice"));
    m_frmProtocol->setObjectName(QStringLiteral("frmProtocol"));
    m_cmdSaveAsFile->setObjectName(QStringLiteral("cmdSaveAsFile"));
    m_cmdReadFile->setObjectName(QStringLiteral("cmdReadFile"));
    m_cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(m_cmdSaveAsFile, &QPushButton::clicked, this, &CalRecordWindow::SaveAsFile);
    connect(m_cmdReadFile, &QPushButton::clicked, this, &CalRecordWindow::ReadFile);
    connect(m_cmdPrint, &QPushButton::clicked, this, &CalRecordWindow::PrintRecord);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    m_cmdPrintMore->setObjectName(QStringLiteral("cmdPrintMore"));
    m_cmdPrintMore->setPopupMode(QToolButton::InstantPopup);
    m_cmdPrintMore->setArrowType(Qt::DownArrow);
    auto *more = new QMenu(m_cmdPrintMore);
    const struct {
        const char *name;
        int text;
        std::function<void()> run;
    } commands[] = {
        {"actPrintPreview", TextTable::MenuFilePrintPreview, [this] { PrintPreview(); }},
        {"actPrintPdf", TextTable::PdfButton, [this] { PrintToPdf(); }},
        {"actPageSetup", TextTable::MenuFilePageSetup, [this] { PrintJobs::pageSetup(this); }},
    };
    for (const auto &command : commands) {
        QAction *action = more->addAction(QString());
        action->setObjectName(QString::fromLatin1(command.name));
        TextApplier::tag(action, command.text);
        connect(action, &QAction::triggered, this, command.run);
    }
    m_cmdPrintMore->setMenu(more);
}

QLabel *CalRecordWindow::addLabel(QWidget *parent, const QString &name, int captionNumber)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    if (captionNumber > 0)
        TextApplier::tag(label, captionNumber);
    else
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString CalRecordWindow::labelText(const QString &name) const
{
    const QLabel *label = findChild<QLabel *>(name);
    return label ? label->text() : QString();
}

QHBoxLayout *CalRecordWindow::buttonRow(const QList<QPushButton *> &ownCommands)
{
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdSaveAsFile);
    buttons->addWidget(m_cmdReadFile);
    for (QPushButton *button : ownCommands)
        buttons->addWidget(button);
    buttons->addWidget(m_cmdPrint);
    buttons->addWidget(m_cmdPrintMore);
    buttons->addStretch();
    buttons->addWidget(m_cmdCancel);
    return buttons;
}

void CalRecordWindow::Load(int titleNumber, const QList<QPushButton *> &ownCommands, bool meterSupportsKind)
{
    TextApplier::tag(this, titleNumber);
    TextApplier::tag(m_cmdSaveAsFile, TextTable::SaveAsFile);
    TextApplier::tag(m_cmdReadFile, TextTable::OpenFileCaption);
    TextApplier::tag(m_cmdPrint, TextTable::ToolPrint);
    TextApplier::tag(m_cmdCancel, TextTable::Cancel);
    TextApplier::tag(m_cmdPrintMore, 0, TextTable::PrintMore);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    CalRecordWindows::installHelp(m_main, this, kHelpContext);
    QList<QWidget *> order = {m_cmdSaveAsFile, m_cmdReadFile};
    for (QPushButton *button : ownCommands)
        order << button;
    order << m_cmdPrint << m_cmdPrintMore << m_cmdCancel;
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QGroupBox *frame : findChildren<QGroupBox *>(Qt::FindDirectChildrenOnly))
        frame->setTitle(QString());

    ClearDisplay();
    if (meterSupportsKind) {
        if (!ReadFromMeter() || !ShowRecord())
            m_main.dialogs().error(this, TextTable::text(TextTable::CalRecordReadFailed));
    }
    UpdateButtons();
    m_cmdCancel->setFocus();
}

void CalRecordWindow::showCommonValues(const QString &meter, const QString &serial, const QString &user,
                                       const QString &date, const QString &time, const QString &interval,
                                       const QString &mode)
{
    m_lblMeterValue->setText(meter);
    m_lblSerNoValue->setText(serial);
    m_lblUserValue->setText(user);
    m_lblCalDateValue->setText(date);
    m_lblCalTimeValue->setText(time);
    m_lblCalIntervalValue->setText(interval + QLatin1Char(' ') + TextTable::text(TextTable::Days));
    m_lblCalModeValue->setText(mode);
}

void CalRecordWindow::clearCommonValues()
{
    for (QLabel *label : {m_lblMeterValue, m_lblSerNoValue, m_lblUserValue, m_lblCalDateValue,
                          m_lblCalTimeValue, m_lblCalIntervalValue, m_lblCalModeValue})
        label->clear();
}

void CalRecordWindow::UpdateButtons()
{
    const bool valid = m_main.shared().calProtocol->IsProtocolValid();
    m_cmdSaveAsFile->setEnabled(valid);
    m_cmdPrint->setEnabled(valid);
    m_cmdPrintMore->setEnabled(valid);
    m_cmdReadFile->setEnabled(true);
    m_cmdCancel->setEnabled(true);
}

bool CalRecordWindow::readFromMeter(bool fPH, bool fExtended)
{
    m_main.SetMousePointer(11);
    setCursor(Qt::WaitCursor);
    frmWait &wait = m_main.waitDialog();
    bool ok = false;
    if (wait.ShowWithText(TextTable::text(TextTable::DataLoading))) {
        ok = m_main.shared().calProtocol->UpdateFromMeter(fPH, fExtended);
        TellUser::link(m_main.shared().calProtocol->linkResult());
    }
    wait.Unload();
    m_main.SetMousePointer(0);
    unsetCursor();
    return ok;
}

void CalRecordWindow::SaveAsFile()
{
    UserDialogs &dialogs = m_main.dialogs();
    CCalProtocol &record = *m_main.shared().calProtocol;
    QString proposal;
    if (!record.ProposedFileName(saveKindWord(), proposal)) {
        dialogs.error(this, TextTable::text(TextTable::RecordSaveFailed));
        return;
    }
    const QString path =
        dialogs.saveFileName(this, TextTable::text(TextTable::SaveAsCaption), proposal, recordFilter());
    if (path.isEmpty())
        return;
    if (!record.SaveToFile(path)) {
        TellUser::file(record.lastFileResult());
        dialogs.error(this, TextTable::text(TextTable::RecordSaveFailed));
    }
}

void CalRecordWindow::ReadFile()
{
    UserDialogs &dialogs = m_main.dialogs();
    const QString path =
        dialogs.openFileName(this, TextTable::text(TextTable::OpenFileCaption), QString(), recordFilter());
    if (path.isEmpty())
        return;
    if (!m_main.shared().calProtocol->ReadFromFile(path)) {
        TellUser::file(m_main.shared().calProtocol->lastFileResult());
        dialogs.error(this, TextTable::text(TextTable::FileReadError));
        return;
    }
    ClearDisplay();
    if (!isOwnKind() || !ShowRecord())
        dialogs.error(this, TextTable::text(TextTable::CalRecordReadFailed));
    UpdateButtons();
}

void CalRecordWindow::PrintRecord()
{
    UserDialogs &dialogs = m_main.dialogs();
    CPrint &print = *m_main.shared().print;
    if (!print.PrinterAvailable()) {
        // Without a printer the printout can still go to a file.
        if (dialogs.message(this, TextTable::text(TextTable::InformationCaption),
                            TextTable::text(TextTable::NoPrinterOfferPdf), UserDialogs::Icon::Question,
                            UserDialogs::Yes | UserDialogs::No) == UserDialogs::Yes)
            PrintToPdf();
        return;
    }
    const int answer = dialogs.message(this, TextTable::text(TextTable::InformationCaption),
                                       TextTable::text(TextTable::PrintOnPrinterLabel) + QLatin1Char(' ') +
                                           print.PrinterName(),
                                       UserDialogs::Icon::Information, UserDialogs::Yes | UserDialogs::No);
    if (answer != UserDialogs::Yes)
        return;
    m_main.SetMousePointer(11);
    const bool ok = PrintJobs::printRecorded(m_main, printJob(), windowTitle());
    m_main.SetMousePointer(0);
    if (!ok)
        dialogs.error(this, TextTable::text(TextTable::PrintError));
}

PrintJobs::Job CalRecordWindow::printJob()
{
    return {[](CPrint &print) { return print.PrintCalProtocol(); }, {}};
}

void CalRecordWindow::PrintPreview()
{
    PrintJobs::preview(this, *m_main.shared().print, printJob());
}

bool CalRecordWindow::PrintToPdf()
{
    QString proposal;
    m_main.shared().calProtocol->ProposedFileName(saveKindWord(), proposal);
    if (!proposal.isEmpty())
        proposal = QFileInfo(proposal).completeBaseName() + QStringLiteral(".pdf");
    return PrintJobs::saveAsPdf(this, m_main, printJob(), proposal);
}
