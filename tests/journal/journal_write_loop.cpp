// Writes to the journal named by its argument until it is killed: a run, then alarms, each with its
// mail queued then sent. After each write has returned (Flush) it prints "event ID", so a test
// that kills it knows which writes must survive.
#include "journal/Journal.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    JournalOpening opening = Journal::Open(argv[1]);
    if (!opening.journal) {
        std::fprintf(stderr, "%s\n", opening.note.c_str());
        return 1;
    }
    Journal& journal = *opening.journal;
    const std::int64_t run = journal.BeginRun("motion");
    for (std::int64_t n = 1;; ++n) {
        const std::string picture = "/pictures/pic_" + std::to_string(n) + ".jpg";
        const std::int64_t event = journal.Record({.runId = run, .kind = JournalKind::kAlarm, .pictureNumber = n,
                                                   .picture = picture, .note = std::string(200, 'x'),
                                                   .deliveries = {{.channel = "mail"}}});
        journal.SetDelivery(event, {.channel = "mail", .state = DeliveryState::Sent});
        if (const std::string failure = journal.Flush(); !failure.empty()) {
            std::fprintf(stderr, "%s\n", failure.c_str());
            return 1;
        }
        std::printf("event %lld\n", static_cast<long long>(event));
        std::fflush(stdout);
    }
}
