#pragma once
// A mail about the run itself rather than an alarm.

#include <string>

struct RunAlert {
    std::string kind;        // "camera lost", "camera back", "disk nearly full"
    std::string text;        // one line
    std::string jpegBytes;   // the last good frame, or empty
};
