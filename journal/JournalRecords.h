#pragma once
// What the journal holds: each run, each event of a run with its files and note, and each
// channel's delivery state for an event. Times are milliseconds since the epoch (UTC); files are
// full paths, empty when the event has none of that kind (or it was never made).

#include <cstdint>
#include <string>
#include <vector>

// The kinds of event the program records today; the journal takes any text, so a later kind needs
// no change here to be stored and shown.
namespace JournalKind {
inline constexpr const char* kAlarm = "alarm";
inline constexpr const char* kNearAlarm = "near alarm";
inline constexpr const char* kCameraLost = "camera lost";
inline constexpr const char* kCameraBack = "camera back";
inline constexpr const char* kCameraCovered = "camera covered";
inline constexpr const char* kCameraMoved = "camera moved";
inline constexpr const char* kViewWentDark = "view went dark";
inline constexpr const char* kViewRestored = "view restored";
inline constexpr const char* kDiskNearlyFull = "disk nearly full";
inline constexpr const char* kArmingFailed = "arming failed";
}   // namespace JournalKind

enum class DeliveryState { Queued, Sent, Refused, SetAside };

// "queued", "sent", "refused", "set aside": the words stored and shown.
const char* DeliveryStateName(DeliveryState state);
// The state named by text; Queued for a word it does not know.
DeliveryState DeliveryStateFromName(const std::string& text);

std::int64_t JournalNow();

struct JournalDelivery {
    std::string channel;            // "mail", "push", ...
    DeliveryState state = DeliveryState::Queued;
    std::int64_t at = JournalNow();
    std::string reason;             // why it was refused or set aside; may be empty
};

struct JournalRun {
    std::int64_t id = 0;            // set by Journal::BeginRun
    std::int64_t startedAt = 0;
    std::int64_t endedAt = 0;       // 0 while it runs (or when the program died during it)
    std::string howEnded;           // "stopped", "camera gone", ...
    std::string detectMode;         // "motion", "face"
};

struct JournalEvent {
    std::int64_t id = 0;            // set by Journal::Record, unless it replaces this one
    std::int64_t runId = 0;         // 0: outside any run (an arming that failed)
    std::int64_t at = JournalNow();
    std::string kind;               // one of JournalKind, or a later one
    std::int64_t pictureNumber = 0; // N of pic_N.jpg; 0 when none
    std::string picture;            // pic_N.jpg (or an alert's frame)
    std::string story;              // pic_N-story.jpg
    std::string clip;               // clip_N.mp4
    std::string note;
    std::vector<JournalDelivery> deliveries;   // one per channel
};
