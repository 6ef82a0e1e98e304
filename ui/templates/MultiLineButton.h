#pragma once
// A push button whose caption wraps onto several lines when it is too wide for the button, as a
// multi-line native button does. text() stays the caption as given.

#include <QPushButton>

class CMultiLineButton : public QPushButton {
    Q_OBJECT
public:
    explicit CMultiLineButton(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
