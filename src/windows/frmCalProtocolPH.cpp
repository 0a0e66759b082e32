#include "frmCalProtocolPH.h"

#include "CCalProtocol.h"
#include "CDevice.h"
#include "HeaderBand.h"
#include "MainWindowContext.h"
#include "SharedObjects.h"
#include "TextTable.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

frmCalProtocolPH::frmCalProtocolPH(MainWindowContext &main)
    : CalRecordWindow(main, QStringLiteral("frmCalProtocolPH"))
{
    buildDeviceFrame();
    buildProtocolFrame();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(HeaderBand::inLayout(this, *m_main.shared().ini));
    layout->addWidget(m_frmDevice);
    layout->addWidget(m_frmProtocol);
    layout->addLayout(buttonRow({}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Load(TextTable::CalRecordPhCaption, {}, m_main.shared().device->SupportsPH());
}

void frmCalProtocolPH::buildDeviceFrame()
{
    auto *device = new QGridLayout(m_frmDevice);
    const char *deviceNames[3] = {"lblMeter", "lblSerNo", "lblUser"};
    const int deviceCaptions[3] = {TextTable::MeterLabel, TextTable::SerialNumberLabel, TextTable::UserLabel};
    QLabel **deviceValues[3] = {&m_lblMeterValue, &m_lblSerNoValue, &m_lblUserValue};
    for (int i = 0; i < 3; ++i) {
        const QString name = QString::fromLatin1(deviceNames[i]);
        device->addWidget(addLabel(m_frmDevice, name, deviceCaptions[i]), i, 0);
        *deviceValues[i] = addLabel(m_frmDevice, name + QStringLiteral("Value"));
        device->addWidget(*deviceValues[i], i, 1);
    }
    device->setColumnStretch(1, 1);
}

void frmCalProtocolPH::buildProtocolFrame()
{
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
        {"lblCalDate", TextTable::DateLabel, "lblCalDateValue", &m_lblCalDateValue, 0, 0},
        {"lblCalTime", TextTable::TimeLabel, "lblCalTimeValue", &m_lblCalTimeValue, 1, 0},
        {"lblCalInterval", TextTable::IntervalLabel, "lblCalIntervalValue", &m_lblCalIntervalValue, 2, 0},
        {"lblCalMode", TextTable::ModeLabel, "lblCalModeValue", &m_lblCalModeValue, 3, 0},
        {"lblSlope", TextTable::CalSlopeLabel, "lblSlopeValue", &m_lblSlopeValue, 0, 2},
        {"lblAsy", TextTable::AsymmetryLabel, "lblAsyValue", &m_lblAsyValue, 1, 2},
        {"lblSensQual", TextTable::SensorLabel, "lblSensQualValue", &m_lblSensQualValue, 2, 2},
    };
    for (const Pair &pair : pairs) {
        protocol->addWidget(addLabel(m_frmProtocol, QString::fromLatin1(pair.caption), pair.number), pair.row,
                            pair.column);
        *pair.target = addLabel(m_frmProtocol, QString::fromLatin1(pair.value));
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
        const QString n = QString::number(k + 1);
        m_lblBufNo[k] = addLabel(m_frmProtocol, QStringLiteral("lblBufNo") + n);
        m_lblBufPH[k] = addLabel(m_frmProtocol, QStringLiteral("lblBufPH") + n);
        m_lblBufVolt[k] = addLabel(m_frmProtocol, QStringLiteral("lblBufVolt") + n);
        m_lblBufTemp[k] = addLabel(m_frmProtocol, QStringLiteral("lblBufTemp") + n);
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
    showCommonValues(meter, serial, user, date, time, interval, mode);
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
    clearCommonValues();
    for (QLabel *label : {m_lblSlopeValue, m_lblAsyValue, m_lblSensQualValue})
        label->clear();
    for (int k = 0; k < 3; ++k) {
        m_lblBufNo[k]->clear();
        m_lblBufPH[k]->clear();
        m_lblBufVolt[k]->clear();
        m_lblBufTemp[k]->clear();
    }
}

bool frmCalProtocolPH::isOwnKind() const
{
    return m_main.shared().calProtocol->IsProtocolPH();
}

QString frmCalProtocolPH::saveKindWord() const
{
    return isOwnKind() ? QStringLiteral("pH") : QStringLiteral("Turb");
}

bool frmCalProtocolPH::ReadFromMeter()
{
    return readFromMeter(true, false);
}
