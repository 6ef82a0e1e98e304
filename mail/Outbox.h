#pragma once
// Alerts waiting for their channels, kept on disk until each channel the entry names took it (the
// mail server accepted it, the MQTT broker acknowledged it): one file per entry in the
// outbox folder, written to a temporary name, flushed to the disk and renamed into place, so a
// crash leaves a whole entry or none. Entries sort oldest first by name, across restarts too.
// A file holds "key: value" lines, a blank line, then the picture's bytes. A file that is not a
// whole entry of a known kind (EntryKinds) with a JPEG picture is never mailed: the sender moves
// it to "rejected" beside the outbox, where pictures the server would not take go too.
// No thread of its own and no state but the folder: Add may run on several threads at once, each
// entry having a name of its own.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct OutboxEntry {
    std::string id;                 // set by Add: the file name without folder, sorts by age
    std::string kind = "picture";   // one of EntryKinds: "picture" (an alarm), or an alert about
                                    // the run: "camera lost", "camera back", "disk nearly full"
    std::int64_t pictureNumber = 0;
    std::int64_t event = 0;         // the event in the history this mail tells of; 0: none
    std::int64_t episode = 0;       // a picture's: the first picture of its alarm episode; 0: its own
    std::string pictureName;        // set by Add: the attachment's name (AttachmentName), empty
                                    // for an alert without a frame
    std::string takenAt;            // local time, "2026-12-07 03:12:01"
    std::string fromAddress;        // the settings when it was queued; the sender prefers the
    std::string toAddress;          // settings current at send time
    std::string smtpServer;
    std::string note;               // an alert's one line, the mail's text; for a picture, what
                                    // the mail adds to its line ("could not be saved: ..."); may be empty
    std::string pictureBytes;       // the JPEG, byte for byte the saved file's; an alert's frame, or none
    // The channels that still owe its delivery, among kChannels; an entry of an earlier version
    // (which names none) is the mail's.
    std::vector<std::string> channels{"mail"};
};

// The channels an entry can name.
inline constexpr const char* kChannels[] = {"mail", "mqtt", "push"};
bool Owes(const OutboxEntry& entry, std::string_view channel);
// The local time now as an entry's takenAt: "2026-12-07 03:12:01".
std::string TakenAtNow();

class Outbox {
public:
    // folder is made on first Add; leftovers of an interrupted Add are removed here.
    explicit Outbox(std::filesystem::path folder);

    // Checks entry (a known kind, one-line texts, a JPEG picture) and writes it under its id when
    // it has one (an entry kept in memory, stored later), else under a new one. The id is set
    // also when the write fails, so an entry kept in memory keeps its place among the others.
    // false with the reason when it could not be stored.
    bool Add(OutboxEntry& entry, std::string& reason);
    // The ids of the entry files, oldest first.
    std::vector<std::string> Ids() const;
    // Entry id as Add wrote it. Nothing when it is gone (problem empty) or when it is not a whole
    // entry as Add writes them (problem says why, in a few words).
    std::optional<OutboxEntry> Read(const std::string& id, std::string& problem) const;
    // Moves entry id's file into rejectedFolder(); false with the reason.
    bool SetAside(const std::string& id, std::string& reason) const;
    size_t Count() const;
    void Remove(const std::string& id);
    // channel has delivered entry id: the entry no longer names it, and goes once no channel is
    // left. Each channel settles its own entries on its own thread; they may share an entry.
    // false with the reason when the entry could not be rewritten (it is then delivered again).
    bool Settle(const std::string& id, std::string_view channel, std::string& reason);
    // channels are off for good (their settings removed): no entry owes them any more; answers how
    // many entries owed one of them.
    size_t Release(const std::vector<std::string>& channels);

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path rejectedFolder() const { return folder_.parent_path() / "rejected"; }

private:
    bool Settled(OutboxEntry& entry, const std::vector<std::string>& channels, std::string& reason);

    std::filesystem::path folder_;
    std::mutex settling_;   // one rewrite of an entry at a time
};
