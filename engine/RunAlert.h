#pragma once
// An alert about the run itself rather than an alarm, for the alert channels.

#include <cstdint>
#include <string>

struct RunAlert {
    std::string kind;        // "camera lost", "camera back", "disk nearly full"
    std::string text;        // one line
    std::string jpegBytes;   // the last good frame, or empty
    std::int64_t event = 0;  // its event in the run's history; 0: none
    bool mail = true;        // the mail takes it too ("Send emails" on)
};
