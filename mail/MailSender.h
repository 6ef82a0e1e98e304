#pragma once
// The one thread that delivers the outbox, oldest entry first, whether or not surveillance runs.
// An entry goes only once the server accepted it. Waiting pictures travel together under the size
// the server takes, so a backlog does not become a flood; an alert about the run ("camera lost")
// goes alone. When and with what is DeliveryPlan's: a failing server is tried again after a pause
// growing from 10 s to 10 min, yet no failure or refusal of one entry holds back a newer one; a
// picture the server refuses for its size even alone is set aside in "rejected" beside the outbox.
// Outbox files that are not whole entries go there too, never mailed nor counted. When the outbox
// cannot be written, entries are kept in memory, sent from there and stored once it can be. Stop
// ends a send in progress at once whatever the server does; what was stored waits for the next start.

#include "mail/DeliveryPlan.h"
#include "mail/Outbox.h"
#include "mail/SendCancel.h"
#include "mail/SendMail.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

class EventLog;

inline constexpr const char* kMailChannel = "mail";

// The mail settings current at send time: addresses, server and login; nothing (with the
// reason) when they are incomplete or invalid. Asked on the sender's thread before each send.
struct MailSettings {
    std::string fromAddress;
    std::string toAddress;
    MailServer server;
    std::chrono::seconds group{0};   // at most one mail of pictures per this time; 0: one per picture
};
using MailSettingsSource = std::function<std::optional<MailSettings>(std::string& reason)>;

// What became of the mail of a history event (an entry's event): "sent", "refused" (for good, or the
// message itself; it is tried again all the same), "set aside", or "queued" again after a failure,
// with the reason. Called on the sender's thread.
using MailDeliveryReport = std::function<void(std::int64_t event, const char* state, const std::string& reason)>;

struct MailSenderStatus {
    int sent = 0;                    // entries delivered since the sender started
    size_t waiting = 0;              // entries waiting to be sent, in the outbox or in memory
    bool sending = false;
    std::string lastFailure;         // the last failed send's reason, empty after a success
    bool permanent = false;          // that failure was a refusal for good
    std::chrono::seconds nextTryIn{0};
    std::string refusal;             // the last refusal for good ("authentication failed"), kept
                                     // until a mail goes through, whatever failed since
    std::string setAside;            // the last picture set aside: "picture 12 too big for the server"
    std::string outboxProblem;       // why the outbox cannot be written; empty when it can
    size_t inMemory = 0;             // entries kept in memory meanwhile
};

class MailSender {
public:
    MailSender(Outbox& outbox, MailSettingsSource settings, EventLog& log, MailDeliveryReport report = {});
    ~MailSender();   // Stop()
    MailSender(const MailSender&) = delete;
    MailSender& operator=(const MailSender&) = delete;

    // Starts the thread, which sends what an earlier run left at once. Logs the backlog.
    void Start();
    // Stores entry in the outbox (in memory when the outbox cannot be written: logged once) and
    // wakes the thread; false with reason when the entry is not usable or memory holds too much.
    // Never waits for the network. Logs it.
    bool Queue(OutboxEntry entry, std::string& reason);
    // The settings changed: try the waiting entries now, whatever the pause.
    void RetryNow();
    // Cancels a send in progress and ends the thread; stored entries stay. Idempotent.
    void Stop();
    MailSenderStatus Status() const;

private:
    using Clock = DeliveryPlan::Clock;
    void Run();
    void Scan(bool first);
    void Reject(const std::string& id, const std::string& problem);
    void StoreHeld(bool lastChance);
    std::optional<std::vector<OutboxEntry>> Load(const std::vector<std::string>& ids);
    void Send(const std::vector<std::string>& ids);
    void Sent(const std::vector<OutboxEntry>& batch, std::uintmax_t sizeLimit);
    void SetAside(const OutboxEntry& entry, std::uintmax_t size, std::uintmax_t limit);
    std::string Failed(const std::vector<OutboxEntry>& batch, const MailResult& result);
    void Report(const std::vector<OutboxEntry>& batch, const char* state, const std::string& reason) const;

    Outbox& outbox_;
    MailSettingsSource settings_;
    EventLog& log_;
    const MailDeliveryReport report_;
    SendCancel cancel_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    DeliveryPlan plan_;
    std::map<std::string, OutboxEntry> held_;   // entries the outbox could not store
    std::set<std::string> ignored_;             // files not mailable that could not be moved aside
    std::set<std::string> othersOnly_;          // entries other channels owe, and not the mail
    Clock::time_point nextStore_{};             // when held_ is tried on the disk again
    MailSenderStatus status_;
    std::thread thread_;
};
