#pragma once
// Opens a frame source on a thread of its own: a camera or a stream can take seconds to open (up to
// FFmpeg's 5 s time-out), and the thread that asks (the GUI's) must not wait for it.

#include "engine/FrameSource.h"

#include <functional>
#include <future>
#include <memory>
#include <thread>

class SourceOpener {
public:
    // Starts open at once on its own thread.
    explicit SourceOpener(std::function<std::unique_ptr<FrameSource>()> open);
    // Waits for the open to finish (it cannot be cut short); a source not taken is released.
    ~SourceOpener();
    SourceOpener(const SourceOpener&) = delete;
    SourceOpener& operator=(const SourceOpener&) = delete;

    // True once the open has finished, whatever it gave.
    bool Done() const;
    // The opened source, null when none could be opened; waits for the open. Once only.
    std::unique_ptr<FrameSource> Take();

private:
    std::future<std::unique_ptr<FrameSource>> result_;
    std::thread thread_;
};
