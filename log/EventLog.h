#pragma once
// The record of what happened: one line per event (armed, picture saved or not, mail sent or
// failed, run ended and why), each with its local date and time, appended to "events.log" and
// echoed to standard error, where journald picks it up for a service. The file is kept small:
// past about 1 MB it becomes "events.log.1" (replacing an older one) and a new file begins.
// Control characters in an event are written escaped ("\n", "\x1b"), and a backslash as "\\", so
// no value can add a line of its own. Safe to use from any thread.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

class EventLog {
public:
    // file: the log's path (its folder is made when missing); empty: standard error only.
    explicit EventLog(std::filesystem::path file, bool echoToStandardError = true,
                      std::uintmax_t rotateAtBytes = 1024 * 1024);

    void Write(std::string_view event);

    const std::filesystem::path& file() const { return file_; }

private:
    void RotateIfFull();

    std::mutex mutex_;
    const std::filesystem::path file_;
    const bool echo_;
    const std::uintmax_t rotateAt_;
};
