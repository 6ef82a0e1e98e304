#pragma once
// The control panel's side of SessionState. The worker calls the operations on its own thread;
// their control updates are carried out on the GUI thread while the worker waits. Detach() (the
// panel is going) releases a waiting worker and turns every later update into a no-op, so the
// worker may outlive the panel.
//
// The calls travel through queues guarded by our own mutex; Qt's event queue only carries a
// wake-up without any data, so every hand-over between the threads is one that ThreadSanitizer
// can see (Qt's own locking is invisible to it).

#include "engine/SessionState.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class CSentivoDlg;
class PanelSession;

// Lives on the GUI thread as a child of the panel; woken by the worker to deliver its calls.
class PanelNotifier : public QObject {
    Q_OBJECT
public:
    PanelNotifier(PanelSession& session, QObject* parent) : QObject(parent), session_(session) {}
    Q_INVOKABLE void Deliver();

private:
    PanelSession& session_;
};

class PanelSession : public SessionState {
public:
    explicit PanelSession(CSentivoDlg* panel);

    // GUI thread only.
    void Detach();
    // Carries out the control updates the worker is waiting for. The panel also calls it while
    // it waits for the worker to end, so a worker caught in an update is not held up by that wait.
    void DeliverPending();
    // Carries out the calls the worker handed over without waiting.
    void DeliverPosted();

    void IncrementPicturesTaken() override;
    void SetAlertLevel(float seconds) override;
    void FallBackToMotionDetect() override;
    void SetAlertRange(int maxMilliseconds) override;
    void ShowRunMessage(const std::string& text) override;
    void ShowRunStatus(const std::string& text) override;
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
    // Asks the GUI thread to deliver; mutex_ held, panel attached.
    void Wake();

    std::mutex mutex_;
    std::condition_variable delivered_;
    CSentivoDlg* panel_;          // null once detached; guarded by mutex_
    PanelNotifier* notifier_;     // valid while panel_ is set
    std::deque<std::shared_ptr<PendingCall>> pending_;   // guarded by mutex_
    std::deque<PanelCall> posted_;                       // guarded by mutex_
};
