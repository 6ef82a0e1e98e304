#pragma once
// The journal's side of the program: the records of a run become the journal's runs and events,
// and what the mail sender says of an event's mail becomes its "mail" delivery state.

#include "engine/RunRecord.h"
#include "mail/MailSender.h"

#include <cstdint>
#include <functional>

class Journal;

using RunRecorder = std::function<std::int64_t(const RunRecord& record)>;

// The record call of one run's environment (make one per run); empty when journal is null.
// journal must outlive the run.
RunRecorder JournalRecorder(Journal* journal);
// The mail sender's report as delivery states; empty when journal is null.
MailDeliveryReport JournalMailReport(Journal* journal);
// The event's mail was handed to the sender ("queued"), or could not be (reason).
void JournalMailQueued(Journal* journal, std::int64_t event, bool queued, const std::string& reason);
