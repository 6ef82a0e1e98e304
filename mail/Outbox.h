#pragma once
// Mails waiting for the server, kept on disk until it accepted them: one file per entry in the
// outbox folder, written to a temporary name, flushed to the disk and renamed into place, so a
// crash leaves a whole entry or none. Entries sort oldest first by name, across restarts too.
// A file holds "key: value" lines, a blank line, then the picture's bytes. No thread of its own; callers serialise
// Add with each other, and Waiting/Remove are the sender's.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct OutboxEntry {
    std::string id;                 // set by Add: the file name without folder, sorts by age
    std::string kind = "picture";   // what the mail tells of: "picture" (an alarm), or an alert
                                    // about the run: "camera lost", "camera back", "disk nearly full"
    std::int64_t pictureNumber = 0;
    std::string pictureName;        // "pic_12.jpg"
    std::string takenAt;            // local time, "2026-12-07 03:12:01"
    std::string fromAddress;        // the settings when it was queued; the sender prefers the
    std::string toAddress;          // settings current at send time
    std::string smtpServer;
    std::string note;               // an alert's one line, the mail's text; files from before it read as empty
    std::string pictureBytes;       // the JPEG, byte for byte the saved file's; an alert's frame, or none
};

class Outbox {
public:
    // folder is made on first Add; leftovers of an interrupted Add are removed here.
    explicit Outbox(std::filesystem::path folder);

    // Writes entry (and sets its id); false with reason when it could not be stored.
    bool Add(OutboxEntry& entry, std::string& reason);
    // Whole entries, oldest first, as many as fit in maxBytes of entry files (always at least one
    // when any waits); unreadable files are skipped.
    std::vector<OutboxEntry> Waiting(std::uintmax_t maxBytes = UINTMAX_MAX) const;
    size_t Count() const;
    void Remove(const std::string& id);

    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};
