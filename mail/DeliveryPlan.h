#pragma once
// Which waiting mails go in the next message, and when. Each entry keeps its own state, so that a
// refusal of one never holds back another: a message the server refused is split, its entries
// then sent one by one, and one it refused alone waits its own pause while the others go. A
// server that fails (no connection, a time-out, a login refused) holds back the entries it failed
// with for a pause growing from 10 s to 10 min, but a newly queued entry is tried 10 s after the
// last failure, so a new alarm is not held back by an old back-off and the server is not hammered.
// Messages stay under the size the server announced, at most about 10 MB as sent, and smaller
// still once the server refused one for its size. With a grouping time, a picture taken after a
// message of pictures went waits until that time has passed since, so the owner gets at most one
// message of pictures per period, holding every picture since. No locking of its own.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class DeliveryPlan {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uintmax_t kLargestMessage = 10 * 1024 * 1024;
    struct Entry {
        bool picture = true;            // pictures travel together; an alert goes alone
        std::uintmax_t size = 0;        // its share of a message as sent
        bool alone = false;             // its message was refused: it is sent by itself
        bool waitsForServer = false;    // the server failed with it: the server's pause holds it
        Clock::time_point notBefore{};  // its own pause after the server refused it alone
        Clock::time_point added{};      // when it came
    };

    // A new entry (or one found on disk), ready at once unless a failing server's pause runs.
    void Add(const std::string& id, bool picture, std::uintmax_t size);
    void Forget(const std::string& id);
    bool Knows(const std::string& id) const { return entries_.contains(id); }
    size_t size() const { return entries_.size(); }
    std::vector<std::string> Ids() const;

    // The oldest ready entries that make one message: an alert alone, else pictures under the size
    // limit (always one). Empty when none is ready; wakeAt is then when one will be (max: never).
    std::vector<std::string> Next(Clock::time_point now, Clock::time_point& wakeAt) const;
    // About how many bytes those entries make as one message.
    std::uintmax_t MessageSize(const std::vector<std::string>& ids) const;
    // When the next message may go; now when one is ready, max when none waits.
    Clock::time_point NextTry(Clock::time_point now) const;

    // What the server said to a message of ids.
    void Sent(const std::vector<std::string>& ids);
    // It failed, or refused for good (login, recipient); answers the pause the entries now wait.
    std::chrono::seconds ServerFailed(const std::vector<std::string>& ids, bool permanent, Clock::time_point now);
    // It refused this message: several entries are then sent one by one at once; one alone waits
    // its own pause, answered (0 s for several).
    std::chrono::seconds MessageRefused(const std::vector<std::string>& ids, Clock::time_point now);
    // It refused the message of size bytes for its size; announced: the limit it told, 0 if none.
    void TooBig(std::uintmax_t size, std::uintmax_t announced);
    // The limit the server announced with a message it took or refused (0: none told).
    void Announced(std::uintmax_t limit);
    // The settings changed: every entry is ready now, and the server's limit is learnt afresh.
    void RetryNow();
    // At most one message of pictures per group (0: no grouping), from the next message on.
    void SetGroup(std::chrono::seconds group) { group_ = group; }

    std::uintmax_t sizeLimit() const { return limit_; }

private:
    bool Ready(const Entry& entry, Clock::time_point now) const { return now >= ReadyAt(entry); }
    Clock::time_point ReadyAt(const Entry& entry) const;

    std::map<std::string, Entry> entries_;   // ids sort by age
    std::uintmax_t limit_ = kLargestMessage;
    std::chrono::seconds serverPause_{0};
    Clock::time_point serverReadyAt_{}, freshReadyAt_{};
    std::chrono::seconds group_{0};
    Clock::time_point picturesSentAt_{};   // when the last message of pictures went
};
