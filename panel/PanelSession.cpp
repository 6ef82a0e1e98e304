#include "panel/PanelSession.h"

#include "panel/SentivoDlg.h"

#include <QCoreApplication>
#include <QMetaObject>

PanelSession::PanelSession(CSentivoDlg* panel) : panel_(panel) {}

void PanelSession::Detach()
{
    std::lock_guard lock(mutex_);
    panel_ = nullptr;
    pending_.clear();
    delivered_.notify_all();
}

void PanelSession::Deliver(const PanelCall& call)
{
    CSentivoDlg* panel;
    {
        std::lock_guard lock(mutex_);
        panel = panel_;
    }
    // Detach happens on this same thread, so the panel cannot go while the call runs.
    if (panel)
        call(*panel);
}

void PanelSession::PostToPanel(PanelCall call)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app, [self = shared_from_this(), call = std::move(call)] { self->Deliver(call); },
        Qt::QueuedConnection);
}

void PanelSession::RunOnPanel(PanelCall call)
{
    auto pending = std::make_shared<PendingCall>();
    pending->call = std::move(call);
    {
        std::lock_guard lock(mutex_);
        if (!panel_)
            return;
        pending_.push_back(pending);
    }
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [self = shared_from_this()] { self->DeliverPending(); },
                                  Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    // A call left undone because the panel went is released by Detach's notification.
    delivered_.wait(lock, [&] { return pending->done || !panel_; });
}

void PanelSession::DeliverPending()
{
    std::unique_lock lock(mutex_);
    while (panel_ && !pending_.empty()) {
        std::shared_ptr<PendingCall> next = pending_.front();
        pending_.pop_front();
        CSentivoDlg* panel = panel_;
        lock.unlock();
        // Detach happens on this same thread, so the panel cannot go while the call runs.
        next->call(*panel);
        lock.lock();
        next->done = true;
        delivered_.notify_all();
    }
}

void PanelSession::IncrementPicturesTaken()
{
    // Only the worker writes the count after initialisation: a load and a store suffice.
    const int count = picturesTaken.load(std::memory_order_relaxed) + 1;
    picturesTaken.store(count, std::memory_order_relaxed);
    RunOnPanel([count](CSentivoDlg& panel) { panel.ShowPicturesTaken(count); });
}

void PanelSession::SetAlertLevel(float seconds)
{
    RunOnPanel([seconds](CSentivoDlg& panel) { panel.ShowAlertLevel(seconds); });
}

void PanelSession::SetAlertRange(int maxMilliseconds)
{
    RunOnPanel([maxMilliseconds](CSentivoDlg& panel) { panel.SetAlertRange(maxMilliseconds); });
}

void PanelSession::FallBackToMotionDetect()
{
    faceDetectMode.store(false, std::memory_order_relaxed);
    faceDetectAvailable.store(false, std::memory_order_relaxed);
    RunOnPanel([](CSentivoDlg& panel) { panel.SelectMotionDetect(); });
}

void PanelSession::ShowRunMessage(const std::string& text)
{
    PostToPanel([text](CSentivoDlg& panel) { panel.ShowRunMessage(text); });
}

void PanelSession::RunEnded()
{
    PostToPanel([](CSentivoDlg& panel) { panel.OnWorkerEnded(); });
}
