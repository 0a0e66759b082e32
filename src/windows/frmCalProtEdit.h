#pragma once
// The form for the lot data of the turbidity standards: the set's lot number, expiry date and maker,
// and one lot number or comment per standard. It knows nothing of the record; its caller fills and
// reads its properties.
#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class MainWindowContext;

class frmCalProtEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 30020;
    static constexpr int kMaxLength = 15;
    static constexpr int kRows = 5;

    // The editor of the run: created on first use, owned by the main window (which ends it at its
    // own end), hidden when left and shown again next time.
    static frmCalProtEdit &instance(MainWindowContext &main);

    explicit frmCalProtEdit(MainWindowContext &main);

    bool DlgRetVal() const { return m_dlgRetVal; }
    QString ChargeIDTotal() const;
    void setChargeIDTotal(const QString &strChargeIDTotal);
    QString Expiry() const;
    void setExpiry(const QString &strExpiry);
    QString Manufacturer() const;
    void setManufacturer(const QString &strManufacturer);
    qint16 NumCalPoints() const { return m_numCalPoints; }
    void setNumCalPoints(qint16 intNumCalPoints) { m_numCalPoints = intNumCalPoints; }

    // Row i (0 low, 1 mid, 2 high, 3 and 4) of the standards: its lot entry and its nominal value.
    QString ChargeIDStd(int i) const;
    void setChargeIDStd(int i, const QString &strChargeIDStd);
    void setStd_FNUNTU(int i, const QString &strStd_FNUNTU);

    QString ChargeIDStdLow() const { return ChargeIDStd(0); }
    QString ChargeIDStdMid() const { return ChargeIDStd(1); }
    QString ChargeIDStdHigh() const { return ChargeIDStd(2); }
    QString ChargeIDStd4() const { return ChargeIDStd(3); }
    QString ChargeIDStd5() const { return ChargeIDStd(4); }
    void setChargeIDStdLow(const QString &strChargeIDStdLow) { setChargeIDStd(0, strChargeIDStdLow); }
    void setChargeIDStdMid(const QString &strChargeIDStdMid) { setChargeIDStd(1, strChargeIDStdMid); }
    void setChargeIDStdHigh(const QString &strChargeIDStdHigh) { setChargeIDStd(2, strChargeIDStdHigh); }
    void setChargeIDStd4(const QString &strChargeIDStd4) { setChargeIDStd(3, strChargeIDStd4); }
    void setChargeIDStd5(const QString &strChargeIDStd5) { setChargeIDStd(4, strChargeIDStd5); }
    void setStdLow_FNUNTU(const QString &strStdLow_FNUNTU) { setStd_FNUNTU(0, strStdLow_FNUNTU); }
    void setStdMid_FNUNTU(const QString &strStdMid_FNUNTU) { setStd_FNUNTU(1, strStdMid_FNUNTU); }
    void setStdHigh_FNUNTU(const QString &strStdHigh_FNUNTU) { setStd_FNUNTU(2, strStdHigh_FNUNTU); }
    void setStd4_FNUNTU(const QString &strStd4_FNUNTU) { setStd_FNUNTU(3, strStd4_FNUNTU); }
    void setStd5_FNUNTU(const QString &strStd5_FNUNTU) { setStd_FNUNTU(4, strStd5_FNUNTU); }

    // Each showing is an activation: no answer yet, and the rows of the standards in use.
    void setVisible(bool visible) override;

    QLineEdit *lotTotalEdit() const { return m_txtLOTTotal; }
    QLineEdit *expiryEdit() const { return m_txtExpiry; }
    QLineEdit *manufacturerEdit() const { return m_txtManufacturer; }
    QLineEdit *stdEdit(int i) const { return m_txtStd[i]; }
    QLabel *stdLabel(int i) const { return m_lblStd[i]; }
    QPushButton *acceptButton() const { return m_cmdAccept; }
    QPushButton *cancelButton() const { return m_cmdCancel; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void buildLotGrid();
    void setUpEntries();
    // "Take over": the lot data are kept and the dialog closes.
    void TakeOver();

    MainWindowContext &m_main;
    bool m_dlgRetVal = false;
    qint16 m_numCalPoints = 0;
    QGroupBox *m_frmLOT;
    QLineEdit *m_txtLOTTotal;
    QLineEdit *m_txtExpiry;
    QLineEdit *m_txtManufacturer;
    QLabel *m_lblStd[kRows];
    QLineEdit *m_txtStd[kRows];
    QPushButton *m_cmdAccept;
    QPushButton *m_cmdCancel;
};
