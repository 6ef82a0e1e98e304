#include "ui/dialogs/MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <vector>

namespace {

// Captures in force, innermost last. GUI thread only, like the message boxes they stand in for.
std::vector<MessageBoxCapture*>& Captures()
{
    static std::vector<MessageBoxCapture*> captures;
    return captures;
}

}   // namespace

void AppMessageBox(const QString& text)
{
    if (!Captures().empty()) {
        Captures().back()->texts_.append(text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text, QMessageBox::Ok);
    box.exec();
}

MessageBoxCapture::MessageBoxCapture()
{
    Captures().push_back(this);
}

MessageBoxCapture::~MessageBoxCapture()
{
    auto& captures = Captures();
    std::erase(captures, this);
}

QStringList MessageBoxCapture::texts() const
{
    return texts_;
}
