#include "frmCalProtocolPH.h"

#include "CCalProtocol.h"
#include "CDevice.h"
#include "CPrint.h"
#include "frmWait.h"
#include "GuiAssets.h"
#include "MainWindowContext.h"
#include "NumberText.h"
#include "SharedObjects.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace CalRecordWindows {

QLabel *addLabel(QWidget *parent, const QString &name, int captionNumber)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    if (captionNumber > 0)
        TextApplier::tag(label, captionNumber);
    else
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString labelText(const QWidget *window, const QString &name)
{
    const QLabel *label = window->findChild<QLabel *>(name);
    return label ? label->text() : QString();
}

QBoxLayout *headBand(QWidget *window, const CIni &ini)
{
    // The picture fades into white at its right end: the band continues it in white up to the logo,
    // so a wider window does not stretch the picture.
    QPalette white = window->palette();
    white.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xFF));
    auto *imgHead = new QLabel(window);
    imgHead->setObjectName(QStringLiteral("imgHead"));
    const QPixmap head = GuiAssets::head().scaledToHeight(48, Qt::SmoothTransformation);
    imgHead->setPixmap(head);
    // Never narrower than the picture, whose fade would otherwise end in a hard edge.
    imgHead->setMinimumWidth(head.width());
    imgHead->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    imgHead->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    imgHead->setFixedHeight(48);
    imgHead->setAutoFillBackground(true);
    imgHead->setPalette(white);
    auto *imgLogo = new QLabel(window);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    const QPixmap logo = GuiAssets::logo(ini);
    imgLogo->setPixmap(logo);
    imgLogo->setFixedHeight(48);
    imgLogo->setAutoFillBackground(true);
    imgLogo->setPalette(white);
    imgLogo->setVisible(!logo.isNull());
    auto *band = new QHBoxLayout;
    band->setSpacing(0);
    band->addWidget(imgHead, 1);
    band->addWidget(imgLogo);
    return band;
}

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

bool readFromMeter(MainWindowContext &main, QWidget *window, bool fPH, bool fExtended)
{
    main.SetMousePointer(11);
    window->setCursor(Qt::WaitCursor);
    frmWait &wait = main.waitDialog();
    bool ok = false;
    if (wait.ShowWithText(TextTable::text(1149)))
        ok = main.shared().calProtocol->UpdateFromMeter(fPH, fExtended);
    wait.Unload();
    main.SetMousePointer(0);
    window->unsetCursor();
    return ok;
}

namespace {

QString recordFilter()
{
    return UserDialogs::filter(TextTable::text(1113), QStringLiteral("*.csv"));
}

} // namespace

void saveRecord(MainWindowContext &main, QWidget *window, const QString &kindWord)
{
    UserDialogs &dialogs = main.dialogs();
    CCalProtocol &record = *main.shared().calProtocol;
    QString proposal;
    if (!record.ProposedFileName(kindWord, proposal)) {
        dialogs.error(window, TextTable::text(1229));
        return;
    }
    const QString path = dialogs.saveFileName(window, TextTable::text(1112), proposal, recordFilter());
    if (path.isEmpty())
        return;
    if (!record.SaveToFile(path))
        dialogs.error(window, TextTable::text(1229));
}

bool openRecord(MainWindowContext &main, QWidget *window)
{
    UserDialogs &dialogs = main.dialogs();
    const QString path = dialogs.openFileName(window, TextTable::text(1230), QString(), recordFilter());
    if (path.isEmpty())
        return false;
    if (!main.shared().calProtocol->ReadFromFile(path)) {
        dialogs.error(window, TextTable::text(1180));
        return false;
    }
    return true;
}

void printRecord(MainWindowContext &main, QWidget *window)
{
    UserDialogs &dialogs = main.dialogs();
    CPrint &print = *main.shared().print;
    if (!print.PrinterAvailable()) {
        dialogs.error(window, TextTable::text(1211));
        return;
    }
    const int answer = dialogs.message(window, TextTable::text(1054),
                                       TextTable::text(1210) + QLatin1Char(' ') + print.PrinterName(),
                                       UserDialogs::Icon::Information, UserDialogs::Yes | UserDialogs::No);
    if (answer != UserDialogs::Yes)
        return;
    main.SetMousePointer(11);
    const bool ok = print.PrintCalProtocol();
    main.SetMousePointer(0);
    if (!ok)
        dialogs.error(window, TextTable::text(1209));
}

void installHelp(MainWindowContext &main, QWidget *window, int contextNumber)
{
    auto *help = new QShortcut(QKeySequence::HelpContents, window);
    QObject::connect(help, &QShortcut::activated, window,
                     [&main, contextNumber] { main.showHelp(contextNumber); });
}

} // namespace CalRecordWindows

frmCalProtocolPH::frmCalProtocolPH(MainWindowContext &main)
    : QDialog(&main.frameWidget()), m_main(main), m_frmDevice(new QGroupBox(this)),
      m_frmProtocol(new QGroupBox(this)), m_cmdSaveAsFile(new QPushButton(this)),
      m_cmdReadFile(new QPushButton(this)), m_cmdPrint(new QPushButton(this)),
      m_cmdCancel(new QPushButton(this))
{
    setObjectName(QStringLiteral("frmCalProtocolPH"));
    m_frmDevice->setObjectName(QStringLiteral("frmDevice"));
    m_frmProtocol->setObjectName(QStringLiteral("frmProtocol"));

    auto *device = new QGridLayout(m_frmDevice);
    const char *deviceNames[3] = {"lblMeter", "lblSerNo", "lblUser"};
    const int deviceCaptions[3] = {1063, 1064, 1176};
    QLabel **deviceValues[3] = {&m_lblMeterValue, &m_lblSerNoValue, &m_lblUserValue};
    for (int i = 0; i < 3; ++i) {
        device->addWidget(addLabel(m_frmDevice, deviceNames[i], deviceCaptions[i]), i, 0);
        *deviceValues[i] = addLabel(m_frmDevice, QByteArray(deviceNames[i]).append("Value").constData());
        device->addWidget(*deviceValues[i], i, 1);
    }
    device->setColumnStretch(1, 1);

    // Date, time, interval and mode on the left; slope, asymmetry and sensor on the right.
    auto *protocol = new QGridLayout;
    struct Pair {
        const char *caption;
        int number;
        const char *value;
        QLabel **target;
        int row;
        int column;
    };
    const Pair pairs[] = {
        {"lblCalDate", 1049, "lblCalDateValue", &m_lblCalDateValue, 0, 0},
        {"lblCalTime", 1050, "lblCalTimeValue", &m_lblCalTimeValue, 1, 0},
        {"lblCalInterval", 1222, "lblCalIntervalValue", &m_lblCalIntervalValue, 2, 0},
        {"lblCalMode", 1224, "lblCalModeValue", &m_lblCalModeValue, 3, 0},
        {"lblSlope", 1225, "lblSlopeValue", &m_lblSlopeValue, 0, 2},
        {"lblAsy", 1226, "lblAsyValue", &m_lblAsyValue, 1, 2},
        {"lblSensQual", 1227, "lblSensQualValue", &m_lblSensQualValue, 2, 2},
    };
    for (const Pair &pair : pairs) {
        protocol->addWidget(addLabel(m_frmProtocol, pair.caption, pair.number), pair.row, pair.column);
        *pair.target = addLabel(m_frmProtocol, pair.value);
        protocol->addWidget(*pair.target, pair.row, pair.column + 1);
    }
    protocol->setColumnStretch(1, 1);
    protocol->setColumnStretch(3, 1);
    protocol->setColumnMinimumWidth(1, 150);
    protocol->setColumnMinimumWidth(3, 110);

    auto *rule = new QFrame(m_frmProtocol);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto *buffers = new QGridLayout;
    for (int k = 0; k < 3; ++k) {
        const QByteArray n = QByteArray::number(k + 1);
        m_lblBufNo[k] = addLabel(m_frmProtocol, QByteArray("lblBufNo" + n).constData());
        m_lblBufPH[k] = addLabel(m_frmProtocol, QByteArray("lblBufPH" + n).constData());
        m_lblBufVolt[k] = addLabel(m_frmProtocol, QByteArray("lblBufVolt" + n).constData());
        m_lblBufTemp[k] = addLabel(m_frmProtocol, QByteArray("lblBufTemp" + n).constData());
        m_lblBufPH[k]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_lblBufVolt[k]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_lblBufTemp[k]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Each row keeps its height when empty, so the table does not jump.
        m_lblBufNo[k]->setMinimumHeight(m_lblBufNo[k]->fontMetrics().height());
        buffers->addWidget(m_lblBufNo[k], k, 0);
        buffers->addWidget(m_lblBufPH[k], k, 1);
        buffers->addWidget(m_lblBufVolt[k], k, 2);
        buffers->addWidget(m_lblBufTemp[k], k, 3);
    }
    buffers->setColumnMinimumWidth(0, 40);
    for (int c = 1; c < 4; ++c)
        buffers->setColumnMinimumWidth(c, 100);
    // The numbers stay together at the left; the space left over goes to the right.
    buffers->setColumnStretch(4, 1);
    auto *protocolBox = new QVBoxLayout(m_frmProtocol);
    protocolBox->addLayout(protocol);
    protocolBox->addWidget(rule);
    protocolBox->addLayout(buffers);

    m_cmdSaveAsFile->setObjectName(QStringLiteral("cmdSaveAsFile"));
    m_cmdReadFile->setObjectName(QStringLiteral("cmdReadFile"));
    m_cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_cmdSaveAsFile);
    buttons->addWidget(m_cmdReadFile);
    buttons->addWidget(m_cmdPrint);
    buttons->addStretch();
    buttons->addWidget(m_cmdCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(CalRecordWindows::headBand(this, *m_main.shared().ini));
    layout->addWidget(m_frmDevice);
    layout->addWidget(m_frmProtocol);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_cmdSaveAsFile, &QPushButton::clicked, this, &frmCalProtocolPH::SaveAsFile);
    connect(m_cmdReadFile, &QPushButton::clicked, this, &frmCalProtocolPH::ReadFile);
    connect(m_cmdPrint, &QPushButton::clicked, this, &frmCalProtocolPH::PrintRecord);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    Load();
}

QLabel *frmCalProtocolPH::addLabel(QWidget *parent, const char *name, int captionNumber)
{
    return CalRecordWindows::addLabel(parent, QString::fromLatin1(name), captionNumber);
}

QString frmCalProtocolPH::labelText(const QString &name) const
{
    return CalRecordWindows::labelText(this, name);
}

void frmCalProtocolPH::Load()
{
    TextApplier::tag(this, 1220);
    TextApplier::tag(m_cmdSaveAsFile, 1111);
    TextApplier::tag(m_cmdReadFile, 1230);
    TextApplier::tag(m_cmdPrint, 1023);
    TextApplier::tag(m_cmdCancel, 1069);
    TextApplier::apply(this);
    GuiAssets::applyIcon(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    CalRecordWindows::installHelp(m_main, this, kHelpContext);
    setTabOrder(m_cmdSaveAsFile, m_cmdReadFile);
    setTabOrder(m_cmdReadFile, m_cmdPrint);
    setTabOrder(m_cmdPrint, m_cmdCancel);
    m_frmDevice->setTitle(QString());
    m_frmProtocol->setTitle(QString());

    ClearDisplay();
    if (m_main.shared().device->SupportsPH()) {
        if (!ReadFromMeter() || !ShowRecord())
            m_main.dialogs().error(this, TextTable::text(1221));
    }
    UpdateButtons();
    m_cmdCancel->setFocus();
}

bool frmCalProtocolPH::ReadFromMeter()
{
    return CalRecordWindows::readFromMeter(m_main, this, true, false);
}

bool frmCalProtocolPH::ShowRecord()
{
    const CCalProtocol &record = *m_main.shared().calProtocol;
    QString meter, serial, user, date, time, interval, mode, slope, asymmetry, quality;
    bool fahrenheit = false;
    bool percent = false;
    qint16 points = 0;
    QStringList ph(3), voltage(3), temperature(3);
    if (!record.GetProtocolPH(meter, serial, user, date, time, interval, mode, slope, asymmetry, quality,
                              fahrenheit, percent, points, ph, voltage, temperature))
        return false;
    m_lblMeterValue->setText(meter);
    m_lblSerNoValue->setText(serial);
    m_lblUserValue->setText(user);
    m_lblCalDateValue->setText(date);
    m_lblCalTimeValue->setText(time);
    m_lblCalIntervalValue->setText(interval + QLatin1Char(' ') + TextTable::text(1223));
    m_lblCalModeValue->setText(mode);
    m_lblSlopeValue->setText(CalRecordWindows::slopeText(slope, percent));
    m_lblAsyValue->setText(asymmetry + QStringLiteral(" mV"));
    m_lblSensQualValue->setText(quality);
    for (int k = 0; k < 3 && k < points; ++k) {
        m_lblBufNo[k]->setText(QStringLiteral("#%1").arg(k + 1));
        m_lblBufPH[k]->setText(ph.value(k));
        m_lblBufVolt[k]->setText(voltage.value(k) + QStringLiteral(" mV"));
        m_lblBufTemp[k]->setText(CalRecordWindows::temperatureText(m_main, temperature.value(k), fahrenheit));
    }
    return true;
}

void frmCalProtocolPH::ClearDisplay()
{
    for (QLabel *label :
         {m_lblMeterValue, m_lblSerNoValue, m_lblUserValue, m_lblCalDateValue, m_lblCalTimeValue,
          m_lblCalIntervalValue, m_lblCalModeValue, m_lblSlopeValue, m_lblAsyValue, m_lblSensQualValue})
        label->clear();
    for (int k = 0; k < 3; ++k) {
        m_lblBufNo[k]->clear();
        m_lblBufPH[k]->clear();
        m_lblBufVolt[k]->clear();
        m_lblBufTemp[k]->clear();
    }
}

void frmCalProtocolPH::UpdateButtons()
{
    const bool valid = m_main.shared().calProtocol->IsProtocolValid();
    m_cmdSaveAsFile->setEnabled(valid);
    m_cmdPrint->setEnabled(valid);
    m_cmdReadFile->setEnabled(true);
    m_cmdCancel->setEnabled(true);
}

void frmCalProtocolPH::SaveAsFile()
{
    const bool ph = m_main.shared().calProtocol->IsProtocolPH();
    CalRecordWindows::saveRecord(m_main, this, ph ? QStringLiteral("pH") : QStringLiteral("Turb"));
}

void frmCalProtocolPH::ReadFile()
{
    if (!CalRecordWindows::openRecord(m_main, this))
        return;
    ClearDisplay();
    if (!m_main.shared().calProtocol->IsProtocolPH() || !ShowRecord())
        m_main.dialogs().error(this, TextTable::text(1221));
    UpdateButtons();
}

void frmCalProtocolPH::PrintRecord()
{
    CalRecordWindows::printRecord(m_main, this);
}
