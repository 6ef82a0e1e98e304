#include "app/InstanceLock.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

// The whole file, for writing: a POSIX record lock, so that F_GETLK names the process holding it.
struct flock WholeFile()
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}

// The process number the holder wrote into the file, or -1: for a holder in another PID namespace,
// whose number F_GETLK cannot tell.
pid_t HolderFromFile(int fd)
{
    char text[32] = {};
    const ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
    pid_t pid = -1;
    if (length <= 0 || std::from_chars(text, text + length, pid).ec != std::errc() || pid <= 0)
        return -1;
    return pid;
}

// For a person looking, and for a copy that cannot see this process's number. On a full disk the
// file stays empty: the lock holds all the same.
void WriteOwnPid(int fd)
{
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
}

}  // namespace

InstanceLock::InstanceLock(const std::filesystem::path& file)
{
    std::error_code ignored;   // the open below tells what is wrong with the folder
    std::filesystem::create_directories(file.parent_path(), ignored);
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        problem_ = "cannot guard against a second copy of Sentivo: " + file.string() + ": " + std::strerror(errno);
        return;
    }
    // Between a refused F_SETLK and the F_GETLK the holder may end: then try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct flock lock = WholeFile();
        if (::fcntl(fd_, F_SETLK, &lock) == 0) {
            WriteOwnPid(fd_);
            return;
        }
        if (errno != EACCES && errno != EAGAIN) {
            problem_ = "cannot guard against a second copy of Sentivo: " + file.string() + ": " + std::strerror(errno);
            return;
        }
        if (::fcntl(fd_, F_GETLK, &lock) != 0) {
            holder_ = -1;
            return;
        }
        if (lock.l_type != F_UNLCK) {
            holder_ = lock.l_pid > 0 ? lock.l_pid : HolderFromFile(fd_);
            return;
        }
    }
    holder_ = -1;   // taken and dropped again and again: another copy is starting or ending
}

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);   // drops the lock
}

std::string InstanceLock::RefusalText() const
{
    if (holder_ > 0)
        return "Sentivo is already running (process " + std::to_string(holder_) + ")";
    return "Sentivo is already running";
}
