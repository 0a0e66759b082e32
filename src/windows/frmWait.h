#pragma once
// The waiting window shown while the program talks to the meter. It does not block the code that
// shows it, but it is application-modal, so only its Cancel reaches the program during the wait.
// Closing it in any way stops the exchange.
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

class QLabel;
class QPushButton;

class frmWait : public QDialog {
    Q_OBJECT
public:
    explicit frmWait(QWidget *owner);

    // Called whenever the window is unloaded (Cancel, close box, or the caller closing it).
    void setUnloadHandler(std::function<void()> handler) { m_onUnload = std::move(handler); }

    // Shows the window without blocking and sets the task text.
    bool ShowWithText(const QString &strText);
    bool SetText(const QString &strText);
    // Hides the window; runs the unload handler once.
    void Unload();

    // How much of a long answer has come, so a slow transfer can be told from a stalled one.
    void setProgress(qint64 bytes, qint64 datasets);
    // How long the meter has sent nothing (the link's meterSilent), so a person can stop a stalled
    // meter knowingly instead of waiting out its answer time; 0 hides the line.
    void setSilence(qint64 seconds);

    QLabel *textLabel() const { return m_lblText; }
    QLabel *progressLabel() const { return m_lblProgress; }
    QLabel *silenceLabel() const { return m_lblSilence; }
    QPushButton *cancelButton() const { return m_cmdCancel; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    // Seconds of the longest wait (the import's answer time, and some) for the counter's width.
    static constexpr int kLongestWaitSeconds = 9999;

    void fitOnce();
    void showProgress();

    QLabel *m_lblPleaseWait;
    QLabel *m_lblText;
    QLabel *m_lblProgress;
    QLabel *m_lblSilence;
    QPushButton *m_cmdCancel;
    std::function<void()> m_onUnload;
    bool m_loaded = false;
    QElapsedTimer m_elapsed;
    QTimer m_clock;
    qint64 m_bytes = -1;
    qint64 m_datasets = 0;
};
