#include "frmCalProtocolTurb.h"

#include "CCalProtocol.h"
#include "CDevice.h"
#include "frmCalProtEdit.h"
#include "HeaderBand.h"
#include "MainWindowContext.h"
#include "SharedObjects.h"
#include "TextApplier.h"
#include "TextTable.h"
#include "UserDialogs.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kUnit = QStringLiteral(" FNU/NTU");

} // namespace

frmCalProtocolTurb::frmCalProtocolTurb(MainWindowContext &main)
    : CalRecordWindow(main, QStringLiteral("frmCalProtocolTurb")), m_frmCharge(new QGroupBox(this)),
      m_cmdEditLOT(new QPushButton(this))
{
    m_frmCharge->setObjectName(QStringLiteral("frmCharge"));
    m_cmdEditLOT->setObjectName(QStringLiteral("cmdEditLOT"));
    buildValueFrames();
    auto *frames = new QHBoxLayout;
    frames->addWidget(m_frmDevice, 1);
    frames->addWidget(m_frmProtocol, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(HeaderBand::inLayout(this, *m_main.shared().ini));
    layout->addLayout(frames);
    layout->addWidget(m_frmCharge);
    layout->addLayout(buttonRow({m_cmdEditLOT}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_cmdEditLOT, &QPushButton::clicked, this, &frmCalProtocolTurb::EditLot);
    TextApplier::tag(m_cmdEditLOT, TextTable::EditLot);
    Load(TextTable::CalRecordTurbidityCaption, {m_cmdEditLOT}, m_main.shared().device->SupportsTurbidity());
}

void frmCalProtocolTurb::buildValueFrames()
{
    struct Pair {
        QGroupBox *frame;
        const char *name;
        int number;
        QLabel **value;
    };
    const Pair pairs[] = {
        {m_frmDevice, "lblMeter", TextTable::MeterLabel, &m_lblMeterValue},
        {m_frmDevice, "lblSerNo", TextTable::SerialNumberLabel, &m_lblSerNoValue},
        {m_frmDevice, "lblUser", TextTable::UserLabel, &m_lblUserValue},
        {m_frmProtocol, "lblCalDate", TextTable::DateLabel, &m_lblCalDateValue},
        {m_frmProtocol, "lblCalTime", TextTable::TimeLabel, &m_lblCalTimeValue},
        {m_frmProtocol, "lblCalInterval", TextTable::IntervalLabel, &m_lblCalIntervalValue},
        {m_frmProtocol, "lblCalMode", TextTable::ModeLabel, &m_lblCalModeValue},
        {m_frmCharge, "lblLOTTotal", TextTable::SetLotNumberLabel, &m_lblLOTTotalValue},
        {m_frmCharge, "lblExpiry", TextTable::ExpiryDateLabel, &m_lblExpiryValue},
        {m_frmCharge, "lblManufacturer", TextTable::ManufacturerLabel, &m_lblManufacturerValue},
    };
    auto *device = new QGridLayout(m_frmDevice);
    auto *protocol = new QGridLayout(m_frmProtocol);
    auto *charge = new QGridLayout(m_frmCharge);
    int deviceRows = 0;
    int protocolRows = 0;
    int chargeRows = 0;
    for (const Pair &pair : pairs) {
        QGridLayout *grid = pair.frame == m_frmDevice     ? device
                            : pair.frame == m_frmProtocol ? protocol
                                                          : charge;
        int &rows = grid == device ? deviceRows : grid == protocol ? protocolRows : chargeRows;
        const int row = rows++;
        const QString name = QString::fromLatin1(pair.name);
        grid->addWidget(addLabel(pair.frame, name, pair.number), row, 0);
        *pair.value = addLabel(pair.frame, name + QStringLiteral("Value"));
        grid->addWidget(*pair.value, row, 1, 1, grid == charge ? 2 : 1);
    }
    device->setColumnStretch(1, 1);
    device->setRowStretch(deviceRows, 1);
    device->setColumnMinimumWidth(1, 140);
    protocol->setColumnStretch(1, 1);
    protocol->setColumnMinimumWidth(1, 140);

    buildStandardsTable(charge, chargeRows + 1);
}

// The standards table below the set's lot fields.
void frmCalProtocolTurb::buildStandardsTable(QGridLayout *charge, int head)
{
    charge->setRowMinimumHeight(head - 1, 8);
    const char *headings[3] = {"lblUsedStds", "lblStdComment", "lblStdStatus"};
    const int headingNumbers[3] = {TextTable::ColumnStandard, TextTable::ColumnComment,
                                   TextTable::ColumnLotStatus};
    for (int c = 0; c < 3; ++c) {
        QLabel *heading = addLabel(m_frmCharge, QString::fromLatin1(headings[c]), headingNumbers[c]);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        charge->addWidget(heading, head, c);
    }
    const char *rows[kRows] = {"lblStdLow", "lblStdMid", "lblStdHigh", "lblStd4", "lblStd5"};
    for (int i = 0; i < kRows; ++i) {
        const QString name = QString::fromLatin1(rows[i]);
        m_lblStd[i] = addLabel(m_frmCharge, name);
        m_lblStdValue[i] = addLabel(m_frmCharge, name + QStringLiteral("Value"));
        m_lblStdStatus[i] = addLabel(m_frmCharge, name + QStringLiteral("Status"));
        // Each row keeps its height when empty, so the table does not jump.
        m_lblStd[i]->setMinimumHeight(m_lblStd[i]->fontMetrics().height());
        charge->addWidget(m_lblStd[i], head + 1 + i, 0);
        charge->addWidget(m_lblStdValue[i], head + 1 + i, 1);
        charge->addWidget(m_lblStdStatus[i], head + 1 + i, 2);
    }
    charge->setColumnMinimumWidth(0, 130);
    charge->setColumnMinimumWidth(1, 170);
    charge->setColumnStretch(1, 1);
}

bool frmCalProtocolTurb::ReadFromMeter()
{
    // A Klaro 7 keeps the extended record with the nominal values of its standards.
    const bool extended = m_main.shared().device->IsKlaro7(QString());
    return readFromMeter(false, extended);
}

bool frmCalProtocolTurb::ShowRecord()
{
    const CCalProtocol &record = *m_main.shared().calProtocol;
    QString meter, serial, user, date, time, interval, mode;
    qint16 points = 0;
    QStringList standards(kRows);
    if (!record.GetProtocolTurbidity(meter, serial, user, date, time, interval, mode, points, standards))
        return false;
    QString lotTotal, expiry, manufacturer;
    QStringList lots(kRows);
    if (!record.GetChargeID(lotTotal, expiry, manufacturer, lots))
        return false;
    showCommonValues(meter, serial, user, date, time, interval, mode);
    m_lblLOTTotalValue->setText(lotTotal);
    m_lblExpiryValue->setText(expiry);
    m_lblManufacturerValue->setText(manufacturer);
    for (int i = 0; i < kRows; ++i) {
        m_lblStd[i]->clear();
        m_lblStdStatus[i]->clear();
    }
    for (int i = 0; i < kRows && i < points; ++i) {
        m_lblStd[i]->setText(standards.value(i) + kUnit);
        m_lblStdValue[i]->setText(lots.value(i));
        m_lblStdStatus[i]->setText(TextTable::text(TextTable::Ok));
    }
    return true;
}

void frmCalProtocolTurb::ClearDisplay()
{
    clearCommonValues();
    for (QLabel *label : {m_lblLOTTotalValue, m_lblExpiryValue, m_lblManufacturerValue})
        label->clear();
    for (int i = 0; i < kRows; ++i) {
        m_lblStd[i]->clear();
        m_lblStdValue[i]->clear();
        m_lblStdStatus[i]->clear();
    }
}

void frmCalProtocolTurb::UpdateButtons()
{
    CalRecordWindow::UpdateButtons();
    m_cmdEditLOT->setEnabled(m_main.shared().calProtocol->IsProtocolValid());
}

bool frmCalProtocolTurb::isOwnKind() const
{
    return !m_main.shared().calProtocol->IsProtocolPH();
}

QString frmCalProtocolTurb::saveKindWord() const
{
    return isOwnKind() ? QStringLiteral("Turb ") + m_lblCalModeValue->text() : QStringLiteral("pH");
}

void frmCalProtocolTurb::EditLot()
{
    CCalProtocol &record = *m_main.shared().calProtocol;
    QString meter, serial, user, date, time, interval, mode;
    qint16 points = 0;
    QStringList standards(kRows);
    if (!record.GetProtocolTurbidity(meter, serial, user, date, time, interval, mode, points, standards)) {
        m_main.dialogs().error(this, TextTable::text(TextTable::CalRecordReadFailed));
        return;
    }
    frmCalProtEdit &editor = frmCalProtEdit::instance(m_main);
    editor.setChargeIDTotal(m_lblLOTTotalValue->text());
    editor.setExpiry(m_lblExpiryValue->text());
    editor.setManufacturer(m_lblManufacturerValue->text());
    editor.setNumCalPoints(points);
    for (int i = 0; i < kRows; ++i) {
        editor.setChargeIDStd(i, m_lblStdValue[i]->text());
        editor.setStd_FNUNTU(i, standards.value(i) + kUnit);
    }
    editor.exec();
    if (!editor.DlgRetVal())
        return;
    QStringList lots;
    for (int i = 0; i < kRows; ++i)
        lots.append(editor.ChargeIDStd(i));
    if (!record.SetChargeID(editor.ChargeIDTotal(), editor.Expiry(), editor.Manufacturer(), lots)) {
        m_main.dialogs().error(this, TextTable::text(TextTable::SystemError));
        return;
    }
    m_lblLOTTotalValue->setText(editor.ChargeIDTotal());
    m_lblExpiryValue->setText(editor.Expiry());
    m_lblManufacturerValue->setText(editor.Manufacturer());
    for (int i = 0; i < kRows; ++i)
        m_lblStdValue[i]->setText(lots[i]);
}
