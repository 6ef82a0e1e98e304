// Prints the detectors' cost per frame on one core: DetectMotion at 640×480 and 1920×1080 on a
// moving synthetic scene (a figure walking to and fro at 30 frames a second), DetectFaces at
// 640×480 on a picture with two faces, and whether any image buffer was re-allocated once the
// stream was steady.

#include "engine/FaceDetector.h"
#include "engine/MotionDetector.h"
#include "tests/engine/DetectorScenes.h"

#include <opencv2/core/utility.hpp>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFrameSeconds = 1.0 / 30.0;

// Every buffer the motion detector owns, plus the caller's overlay.
std::vector<const uchar*> Buffers(const DetectorState& state, const cv::Mat& overlay)
{
    std::vector<const uchar*> buffers;
    for (const cv::Mat& slot : state.frameRing)
        buffers.push_back(slot.data);
    for (const cv::Mat* m : {&state.motionHistory, &state.motionMask, &state.segmentMap,
                             &state.zeroPlane, &overlay})
        buffers.push_back(m->data);
    return buffers;
}

// Milliseconds per DetectMotion call; sets reallocated when a buffer moved after warm-up.
double BenchMotion(cv::Size size, int frames, bool& reallocated)
{
    DetectorState state;
    const cv::Mat room = detector_scenes::Room(size);
    const int figureWidth = size.width / 8, figureHeight = size.height * 5 / 8;
    const int step = size.width / 100, span = size.width - figureWidth;
    cv::Mat overlay(size, CV_8UC3);
    const auto frameAt = [&](int n) {
        const int travel = (n * step) % (2 * span);
        const int x = travel < span ? travel : 2 * span - travel;
        return detector_scenes::RoomWithFigure(room, x, figureWidth, figureHeight);
    };

    const int warmUp = 40;
    double timestamp = 5.0;
    std::vector<const uchar*> steady;
    Clock::duration spent{};
    int detections = 0;
    for (int n = 0; n < warmUp + frames; ++n) {
        const cv::Mat frame = frameAt(n);
        if (n == warmUp)
            steady = Buffers(state, overlay);
        const auto start = Clock::now();
        const bool moved = DetectMotionWith(state, frame, overlay, 30, timestamp);
        if (n >= warmUp) {
            spent += Clock::now() - start;
            detections += moved;
        }
        timestamp += kFrameSeconds;
    }
    reallocated = reallocated || Buffers(state, overlay) != steady;
    std::printf("  (%d of %d frames showed motion)\n", detections, frames);
    return std::chrono::duration<double, std::milli>(spent).count() / frames;
}

double BenchFaces(int frames, int& found)
{
    DetectorState state;
    state.faceCascade = std::make_shared<cv::CascadeClassifier>(detector_scenes::kFrontalFaceCascade);
    if (state.faceCascade->empty()) {
        std::printf("cannot load %s\n", detector_scenes::kFrontalFaceCascade.c_str());
        return -1.0;
    }
    const cv::Mat picture = detector_scenes::TwoFaces(cv::Size(640, 480), 100);
    Clock::duration spent{};
    for (int n = 0; n < frames; ++n) {
        cv::Mat image = picture.clone();
        const auto start = Clock::now();
        DetectFacesWith(state, image);
        spent += Clock::now() - start;
    }
    found = static_cast<int>(state.detectorStorage.size());
    return std::chrono::duration<double, std::milli>(spent).count() / frames;
}

}  // namespace

int main()
{
    cv::setNumThreads(1);
    bool reallocated = false;
    const double vga = BenchMotion(cv::Size(640, 480), 600, reallocated);
    std::printf("DetectMotion 640x480:   %.3f ms/frame (target <= 1.0)\n", vga);
    const double fullHd = BenchMotion(cv::Size(1920, 1080), 200, reallocated);
    std::printf("DetectMotion 1920x1080: %.3f ms/frame (target <= 5.0)\n", fullHd);
    int faces = 0;
    const double faceMs = BenchFaces(30, faces);
    std::printf("DetectFaces 640x480:    %.3f ms/frame (%d faces found)\n", faceMs, faces);
    std::printf("Image buffers re-allocated in steady state: %s\n", reallocated ? "YES" : "none");
    return reallocated ? 1 : 0;
}
