#pragma once
// The leave-the-room countdown (template 134): a bar that fills over delaySeconds, counted in
// 100 ms ticks; closes itself on the first tick that reaches the delay. Enter and Esc end it.
#include <QBasicTimer>
#include <QDialog>

class QProgressBar;

class CCountdownDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCountdownDlg(QWidget* parent = nullptr);
    float delaySeconds = 0.0f;   // set before exec()

protected:
    void showEvent(QShowEvent* event) override;
    void timerEvent(QTimerEvent* event) override;   // one tick, whatever the timer's id
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    void OnInitDialog();
    void OnTimer();

    float elapsedMs = 0.0f;
    float tickMs = 100.0f;
    QProgressBar* progressBar = nullptr;
    QBasicTimer timer;
    bool initialised = false;
    bool closing = false;
};
