// Prints face mode's frames a second on one core at 1280×720 and 640×480: the FaceScanner and, for
// comparison, the whole-frame cascade (DetectFacesWith's call) on the same footage, and the share of
// the whole-frame cascade's faces the scanner found where the face moves (target: 95 %) and where it
// rests.
// The footage is drawn here: two faces walking to and fro across a textured room. Cost is counted as the
// thread's CPU time (the machine is shared; what other work takes of the core is not the scanner's)
// and, for reference, as time on the clock.

#include "engine/FaceScanner.h"
#include "tests/engine/DetectorScenes.h"

#include <opencv2/core/utility.hpp>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr double kFrameSeconds = 1.0 / 30.0;
constexpr int kFrames = 330;   // 11 s of footage: three of the scanner's whole-frame scans and more

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A face walking between two points at a speed in pixels a frame, resting pause frames at each end.
struct Walker {
    int width;
    cv::Point2d from, to;
    double speed;
    int pause;

    cv::Point At(int frame) const
    {
        const double length = cv::norm(to - from), walk = length / speed, lap = 2 * (walk + pause);
        double t = std::fmod(double(frame), lap);
        double along = 0.0;   // 0 at from, 1 at to
        if (t < walk)
            along = t / walk;
        else if (t < walk + pause)
            along = 1.0;
        else if (t < 2 * walk + pause)
            along = 1.0 - (t - walk - pause) / walk;
        const cv::Point2d p = from + (to - from) * along;
        return {cvRound(p.x), cvRound(p.y)};
    }
};

// Two faces, as in a room a camera watches: one of about the smallest size crossing the picture in
// 3 s, one a seventh of the picture's height walking slowly and resting 1.5 s at each end.
std::vector<Walker> Walkers(cv::Size size)
{
    const double w = size.width, h = size.height;
    return {
        {45, {0.1 * w, 0.3 * h}, {0.9 * w, 0.35 * h}, w / 90.0, 0},
        {size.height / 7, {0.8 * w, 0.7 * h}, {0.3 * w, 0.55 * h}, w / 300.0, 45},
    };
}

double Overlap(const cv::Rect& a, const cv::Rect& b)
{
    const double common = (a & b).area();
    return common / (a.area() + b.area() - common);
}

struct Result {
    double scannerCpu = 0, scannerWall = 0, cascadeCpu = 0, cascadeWall = 0, worstFrame = 0, searchedShare = 0;
    int movingFaces = 0, movingFound = 0, stillFaces = 0, stillFound = 0, extra = 0;
};

Result Bench(cv::CascadeClassifier& cascade, cv::Size size)
{
    const cv::Mat room = detector_scenes::Room(size);
    const std::vector<Walker> walkers = Walkers(size);
    FaceScanner scanner(cascade);
    Result r;
    std::vector<cv::Rect> reference;
    std::vector<cv::Point> before;
    for (int n = 0; n < kFrames; ++n) {
        cv::Mat frame = room.clone();
        std::vector<cv::Point> places;
        for (const Walker& w : walkers) {
            places.push_back(w.At(n));
            detector_scenes::DrawFace(frame, places.back(), w.width);
        }

        cv::Mat image = frame.clone();
        double cpu = ThreadSeconds(), wall = WallSeconds();
        scanner.Scan(image, cv::Mat(), n * kFrameSeconds);
        const double frameCpu = ThreadSeconds() - cpu;
        r.scannerCpu += frameCpu;
        r.scannerWall += WallSeconds() - wall;
        r.worstFrame = std::max(r.worstFrame, frameCpu);
        for (const cv::Rect& s : scanner.Searched())
            r.searchedShare += double(s.area()) / size.area() / kFrames;

        // The whole-frame cascade as DetectFacesWith calls it.
        cpu = ThreadSeconds(), wall = WallSeconds();
        cascade.detectMultiScale(frame, reference, 1.1, 2, cv::CASCADE_DO_CANNY_PRUNING, cv::Size(40, 40));
        r.cascadeCpu += ThreadSeconds() - cpu;
        r.cascadeWall += WallSeconds() - wall;

        // A face of the cascade's is a moving one when the walker it boxes moved since the last frame.
        const auto& faces = scanner.Faces();
        for (const cv::Rect& face : reference) {
            bool moving = false;
            for (size_t k = 0; k < places.size() && n > 0; ++k)
                moving = moving || (face.contains(places[k]) && places[k] != before[k]);
            const bool found = std::any_of(faces.begin(), faces.end(), [&](const cv::Rect& f) {
                return Overlap(f, face) >= 0.5;
            });
            (moving ? r.movingFaces : r.stillFaces) += 1;
            (moving ? r.movingFound : r.stillFound) += found;
        }
        before = places;
        for (const cv::Rect& f : faces)
            r.extra += std::none_of(reference.begin(), reference.end(),
                                    [&](const cv::Rect& face) { return Overlap(f, face) >= 0.5; });
    }
    return r;
}

}  // namespace

int main()
{
    cv::setNumThreads(1);
    cv::CascadeClassifier cascade(detector_scenes::kFrontalFaceCascade);
    if (cascade.empty()) {
        std::printf("cannot load %s\n", detector_scenes::kFrontalFaceCascade.c_str());
        return 1;
    }
    std::printf("one thread; %d frames of two faces walking across a textured room; frames a second from the"
                " thread's CPU time (from the clock)\n", kFrames);
    bool met = true;
    for (const auto& [size, target] : {std::pair{cv::Size(1280, 720), 30.0}, std::pair{cv::Size(640, 480), 60.0}}) {
        const Result r = Bench(cascade, size);
        const double share = r.movingFaces ? 100.0 * r.movingFound / r.movingFaces : 0.0;
        const double fps = kFrames / r.scannerCpu;
        std::printf("%dx%d FaceScanner:          %6.1f fps (%.1f)  target >= %.0f; slowest frame %.1f ms;"
                    " searched %.0f %% of the picture a frame\n", size.width, size.height, fps,
                    kFrames / r.scannerWall, target, 1000.0 * r.worstFrame, 100.0 * r.searchedShare);
        std::printf("%dx%d whole-frame cascade:  %6.1f fps (%.1f)\n", size.width, size.height,
                    kFrames / r.cascadeCpu, kFrames / r.cascadeWall);
        std::printf("%dx%d moving faces found: %d of %d (%.1f %%), target >= 95 %%;"
                    " %d of %d still; %d boxes the whole-frame cascade did not draw\n", size.width,
                    size.height, r.movingFound, r.movingFaces, share, r.stillFound, r.stillFaces, r.extra);
        met = met && fps >= target && share >= 95.0;
    }
    return met ? 0 : 1;
}
