#pragma once
// The journal's writer: every run, event and delivery state, written to SQLite by one thread of
// its own, which alone uses its connection. Callers on any thread (the detection loop, the mail
// sender, the GUI) hand it their record through a mutex-guarded queue and go on at once: nobody
// but that thread waits on the disk. Each record is one transaction, so a kill -9 or a power cut
// leaves every record whose write finished and none in part. Readers (the History window) open a
// connection of their own on their own thread (JournalReader.h).
//
// Ids are chosen here, when a record is handed in, not by the database: the caller can refer to a
// run or event at once (a later delivery state, the run's end), and two programs writing one
// journal (the panel and a service) never pick the same one.

#include "journal/JournalRecords.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class EventLog;
class JournalDatabase;
class Journal;

struct JournalOpening {
    std::unique_ptr<Journal> journal;   // null when no journal could be opened or made
    std::string note;                   // for the event log: why it was moved aside, or why there is none
};

// "$XDG_DATA_HOME/Corvane/Sentivo/journal.sqlite".
std::filesystem::path DefaultJournalFile();

class Journal {
public:
    // Opens file (its folder made when missing) on the writer thread and waits for that. A file
    // that cannot be opened or fails its checks is moved aside ("journal.sqlite.corrupt-<time>")
    // and a new journal started; the note says so. A failure that may pass (the file locked by
    // another program for 5 s, a full disk) leaves the file as it is and gives no journal. log,
    // when given, receives each later write that failed (and must outlive the journal).
    static JournalOpening Open(const std::filesystem::path& file, EventLog* log = nullptr);
    // Writes what was handed in, then ends the thread.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Each returns at once; the id refers to the run or event in later calls.
    std::int64_t BeginRun(const std::string& detectMode, std::int64_t at = JournalNow());
    void EndRun(std::int64_t run, const std::string& howEnded, std::int64_t at = JournalNow());
    // With its deliveries, if any. An event whose id is set already replaces that one's kind, files
    // and note (its run, time and delivery states stay); one deleted meanwhile is recorded anew.
    std::int64_t Record(JournalEvent event);
    // A channel's state for an event, replacing the channel's earlier one; an event deleted
    // meanwhile is left alone.
    void SetDelivery(std::int64_t event, const JournalDelivery& delivery);

    // Waits until everything handed in so far is written; the first failure since the last
    // Flush, or empty when all was written.
    std::string Flush();

    const std::filesystem::path& file() const { return file_; }

private:
    using Write = std::function<std::string(JournalDatabase&)>;

    explicit Journal(std::filesystem::path file, EventLog* log);
    std::string Start();
    void Run(std::unique_ptr<JournalDatabase> database);
    void Post(std::string what, Write write);

    const std::filesystem::path file_;
    EventLog* const log_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::string, Write>> queue_;
    std::uint64_t posted_ = 0, written_ = 0;
    std::string firstFailure_;
    bool stop_ = false;
    std::thread thread_;
};
