#pragma once
// The control panel's side of SessionState. The worker calls the operations on its own thread;
// their control updates are carried out on the GUI thread while the worker waits. Detach() (the
// panel is going) releases a waiting worker and turns every later update into a no-op, so the
// worker may outlive the panel.

#include "engine/SessionState.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class CSentivoDlg;

class PanelSession : public SessionState, public std::enable_shared_from_this<PanelSession> {
public:
    explicit PanelSession(CSentivoDlg* panel);

    // GUI thread only.
    void Detach();
    // Carries out the control updates the worker is waiting for. The panel calls it while it
    // waits for the worker to end, so a worker caught in an update is not held up by that wait.
    void DeliverPending();

    void IncrementPicturesTaken() override;
    void SetAlertLevel(float seconds) override;
    void FallBackToMotionDetect() override;
    void SetAlertRange(int maxMilliseconds) override;
    void ShowRunMessage(const std::string& text) override;
    void RunEnded() override;

private:
    using PanelCall = std::function<void(CSentivoDlg&)>;
    struct PendingCall {
        PanelCall call;
        bool done = false;
    };

    // Runs call on the GUI thread and waits until it ran or the panel detached.
    void RunOnPanel(PanelCall call);
    // Hands call to the GUI thread without waiting.
    void PostToPanel(PanelCall call);
    // On the GUI thread: runs call when the panel is still there.
    void Deliver(const PanelCall& call);

    std::mutex mutex_;
    std::condition_variable delivered_;
    CSentivoDlg* panel_;   // null once detached; guarded by mutex_
    std::deque<std::shared_ptr<PendingCall>> pending_;   // guarded by mutex_
};
