#pragma once
// Reading the journal and deleting from it, for the History window: each call opens a connection
// of its own on the calling thread and closes it before returning, so it never shares the
// writer's connection, sees what the writer committed (the write-ahead log lets it read while
// a run writes) and never holds a journal that was moved aside meanwhile. It does not repair a
// damaged journal (the writer does, when it opens it) and makes no file where there is none.

#include "journal/JournalRecords.h"

#include <filesystem>
#include <string>

struct JournalContents {
    std::vector<JournalRun> runs;       // oldest first
    std::vector<JournalEvent> events;   // oldest first, each with its deliveries by channel name
};

// Everything in file (nothing when there is no file yet); false with reason when it cannot be read.
bool ReadJournal(const std::filesystem::path& file, JournalContents& contents, std::string& reason);

// Removes the event's files (picture, story sheet, clip; those already gone are fine), then the
// event and its delivery states. A file that cannot be removed keeps the event listed: false with
// the reason, naming the file.
bool DeleteJournalEvent(const std::filesystem::path& file, std::int64_t event, std::string& reason);
