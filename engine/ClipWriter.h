#pragma once
// Writes the clips of alarms on a thread of its own, so the detection loop never waits for an
// encoder: frames in, "clip_N.mp4" out (H.264 in MP4 where FFmpeg has an encoder for it, else
// MPEG-4 part 2), written under a temporary name and renamed, so no half clip is ever left. After
// each clip, the oldest clips in its folder go until they take no more than the bound.
//
// Threads: Queue from one thread (the run's); the writer thread reports through done, which it
// calls on its own thread.

#include "engine/FrameRing.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ClipJob {
    std::filesystem::path file;        // ".../clip_12.mp4"
    std::vector<StoryFrame> frames;    // oldest first
    double framesPerSecond = 8.0;
};

class ClipWriter {
public:
    // done(job's file, error): error empty when the clip was written. maxBytes bounds the clips
    // kept in a folder (0: no bound).
    using Done = std::function<void(const std::filesystem::path& file, const std::string& error)>;
    ClipWriter(std::uintmax_t maxBytes, Done done);
    // Writes what is queued, then ends the thread.
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    void Queue(ClipJob job);

private:
    void Run();

    const std::uintmax_t maxBytes_;
    const Done done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<ClipJob> jobs_;
    bool stop_ = false;
    std::thread thread_;
};

// Writes one clip now; empty when written, else why not.
std::string WriteClip(const ClipJob& job);

// Removes the oldest "clip_N.mp4" files of folder (by N) until the rest take at most maxBytes;
// keep is never removed.
void PruneClips(const std::filesystem::path& folder, std::uintmax_t maxBytes, const std::filesystem::path& keep);
