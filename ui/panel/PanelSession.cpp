#include "ui/panel/PanelSession.h"

#include "ui/panel/SentivoDlg.h"

void PanelNotifier::Deliver()
{
    session_.DeliverPending();
    session_.DeliverPosted();
}

PanelSession::PanelSession(CSentivoDlg* panel) : panel_(panel), notifier_(new PanelNotifier(*this, panel)) {}

void PanelSession::Detach()
{
    std::lock_guard lock(mutex_);
    panel_ = nullptr;
    notifier_ = nullptr;   // goes with the panel, and with it any wake-up still queued
    pending_.clear();
    posted_.clear();
    delivered_.notify_all();
}

void PanelSession::Wake()
{
    QMetaObject::invokeMethod(notifier_, "Deliver", Qt::QueuedConnection);
}

void PanelSession::RunOnPanel(PanelCall call)
{
    auto pending = std::make_shared<PendingCall>();
    pending->call = std::move(call);
    std::unique_lock lock(mutex_);
    if (!panel_)
        return;
    pending_.push_back(pending);
    Wake();
    // A call left undone because the panel went is released by Detach's notification.
    delivered_.wait(lock, [&] { return pending->done || !panel_; });
}

void PanelSession::PostToPanel(PanelCall call)
{
    std::lock_guard lock(mutex_);
    if (!panel_)
        return;
    posted_.push_back(std::move(call));
    Wake();
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

void PanelSession::DeliverPosted()
{
    std::unique_lock lock(mutex_);
    while (panel_ && !posted_.empty()) {
        PanelCall next = std::move(posted_.front());
        posted_.pop_front();
        CSentivoDlg* panel = panel_;
        lock.unlock();
        next(*panel);   // may open a modal box; later wake-ups are handled inside it
        lock.lock();
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

void PanelSession::ShowRunStatus(const std::string& text)
{
    PostToPanel([text](CSentivoDlg& panel) { panel.ShowRunStatus(text); });
}

void PanelSession::RunEnded()
{
    PostToPanel([](CSentivoDlg& panel) { panel.OnWorkerEnded(); });
}
