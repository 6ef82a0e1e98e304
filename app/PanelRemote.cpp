#include "app/PanelRemote.h"

#include "ui/panel/SentivoDlg.h"

void PanelRemote::Post(bool arm)
{
    std::lock_guard lock(mutex_);
    if (!panel_)
        return;
    pending_ = arm;
    QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);   // while this cannot go
}

void PanelRemote::Attach(CSentivoDlg* panel)
{
    std::lock_guard lock(mutex_);
    panel_ = panel;
}

void PanelRemote::Deliver()
{
    std::optional<bool> arm;
    CSentivoDlg* panel = nullptr;
    {
        std::lock_guard lock(mutex_);
        arm = std::exchange(pending_, std::nullopt);
        panel = panel_;
    }
    if (arm && panel)
        panel->RemoteCommand(*arm);
}
