#pragma once
// Which waiting push goes next, and when. A phone buzzing with every picture is soon muted, so
// push is per alarm episode: the first picture of an episode goes at once, then at most one every
// 60 s while the episode goes on, the latest of those waiting, which stand for the ones before it.
// Alerts about the run go as they come. A failing server holds everything back for a pause growing
// from 10 s to 10 min; a new entry waits no longer than 10 s after the last failure, so a new alarm
// is not held back by an old back-off. No locking of its own.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct PushCandidate {
    std::string id;              // the outbox entry's
    bool picture = false;        // an alarm picture, else an alert
    std::int64_t episode = 0;    // a picture's episode (its first picture's number)
};

class PushPlan {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kUpdateEvery{60};

    struct Step {
        std::string send;                     // the entry to push now; empty: none is due
        std::vector<std::string> superseded;  // older pictures of its episode it stands for
        Clock::time_point wakeAt = Clock::time_point::max();   // when one is due, when none is now
    };
    // waiting: the entries owing push, oldest first.
    Step Next(const std::vector<PushCandidate>& waiting, Clock::time_point now) const;
    // An entry came that was not waiting before.
    void Added() { fresh_ = true; }
    void Sent(const PushCandidate& candidate, Clock::time_point now);
    // The server failed; answers the pause everything now waits.
    std::chrono::seconds Failed(Clock::time_point now);

private:
    std::map<std::int64_t, Clock::time_point> episodes_;   // the last push of each recent episode
    std::chrono::seconds pause_{0};
    Clock::time_point readyAt_{}, failedAt_{};
    bool fresh_ = false;   // an entry came since the last failure
};
