#include "log/EventLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>

namespace {

std::string LocalTimeStamp()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// One event is one line: a control character in a value (a setting holding a line break, a
// server's answer) is written as an escape, so it can neither end the line nor forge another.
// The backslash is escaped too, so an escape in the log always means one of these.
std::string Escaped(std::string_view event)
{
    std::string text;
    text.reserve(event.size());
    for (const char c : event) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            text += "\\\\";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\t')
            text += "\\t";
        else if (byte < 0x20 || byte == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            text += hex;
        } else
            text += c;
    }
    return text;
}

}  // namespace

EventLog::EventLog(std::filesystem::path file, bool echoToStandardError, std::uintmax_t rotateAtBytes)
    : file_(std::move(file)), echo_(echoToStandardError), rotateAt_(rotateAtBytes)
{
}

void EventLog::Write(std::string_view event)
{
    const std::string line = LocalTimeStamp() + "  " + Escaped(event) + "\n";
    std::lock_guard lock(mutex_);
    if (echo_) {
        std::fputs(("sentivo: " + line).c_str(), stderr);
        std::fflush(stderr);
    }
    if (file_.empty())
        return;
    // A log that cannot be written must not stop the alarm: the line still went to stderr.
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    RotateIfFull();
    std::ofstream out(file_, std::ios::app | std::ios::binary);
    out << line;
}

void EventLog::RotateIfFull()
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file_, error);
    if (error || size < rotateAt_)
        return;
    std::filesystem::path old = file_;
    old += ".1";
    std::filesystem::rename(file_, old, error);
}
