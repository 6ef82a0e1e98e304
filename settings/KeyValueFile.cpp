#include "settings/KeyValueFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* blanks = " \t";

std::string Trimmed(const std::string& text, size_t begin, size_t end)
{
    const size_t first = text.find_first_not_of(blanks, begin);
    if (first == std::string::npos || first >= end)
        return {};
    const size_t last = text.find_last_not_of(blanks, end - 1);
    return text.substr(first, last - first + 1);
}

std::string ErrorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

// The descriptor, closed when it goes.
class OpenFile {
public:
    explicit OpenFile(const std::string& name) : fd_(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {}
    ~OpenFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return fd_; }

private:
    const int fd_;
};

// What a file that is not a regular one is, in a few words.
std::string KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    return S_ISSOCK(mode) ? "a socket" : "something else";
}

// Up to limit + 1 bytes of fd into text (one more than allowed tells a file that grew); the
// reason when a read failed.
std::string ReadAll(int fd, std::string& text, size_t limit)
{
    char buffer[8192];
    while (text.size() <= limit) {
        const ssize_t count = ::read(fd, buffer, std::min(sizeof buffer, limit + 1 - text.size()));
        if (count == 0)
            return {};
        if (count < 0 && errno != EINTR)
            return "could not be read: " + ErrorText(errno);
        if (count > 0)
            text.append(buffer, static_cast<size_t>(count));
    }
    return {};
}

// The whole of a regular file of at most kMaxKeyValueFileSize bytes into text; otherwise the
// reason, and missing set when nothing of that name exists. Opened without blocking: opening a
// FIFO for reading would otherwise wait for a writer.
std::string ReadRegularFile(const std::string& name, std::string& text, bool& missing)
{
    const OpenFile file(name);
    struct stat status {};
    if (file.fd() < 0) {
        const int error = errno;
        missing = error == ENOENT && ::lstat(name.c_str(), &status) != 0;
        return "could not be opened: " + ErrorText(error);
    }
    if (::fstat(file.fd(), &status) != 0)
        return "could not be read: " + ErrorText(errno);
    if (!S_ISREG(status.st_mode))
        return "is " + KindOf(status.st_mode) + ", not a regular file";
    const std::string tooLarge = "is larger than " + std::to_string(kMaxKeyValueFileSize) + " bytes";
    if (static_cast<unsigned long long>(status.st_size) > kMaxKeyValueFileSize)
        return tooLarge;
    const std::string problem = ReadAll(file.fd(), text, kMaxKeyValueFileSize);
    return problem.empty() && text.size() > kMaxKeyValueFileSize ? tooLarge : problem;
}

}  // namespace

CKeyValueFile::CKeyValueFile(const std::string& fileName)
{
    problem = ReadRegularFile(fileName, text, missing);
    if (!problem.empty())
        text.clear();
    // Without this skip the mark would become part of the first key, which then matched nothing.
    if (text.starts_with("\xEF\xBB\xBF"))
        position = 3;
    ReadNextLine();
}

void CKeyValueFile::ReadNextLine()
{
    hasRecord = false;
    while (position < text.size()) {
        // LF (Linux), CR LF (Windows) and CR alone (old Macs) each end a line.
        const size_t end = std::min(text.find_first_of("\r\n", position), text.size());
        currentLine.assign(text, position, end - position);
        position = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++lineNumber;
        const size_t comment = currentLine.find(';');
        if (comment != std::string::npos)
            currentLine.erase(comment);
        const size_t first = currentLine.find_first_not_of(blanks);
        if (first == std::string::npos)
            continue;
        currentLine.erase(0, first);
        hasRecord = true;
        return;
    }
    currentLine.clear();
}

const std::vector<std::string>& CKeyValueFile::NextRecord()
{
    fields.clear();
    if (!hasRecord)
        return fields;
    size_t position = 0;
    do {
        size_t comma = currentLine.find(',', position);
        if (comma == std::string::npos)
            comma = currentLine.size();
        fields.push_back(Trimmed(currentLine, position, comma));
        // A comma at the very end opens no further field.
        position = comma + 1;
    } while (position < currentLine.size());
    recordLine = lineNumber;
    ReadNextLine();
    return fields;
}
