#pragma once
// Every message the program shows goes through here: a modal box with an OK button and the warning
// icon, captioned with the application's display name (the executable's name without extension).

#include <QString>
#include <QStringList>

void AppMessageBox(const QString& text);

// While one exists, AppMessageBox records its text here instead of showing a modal box (tests).
class MessageBoxCapture {
public:
    MessageBoxCapture();
    ~MessageBoxCapture();
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;
    QStringList texts() const;

private:
    friend void AppMessageBox(const QString& text);
    QStringList texts_;
};
