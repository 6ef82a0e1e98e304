#pragma once
// The leave-the-room countdown (template 134): a bar that fills over delaySeconds, counted in
// 100 ms ticks; closes itself on the first tick that reaches the delay. Enter and Esc end it.
#include <QDialog>

class CCountdownDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCountdownDlg(QWidget* parent = nullptr);
    float delaySeconds = 0.0f;   // set before exec()
};
