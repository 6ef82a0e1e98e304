#include "mail/Outbox.h"

#include "mail/EntryKinds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <string_view>

namespace fs = std::filesystem;

namespace {

constexpr const char* kEntry = ".mail";
constexpr const char* kPartial = ".tmp";
constexpr std::uintmax_t kLargestEntry = 64 * 1024 * 1024;   // far above any camera's JPEG

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
    if (entry.event != 0)   // entries of earlier versions have none
        text += "event: " + std::to_string(entry.event) + "\n";
    if (entry.episode != 0)
        text += "episode: " + std::to_string(entry.episode) + "\n";
    std::string channels;
    for (const std::string& channel : entry.channels)
        channels += (channels.empty() ? "" : " ") + channel;
    text += "channels: " + channels + "\n";
    for (const Field& field : kFields)
        text += std::string(field.key) + ": " + entry.*field.text + "\n";
    return text + "\n" + entry.pictureBytes;
}

// What makes an entry mailable, the same when it is added and when it is read back; empty: fine.
std::string Problem(const OutboxEntry& entry)
{
    const EntryKind* kind = FindEntryKind(entry.kind);
    if (!kind)
        return "unknown kind \"" + entry.kind.substr(0, 40) + "\"";
    if (entry.pictureNumber < 0)
        return "negative picture number";
    if (entry.channels.empty())
        return "no channel named";
    for (const std::string& channel : entry.channels)
        if (std::find(std::begin(kChannels), std::end(kChannels), channel) == std::end(kChannels))
            return "unknown channel \"" + channel.substr(0, 20) + "\"";
    if ((kind->picture || !entry.pictureBytes.empty()) && !IsJpeg(entry.pictureBytes))
        return "the picture is not a JPEG";
    for (const Field& field : kFields)
        if ((entry.*field.text).find_first_of("\r\n") != std::string::npos)
            return std::string("the entry's ") + field.key + " holds a line break";
    return {};
}

std::string ExpectedName(const OutboxEntry& entry)
{
    const EntryKind* kind = FindEntryKind(entry.kind);
    return !kind || (!kind->picture && entry.pictureBytes.empty()) ? "" : AttachmentName(*kind, entry.pictureNumber);
}

// One "key: value" line into entry; false for a line Serialise does not write.
bool ParseLine(std::string_view line, OutboxEntry& entry, std::set<std::string_view>& seen)
{
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos)
        return false;
    const std::string_view key = line.substr(0, colon), value = line.substr(colon + 2);
    if (!seen.insert(key).second)
        return false;
    if (key == "pictureNumber" || key == "event" || key == "episode") {
        std::int64_t& number = key == "event" ? entry.event : key == "episode" ? entry.episode : entry.pictureNumber;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
        return error == std::errc() && end == value.data() + value.size();
    }
    if (key == "channels") {
        entry.channels.clear();
        for (size_t start = 0; start < value.size();) {
            const size_t end = std::min(value.find(' ', start), value.size());
            entry.channels.emplace_back(value.substr(start, end - start));
            start = end + 1;
        }
        return true;
    }
    for (const Field& field : kFields)
        if (key == field.key) {
            entry.*field.text = value;
            return true;
        }
    return false;
}

std::optional<OutboxEntry> Parse(std::string_view bytes, std::string id, std::string& problem)
{
    const size_t end = bytes.find("\n\n");
    OutboxEntry entry;
    entry.id = std::move(id);
    entry.kind.clear();   // a file must name its kind
    std::set<std::string_view> seen;
    for (size_t start = 0; end != std::string_view::npos && start <= end;) {
        const size_t stop = bytes.find('\n', start);
        if (!ParseLine(bytes.substr(start, stop - start), entry, seen)) {
            problem = "not an outbox entry";
            return std::nullopt;
        }
        start = stop + 1;
    }
    if (end == std::string_view::npos || !seen.contains("kind") || !seen.contains("pictureNumber")) {
        problem = "not a whole outbox entry";
        return std::nullopt;
    }
    entry.pictureBytes = bytes.substr(end + 2);
    problem = Problem(entry);
    if (problem.empty() && entry.pictureName != ExpectedName(entry))
        problem = "the attachment's name is not the one Sentivo gives it";
    return problem.empty() ? std::optional(std::move(entry)) : std::nullopt;
}

// Every byte on the disk before the entry takes its name: a crash then leaves it whole or absent.
// Empty when written, else the system's reason.
std::string WriteDurably(const fs::path& file, const std::string& bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::strerror(errno);
    size_t done = 0;
    int error = 0;
    while (done < bytes.size() && !error) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            error = errno;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    return error ? std::strerror(error) : "";
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

// The file's bytes when it is a regular file of a bounded size; never waits on a FIFO or a device.
// Nothing with errno's reason otherwise (ENOENT: gone).
std::optional<std::string> ReadEntryFile(const fs::path& file, int& error)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    error = fd < 0 ? errno : ::fstat(fd, &info) != 0 ? errno : !S_ISREG(info.st_mode) ? EINVAL
          : static_cast<std::uintmax_t>(info.st_size) > kLargestEntry ? EFBIG : 0;
    std::string bytes(error ? 0 : static_cast<size_t>(info.st_size), '\0');
    for (size_t done = 0; !error && done < bytes.size();) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        error = n < 0 && errno != EINTR ? errno : n == 0 ? EIO : 0;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    if (fd >= 0)
        ::close(fd);
    return error ? std::nullopt : std::optional(std::move(bytes));
}

}  // namespace

Outbox::Outbox(fs::path folder) : folder_(std::move(folder))
{
    if (folder_.has_parent_path() && !folder_.has_filename())   // "outbox/": its parent is "outbox"
        folder_ = folder_.parent_path();
    std::error_code error;
    for (const fs::path& partial : Files(folder_, kPartial))
        fs::remove(partial, error);
}

bool Outbox::Add(OutboxEntry& entry, std::string& reason)
{
    entry.pictureName = ExpectedName(entry);
    if (reason = Problem(entry); !reason.empty())
        return false;
    std::error_code error;
    if (entry.id.empty())
        entry.id = NewId();
    if (!fs::is_directory(folder_, error) && !fs::create_directories(folder_, error)) {
        reason = "the outbox " + folder_.string() + " could not be made: "
            + (error ? error.message() : "a file has its name");
        return false;
    }
    const fs::path partial = folder_ / (entry.id + kPartial);
    std::string failure = WriteDurably(partial, Serialise(entry));
    if (failure.empty())
        fs::rename(partial, folder_ / (entry.id + kEntry), error);
    if (!failure.empty() || error) {
        reason = "the outbox " + folder_.string() + " could not be written: " + (failure.empty() ? error.message() : failure);
        fs::remove(partial, error);
        return false;
    }
    SyncFolder(folder_);
    return true;
}

std::vector<std::string> Outbox::Ids() const
{
    std::vector<std::string> ids;
    for (const fs::path& file : Files(folder_, kEntry))
        ids.push_back(file.stem().string());
    return ids;
}

std::optional<OutboxEntry> Outbox::Read(const std::string& id, std::string& problem) const
{
    int error = 0;
    const std::optional<std::string> bytes = ReadEntryFile(folder_ / (id + kEntry), error);
    problem.clear();
    if (!bytes) {
        if (error != ENOENT)
            problem = error == EFBIG ? "too large to be an entry"
                    : error == EINVAL || error == ELOOP ? "not a regular file" : std::strerror(error);
        return std::nullopt;
    }
    return Parse(*bytes, id, problem);
}

bool Outbox::SetAside(const std::string& id, std::string& reason) const
{
    std::error_code error;
    fs::create_directories(rejectedFolder(), error);
    fs::rename(folder_ / (id + kEntry), rejectedFolder() / (id + kEntry), error);
    if (error)
        reason = "it could not be moved to " + rejectedFolder().string() + ": " + error.message();
    return !error;
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

bool Outbox::Settle(const std::string& id, std::string_view channel, std::string& reason)
{
    std::lock_guard lock(settling_);
    std::optional<OutboxEntry> entry = Read(id, reason);
    if (!entry)
        return reason.empty();   // gone already
    return Settled(*entry, {std::string(channel)}, reason);
}

// entry as read, without channels: rewritten, or removed when no channel is left. Under settling_.
bool Outbox::Settled(OutboxEntry& entry, const std::vector<std::string>& channels, std::string& reason)
{
    std::erase_if(entry.channels, [&](const std::string& channel) {
        return std::find(channels.begin(), channels.end(), channel) != channels.end();
    });
    if (entry.channels.empty()) {
        Remove(entry.id);
        return true;
    }
    return Add(entry, reason);   // under its own id: the rename replaces the file whole
}

bool Owes(const OutboxEntry& entry, std::string_view channel)
{
    return std::find(entry.channels.begin(), entry.channels.end(), channel) != entry.channels.end();
}

size_t Outbox::Release(const std::vector<std::string>& channels)
{
    size_t released = 0;
    std::lock_guard lock(settling_);
    for (const std::string& id : Ids()) {
        std::string problem;
        std::optional<OutboxEntry> entry = Read(id, problem);
        const bool owes = entry && std::any_of(channels.begin(), channels.end(), [&](const std::string& channel) {
            return Owes(*entry, channel);
        });
        released += owes && Settled(*entry, channels, problem);
    }
    return released;
}

std::string TakenAtNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[24];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}
