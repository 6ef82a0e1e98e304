#include "engine/ClipWriter.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <charconv>

namespace fs = std::filesystem;

namespace {

cv::Mat Decoded(const StoryFrame& frame)
{
    return cv::imdecode(cv::Mat(1, static_cast<int>(frame.jpeg->size()), CV_8UC1, const_cast<char*>(frame.jpeg->data())),
                        cv::IMREAD_COLOR);
}

// H.264 plays everywhere; FFmpeg builds without an H.264 encoder still have MPEG-4 part 2.
bool OpenWriter(cv::VideoWriter& writer, const fs::path& file, double fps, cv::Size size)
{
    for (const int fourcc : {cv::VideoWriter::fourcc('a', 'v', 'c', '1'), cv::VideoWriter::fourcc('m', 'p', '4', 'v')})
        if (writer.open(file.string(), cv::CAP_FFMPEG, fourcc, fps, size))
            return true;
    return false;
}

// N of "clip_N.mp4", or -1.
long long ClipNumber(const fs::path& file)
{
    const std::string name = file.filename().string();
    if (!name.starts_with("clip_") || !name.ends_with(".mp4"))
        return -1;
    long long number = -1;
    const char* first = name.data() + 5;
    const char* last = name.data() + name.size() - 4;
    const auto [end, error] = std::from_chars(first, last, number);
    return error == std::errc() && end == last ? number : -1;
}

}  // namespace

std::string WriteClip(const ClipJob& job)
{
    if (job.frames.empty())
        return "no frames";
    const cv::Mat first = Decoded(job.frames.front());
    if (first.empty())
        return "the first frame could not be read";
    // The container is chosen by the extension, so the temporary name keeps ".mp4".
    const fs::path partial = job.file.parent_path() / ("." + job.file.stem().string() + ".partial.mp4");
    std::error_code error;
    fs::create_directories(job.file.parent_path(), error);
    cv::VideoWriter writer;
    if (!OpenWriter(writer, partial, job.framesPerSecond, first.size()))
        return "no video encoder could write " + partial.string();
    for (const StoryFrame& frame : job.frames) {
        cv::Mat image = Decoded(frame);
        if (image.size() != first.size())
            continue;   // a camera that changed its size mid-story: those frames are left out
        writer.write(image);
    }
    writer.release();
    if (fs::file_size(partial, error) == 0 || error) {
        fs::remove(partial, error);
        return "the clip could not be written in " + job.file.parent_path().string();
    }
    fs::rename(partial, job.file, error);
    if (error) {
        fs::remove(partial, error);
        return "the clip could not be named " + job.file.string() + ": " + error.message();
    }
    return {};
}

void PruneClips(const fs::path& folder, std::uintmax_t maxBytes, const fs::path& keep)
{
    std::vector<std::pair<long long, fs::path>> clips;
    std::uintmax_t total = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const long long number = ClipNumber(it->path());
        std::error_code sizeError;
        const std::uintmax_t size = it->file_size(sizeError);
        if (number < 0 || sizeError)
            continue;
        total += size;
        clips.emplace_back(number, it->path());
    }
    std::sort(clips.begin(), clips.end());
    for (const auto& [number, file] : clips) {
        if (total <= maxBytes)
            break;
        if (file == keep)
            continue;
        std::error_code sizeError;
        const std::uintmax_t size = fs::file_size(file, sizeError);
        if (fs::remove(file, sizeError))
            total -= size;
    }
}

ClipWriter::ClipWriter(std::uintmax_t maxBytes, Done done)
    : maxBytes_(maxBytes), done_(std::move(done)), thread_(&ClipWriter::Run, this)
{
}

ClipWriter::~ClipWriter()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ClipWriter::Queue(ClipJob job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void ClipWriter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        ClipJob job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        const std::string error = WriteClip(job);
        if (error.empty() && maxBytes_ > 0)
            PruneClips(job.file.parent_path(), maxBytes_, job.file);
        if (done_)
            done_(job.file, error);
        lock.lock();
    }
}
