#include "engine/PictureFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// An open file descriptor, closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // errno of a failed close, else 0.
    int Close()
    {
        const int result = fd_ >= 0 && ::close(fd_) != 0 ? errno : 0;
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// Every byte written and on the disk: 0, else errno.
int WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

std::string Reason(int error) { return std::strerror(error); }

// The picture through an unnamed file of the folder, linked under its name once whole: nothing is
// left by a failure or a crash. EOPNOTSUPP (and kin) when the file system has no unnamed files.
int SaveThroughUnnamedFile(const fs::path& folder, const std::string& path, std::string_view bytes)
{
    FileDescriptor file(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.get() < 0)
        return errno;
    if (const int error = WriteAll(file.get(), bytes))
        return error;
    const std::string procLink = "/proc/self/fd/" + std::to_string(file.get());
    // linkat never replaces: an existing name gives EEXIST.
    if (::linkat(AT_FDCWD, procLink.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return errno;
    return file.Close();
}

// The same through a named temporary file (".pic_N.jpg.PID-K.part"), for file systems without
// unnamed ones; link() gives it the picture's name without replacing one, then the temporary name goes.
int SaveThroughTemporaryFile(const std::string& path, std::string_view bytes)
{
    static std::atomic<unsigned> counter{0};
    const fs::path target(path);
    const fs::path temporary = target.parent_path() / ("." + target.filename().string() + "." + std::to_string(::getpid())
                                                       + "-" + std::to_string(counter.fetch_add(1)) + ".part");
    FileDescriptor file(::open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
    if (file.get() < 0)
        return errno;
    int error = WriteAll(file.get(), bytes);
    if (const int closeError = file.Close(); !error)
        error = closeError;
    if (!error && ::link(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    ::unlink(temporary.c_str());
    return error;
}

bool NoUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT; }

}  // namespace

std::string SavePicture(const std::string& path, const std::string& jpegBytes)
{
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    int error = SaveThroughUnnamedFile(folder, path, jpegBytes);
    if (error && NoUnnamedFiles(error) && fs::is_directory(folder))
        error = SaveThroughTemporaryFile(path, jpegBytes);
    return error ? Reason(error) : std::string();
}
