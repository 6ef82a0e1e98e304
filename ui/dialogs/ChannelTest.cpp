#include "ui/dialogs/ChannelTest.h"

#include <QMetaObject>
#include <QPushButton>

ChannelTest::~ChannelTest()
{
    if (thread_.joinable()) {
        Cancel();
        thread_.join();
    }
}

void ChannelTest::Start(QObject* context, QPushButton* button, std::function<std::string()> work,
                        std::function<void()> cancel, std::function<void(const std::string&)> done)
{
    if (Running())
        return;
    button_ = button;
    caption_ = button->text();
    std::promise<std::string> promise;
    answer_ = promise.get_future();
    cancel_ = std::move(cancel);
    done_ = std::move(done);
    // The queued call carries no data, only the wake-up: the answer is in the future by then. A
    // context already gone (the dialog destroyed, having joined the thread) drops it.
    thread_ = std::thread([this, context, work = std::move(work), promise = std::move(promise)]() mutable {
        promise.set_value(work());
        QMetaObject::invokeMethod(context, [this] { Finish(); }, Qt::QueuedConnection);
    });
    button_->setEnabled(false);
    button_->setText(QStringLiteral("Sending…"));
}

void ChannelTest::Cancel()
{
    if (Running() && cancel_)
        cancel_();
}

void ChannelTest::Finish()
{
    if (!Running())
        return;
    const std::string reason = answer_.get();
    thread_.join();
    button_->setText(caption_);
    button_->setEnabled(true);
    done_(reason);
}
