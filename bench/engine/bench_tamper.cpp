// Prints the tamper guard's cost per frame on one core at 640x480 and 1280x720: 20 s of footage at
// 30 frames a second (a figure walking about a textured room, its lens covered from 8 s to 13 s),
// fed frame by frame with its timestamps to a new guard in each pass, learning included. Frames are
// drawn outside the timed calls. Each call is timed on the thread's own CPU clock, so the time the
// shared machine gives to other work does not count. Shown: the mean of the best pass and of the
// median pass, the 99th percentile of the frames after the first (the slower ones copy the last
// good frame, every half second), the slowest of them (its copies allocate memory: the second good
// frame, an event's pictures), the slowest first frame (the guard's buffers are made), and the
// events the first pass raised.

#include "engine/TamperGuard.h"
#include "tests/engine/DetectorScenes.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kFps = 30, kFrames = 20 * kFps, kPasses = 7;
constexpr double kCoveredFrom = 8.0, kCoveredUntil = 13.0;

double ThreadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return 1e3 * double(now.tv_sec) + 1e-6 * double(now.tv_nsec);
}

// The room with shelves and windows over the texture, and a dark figure walking to and fro.
struct Footage {
    explicit Footage(cv::Size size) : room(detector_scenes::Room(size)), cloth(size, CV_8UC3, cv::Scalar(90, 96, 100))
    {
        const int w = size.width, h = size.height;
        for (int x = w / 20; x < w; x += w / 5) {
            cv::rectangle(room, cv::Rect(x, h / 10, w / 10, h / 6), cv::Scalar(230, 220, 210), cv::FILLED);
            for (int shelf = h / 3; shelf < h; shelf += h / 6)
                cv::rectangle(room, cv::Rect(x, shelf, w / 8, h / 60 + 1), cv::Scalar(40, 60, 90), cv::FILLED);
        }
    }
    const cv::Mat& At(int n)
    {
        const double t = double(n) / kFps;
        if (t >= kCoveredFrom && t < kCoveredUntil)
            return cloth;
        const int width = room.cols / 8, span = room.cols - width, travel = n * room.cols / 100 % (2 * span);
        room.copyTo(frame);
        cv::rectangle(frame, cv::Rect(travel < span ? travel : 2 * span - travel, room.rows * 3 / 8, width,
                                      room.rows * 5 / 8), cv::Scalar(20, 30, 40), cv::FILLED);
        return frame;
    }
    cv::Mat room, cloth, frame;
};

void Bench(cv::Size size)
{
    Footage footage(size);
    std::vector<double> passMs, frameMs;
    double firstMs = 0.0;
    for (int pass = 0; pass < kPasses; ++pass) {
        TamperGuard guard;
        double spent = 0.0;
        for (int n = 0; n < kFrames; ++n) {
            const cv::Mat& frame = footage.At(n);
            const double start = ThreadMilliseconds();
            const auto event = guard.Feed(frame, 100.0 + double(n) / kFps);
            const double took = ThreadMilliseconds() - start;
            spent += took;
            if (n == 0)
                firstMs = std::max(firstMs, took);
            else
                frameMs.push_back(took);
            if (event && pass == 0)
                std::printf("  %dx%d: %s at %.2f s\n", size.width, size.height, TamperEventText(event->kind),
                            event->at - 100.0);
        }
        passMs.push_back(spent / kFrames);
    }
    std::sort(passMs.begin(), passMs.end());
    std::sort(frameMs.begin(), frameMs.end());
    std::printf("TamperGuard %4dx%-4d: %.4f ms a frame (median pass %.4f), 99th percentile %.4f, slowest %.4f,"
                " first %.4f  target at 640x480 <= 0.2\n", size.width, size.height, passMs.front(),
                passMs[passMs.size() / 2], frameMs[frameMs.size() * 99 / 100], frameMs.back(), firstMs);
}

}  // namespace

int main()
{
    cv::setNumThreads(1);
    std::printf("one thread; %d passes of %d frames\n", kPasses, kFrames);
    Bench({640, 480});
    Bench({1280, 720});
    return 0;
}
