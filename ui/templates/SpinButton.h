#pragma once
// An up-down control without a buddy: two arrow buttons (and the arrow keys) that only report a
// proposed step. As with a default-range Windows up-down control, the up arrow reports a negative
// delta and the down arrow a positive one.

#include <QWidget>

class CSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit CSpinButton(QWidget* parent = nullptr);
    void StepUp();     // as a click on the up arrow
    void StepDown();   // as a click on the down arrow
signals:
    void deltaPos(int delta);

protected:
    void keyPressEvent(QKeyEvent* event) override;   // Up and Down keys step as the arrows do
};
