#include "panel/PanelSession.h"

#include "panel/SentivoDlg.h"

#include <QCoreApplication>
#include <QMetaObject>

PanelSession::PanelSession(CSentivoDlg* panel) : panel_(panel) {}

void PanelSession::Detach()
{
    std::lock_guard lock(mutex_);
    panel_ = nullptr;
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
    {
        std::lock_guard lock(mutex_);
        if (!panel_)
            return;
    }
    auto done = std::make_shared<bool>(false);
    PostToPanel([this, call = std::move(call), done](CSentivoDlg& panel) {
        call(panel);
        std::lock_guard lock(mutex_);
        *done = true;
        delivered_.notify_all();
    });
    std::unique_lock lock(mutex_);
    // A call dropped because the panel went is released by Detach's notification.
    delivered_.wait(lock, [&] { return *done || !panel_; });
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
