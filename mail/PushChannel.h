#pragma once
// The push channel: alarms and alerts to a phone through an ntfy-compatible server (PushSend). Its
// thread delivers the outbox entries that owe "push", oldest first, as PushPlan decides: an alarm
// episode's first picture at once, then its latest picture at most once a minute, the alerts about
// the run as they come; an entry is the channel's no more once the server took it (or a later
// picture of its episode went for it). A picture too big for the server goes without it, saying
// so. A failing server is tried again after a pause growing from 10 s to 10 min.
// Start, Stop, Wake and Status may be called on any thread and never wait for the network.

#include "mail/MailSender.h"   // MailDeliveryReport
#include "mail/Outbox.h"
#include "mail/PushPlan.h"
#include "mail/PushSend.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>

class EventLog;

inline constexpr const char* kPushChannel = "push";

// Whether push takes an entry of kind: the alarm pictures and the alerts about the camera, the disk
// and the arming; not a run's ordinary end nor the story sheets.
bool PushTakes(std::string_view kind);

struct PushStatus {
    int sent = 0;                    // pushes the server took since the start
    size_t waiting = 0;              // entries owing push
    std::string lastFailure;         // the last failed push's reason, empty after a success
    std::chrono::seconds nextTryIn{0};
};

class PushChannel {
public:
    // room names the alarm in the notifications; report, when given, hears of each entry's
    // delivery on the channel's thread.
    PushChannel(PushServer server, std::string room, Outbox& outbox, EventLog& log, MailDeliveryReport report = {});
    ~PushChannel();   // Stop()
    PushChannel(const PushChannel&) = delete;
    PushChannel& operator=(const PushChannel&) = delete;

    void Start();
    // Ends a push in progress at once and the thread; what was not pushed stays in the outbox.
    void Stop();
    // Pushes what is due now (an episode's later pictures wait for the next start), for at most
    // limit, then stops: a program that ends by itself ("arming failed") still tells the phone.
    void Finish(std::chrono::milliseconds limit);
    // An entry owing "push" was stored.
    void Wake();
    PushStatus Status() const;

private:
    using Clock = PushPlan::Clock;
    void Run();
    std::vector<PushCandidate> Waiting();
    void Deliver(const PushPlan::Step& step);
    PushResult Push(const OutboxEntry& entry);
    void Settle(const std::string& id, std::int64_t event, const char* state, const std::string& reason);

    const PushServer server_;
    const std::string room_;
    Outbox& outbox_;
    EventLog& log_;
    const MailDeliveryReport report_;
    SendCancel cancel_;
    // The channel's thread only: the entries owing push as first read, and those that never will.
    struct Owed {
        PushCandidate candidate;
        std::int64_t event = 0;   // the history's, told of its delivery
    };
    std::map<std::string, Owed> owed_;
    std::set<std::string> othersOnly_;
    PushPlan plan_;

    mutable std::mutex mutex_;
    std::condition_variable wake_, idleChanged_;
    bool stop_ = false, woken_ = false;
    bool idle_ = false;   // nothing due now: the thread waits
    PushStatus status_;
    Clock::time_point nextTry_{};
    std::thread thread_;
};
