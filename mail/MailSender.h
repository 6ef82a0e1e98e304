#pragma once
// The one thread that delivers the outbox, oldest entry first, whether or not surveillance runs.
// An entry goes only once the server accepted it. A failed send is tried again after a pause
// that grows from 10 s to 10 min; a permanent refusal waits the longest pause (and is shown)
// rather than being retried in a loop. Waiting pictures travel together, up to about 10 MB a
// message, so a backlog does not become a flood; an alert about the run ("camera lost") goes alone,
// its kind the subject and its note the text. Stop cancels a send in progress and returns
// within about a second; what was not sent stays in the outbox for the next start.

#include "mail/Outbox.h"
#include "mail/SendMail.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class EventLog;

// The mail settings current at send time: addresses, server and login; nothing (with the
// reason) when they are incomplete or invalid. Asked on the sender's thread before each send.
struct MailSettings {
    std::string fromAddress;
    std::string toAddress;
    MailServer server;
};
using MailSettingsSource = std::function<std::optional<MailSettings>(std::string& reason)>;

struct MailSenderStatus {
    int sent = 0;                    // entries delivered since the sender started
    size_t waiting = 0;              // entries in the outbox
    bool sending = false;
    std::string lastFailure;         // the last failed send's reason, empty after a success
    bool permanent = false;          // that failure was a refusal for good
    std::chrono::seconds nextTryIn{0};
};

class MailSender {
public:
    MailSender(Outbox& outbox, MailSettingsSource settings, EventLog& log);
    ~MailSender();   // Stop()
    MailSender(const MailSender&) = delete;
    MailSender& operator=(const MailSender&) = delete;

    // Starts the thread, which sends what an earlier run left at once. Logs the backlog.
    void Start();
    // Stores entry in the outbox and wakes the thread (a failure's pause still runs out first);
    // false with reason when it could not be stored. Never waits for the network. Logs it.
    bool Queue(OutboxEntry entry, std::string& reason);
    // The settings changed: try the waiting entries now, whatever the pause.
    void RetryNow();
    // Cancels a send in progress and ends the thread; entries stay. Idempotent.
    void Stop();
    MailSenderStatus Status() const;

private:
    void Run();
    void SendBatch();

    Outbox& outbox_;
    MailSettingsSource settings_;
    EventLog& log_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> cancel_{false};
    bool stop_ = false;
    bool retryNow_ = false;
    MailSenderStatus status_;
    std::chrono::seconds pause_{0};   // after the last failure; 0 after a success
    std::chrono::steady_clock::time_point nextTry_{};
    std::thread thread_;
};
