#pragma once
// The journal's side of the program: the records of a run become the journal's runs and events,
// and what a channel says of an event's alert becomes its delivery state there.

#include "engine/RunRecord.h"
#include "mail/MailSender.h"

#include <cstdint>
#include <functional>

class Journal;

using RunRecorder = std::function<std::int64_t(const RunRecord& record)>;

// The record call of one run's environment (make one per run); empty when journal is null.
// journal must outlive the run. The records that only tell the room's state ("arming", "motion",
// "still") are not the journal's.
RunRecorder JournalRecorder(Journal* journal);
// A channel's report ("mail", "mqtt") as delivery states; empty when journal is null.
MailDeliveryReport JournalDeliveryReport(Journal* journal, const char* channel);
// The event's alert was handed to the channel ("queued"), or could not be (reason).
void JournalQueued(Journal* journal, std::int64_t event, const char* channel, bool queued, const std::string& reason);
