#include "app/RunJournal.h"

#include "journal/Journal.h"

#include <filesystem>
#include <memory>
#include <utility>

namespace {

// The History window opens files from wherever it runs: the journal names them in full.
std::string Absolute(const std::string& file)
{
    std::error_code error;
    return file.empty() ? file : std::filesystem::absolute(file, error).lexically_normal().string();
}

}  // namespace

RunRecorder JournalRecorder(Journal* journal)
{
    if (!journal)
        return {};
    // Records come one at a time: from the thread that starts the run, then from the run's thread.
    auto run = std::make_shared<std::int64_t>(0);
    return [journal, run](const RunRecord& record) -> std::int64_t {
        if (record.kind == "arming" || record.kind == "motion" || record.kind == "still")
            return 0;
        if (record.kind == "armed")
            return *run = journal->BeginRun(record.note);
        if (record.kind == "run ended") {
            if (*run)
                journal->EndRun(*run, record.note);
            return std::exchange(*run, 0);
        }
        const std::int64_t id = journal->Record({.id = record.id, .runId = *run, .kind = record.kind,
                                                 .pictureNumber = record.pictureNumber,
                                                 .picture = Absolute(record.picture), .story = Absolute(record.story),
                                                 .clip = Absolute(record.clip), .note = record.note, .deliveries = {}});
        // An alarm is first recorded before its picture takes its name, and written before the run
        // goes on: a kill -9 loses none from the journal. Its completion may follow at leisure.
        if (record.kind == JournalKind::kAlarm && record.id == 0)
            journal->Flush();
        return id;
    };
}

MailDeliveryReport JournalDeliveryReport(Journal* journal, const char* channel)
{
    if (!journal)
        return {};
    return [journal, channel](std::int64_t event, const char* state, const std::string& reason) {
        journal->SetDelivery(event, {.channel = channel, .state = DeliveryStateFromName(state), .reason = reason});
    };
}

void JournalQueued(Journal* journal, std::int64_t event, const char* channel, bool queued, const std::string& reason)
{
    if (journal && event)
        journal->SetDelivery(event, {.channel = channel,
                                     .state = queued ? DeliveryState::Queued : DeliveryState::Refused,
                                     .reason = queued ? std::string() : "not queued: " + reason});
}
