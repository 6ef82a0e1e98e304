#pragma once
// What a run hands to its history (the journal): its arming and its end, and each event with its
// files. The run does not know where it goes; the program turns these into the journal's runs and
// events.

#include <cstdint>
#include <string>

struct RunRecord {
    // "armed" (note: the detector) and "run ended" (note: why) frame a run; the rest are events:
    // "alarm", "near alarm", "camera lost", "camera back", the tamper guard's "camera covered",
    // "camera moved", "view went dark", "view restored", "disk nearly full", "arming failed". And
    // what only tells the room's state: "arming" (the leave-room countdown began), "motion" and
    // "still" (the alarm level rose above zero, and drained to it).
    std::string kind;
    std::int64_t pictureNumber = 0;   // an alarm's N of pic_N.jpg
    std::string picture{}, story{}, clip{};   // full paths; empty when the event has none
    std::string note{};
    std::int64_t id = 0;              // an earlier record of this event, which this one completes
};
