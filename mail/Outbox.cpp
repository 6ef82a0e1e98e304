#include "mail/Outbox.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kEntry = ".mail";
constexpr const char* kPartial = ".tmp";

// The text fields, each a line of the file's header.
struct Field {
    const char* key;
    std::string OutboxEntry::*text;
};
constexpr Field kFields[] = {{"kind", &OutboxEntry::kind},           {"pictureName", &OutboxEntry::pictureName},
                             {"takenAt", &OutboxEntry::takenAt},     {"fromAddress", &OutboxEntry::fromAddress},
                             {"toAddress", &OutboxEntry::toAddress}, {"smtpServer", &OutboxEntry::smtpServer},
                             {"note", &OutboxEntry::note}};

// Milliseconds since the epoch, then a number counting this process's entries: names sort by age
// across restarts and never meet within one.
std::string NewId()
{
    static std::atomic<unsigned> sequence{0};
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch()).count();
    char id[48];
    std::snprintf(id, sizeof id, "%015lld-%09u", ms, sequence++);
    return id;
}

std::string Serialise(const OutboxEntry& entry)
{
    std::string text = "pictureNumber: " + std::to_string(entry.pictureNumber) + "\n";
    for (const Field& field : kFields)
        text += std::string(field.key) + ": " + entry.*field.text + "\n";
    return text + "\n" + entry.pictureBytes;
}

std::optional<OutboxEntry> Parse(const std::string& bytes, std::string id)
{
    const size_t end = bytes.find("\n\n");
    if (end == std::string::npos)
        return std::nullopt;
    OutboxEntry entry;
    entry.id = std::move(id);
    std::istringstream header(bytes.substr(0, end + 1));
    for (std::string line; std::getline(header, line);) {
        const size_t colon = line.find(": ");
        const std::string key = line.substr(0, colon), value = colon == std::string::npos ? "" : line.substr(colon + 2);
        if (key == "pictureNumber")
            entry.pictureNumber = std::atoll(value.c_str());
        for (const Field& field : kFields)
            if (key == field.key)
                entry.*field.text = value;
    }
    entry.pictureBytes = bytes.substr(end + 2);
    return entry;
}

// Every byte on the disk before the entry takes its name: a crash then leaves it whole or absent.
bool WriteDurably(const fs::path& file, const std::string& bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            break;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    const bool synced = done == bytes.size() && ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

void SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::vector<fs::path> Files(const fs::path& folder, const char* extension)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == extension)
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

Outbox::Outbox(fs::path folder) : folder_(std::move(folder))
{
    std::error_code error;
    for (const fs::path& partial : Files(folder_, kPartial))
        fs::remove(partial, error);
}

bool Outbox::Add(OutboxEntry& entry, std::string& reason)
{
    for (const Field& field : kFields)
        if ((entry.*field.text).find_first_of("\r\n") != std::string::npos) {
            reason = std::string("the entry's ") + field.key + " holds a line break";
            return false;
        }
    std::error_code error;
    fs::create_directories(folder_, error);
    std::string id = NewId();
    while (fs::exists(folder_ / (id + kEntry), error))
        id = NewId();
    const fs::path partial = folder_ / (id + kPartial);
    const bool written = WriteDurably(partial, Serialise(entry));
    if (written)
        fs::rename(partial, folder_ / (id + kEntry), error);
    if (!written || error) {
        reason = "the outbox in " + folder_.string() + " could not be written";
        fs::remove(partial, error);
        return false;
    }
    SyncFolder(folder_);
    entry.id = std::move(id);
    return true;
}

std::vector<OutboxEntry> Outbox::Waiting(std::uintmax_t maxBytes) const
{
    std::vector<OutboxEntry> entries;
    std::uintmax_t total = 0;
    for (const fs::path& file : Files(folder_, kEntry)) {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(file, error);
        if (error)
            continue;
        if (!entries.empty() && total + size > maxBytes)
            break;
        std::ifstream in(file, std::ios::binary);
        std::optional<OutboxEntry> entry =
            Parse({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, file.stem().string());
        if (entry && !in.bad()) {
            total += size;
            entries.push_back(std::move(*entry));
        }
    }
    return entries;
}

size_t Outbox::Count() const
{
    return Files(folder_, kEntry).size();
}

void Outbox::Remove(const std::string& id)
{
    std::error_code error;
    fs::remove(folder_ / (id + kEntry), error);
}
