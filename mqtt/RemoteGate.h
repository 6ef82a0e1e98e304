#pragma once
// Judges the commands that come on sentivo/<room>/set: JSON {"action": "ARM_AWAY" | "DISARM",
// "code": "..."}, as Home Assistant's alarm panel sends them with the configured command template.
// The code is compared in constant time. After 5 wrong codes within 10 minutes every command is
// ignored for 10 minutes (said once, when it begins). Not thread-safe: one caller (the MQTT
// client's thread).

#include <chrono>
#include <deque>
#include <string>
#include <string_view>

enum class RemoteVerdict {
    Arm,          // ARM_AWAY with the right code
    Disarm,       // DISARM with the right code
    WrongCode,    // refused; tell it
    LockedOut,    // this wrong code began the lockout; tell it once
    Ignored,      // during the lockout: nothing is told
    Malformed,    // not JSON of the documented shape; log it
};

class RemoteGate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kWrongCodesAllowed = 5;
    static constexpr std::chrono::minutes kWindow{10}, kLockout{10};

    explicit RemoteGate(std::string code) : code_(std::move(code)) {}
    RemoteVerdict Judge(std::string_view payload, Clock::time_point now);

private:
    bool CodeMatches(std::string_view given) const;

    const std::string code_;
    std::deque<Clock::time_point> wrong_;   // within the window
    Clock::time_point lockedUntil_{};
};
