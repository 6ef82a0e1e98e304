#pragma once
// Remote commands for the control panel. The MQTT client's thread leaves a command here under our
// own mutex and wakes the GUI thread with a queued call that carries no data; there the panel
// carries it out. Commands before Attach or after Detach (the panel gone) are dropped.

#include <QObject>

#include <mutex>
#include <optional>

class CSentivoDlg;

class PanelRemote : public QObject {
    Q_OBJECT
public:
    // Any thread: the latest command wins over one not carried out yet.
    void Post(bool arm);
    // GUI thread.
    void Attach(CSentivoDlg* panel);
    void Detach() { Attach(nullptr); }
    Q_INVOKABLE void Deliver();

private:
    std::mutex mutex_;
    CSentivoDlg* panel_ = nullptr; // guarded by mutex_
    std::optional<bool> pending_;  // guarded by mutex_
};
