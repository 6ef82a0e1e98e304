// The detectors on drawn scenes, runs frame by frame on the rig, the worker, and a real video file.

#include "engine/FaceDetector.h"
#include "engine/MotionDetector.h"
#include "tests/engine/DetectorScenes.h"
#include "tests/engine/SurveillanceTestRig.h"

#include <gtest/gtest.h>
#include <opencv2/optflow/motempl.hpp>
#include <opencv2/videoio.hpp>


namespace {

using namespace detector_scenes;
using Strings = std::vector<std::string>;

// The rules pixel by pixel: grey against three calls before (black at first and after a change of size); a
// change above the threshold stamps the time into a one-second history; motion when 5 % of the frame changed,
// or 5 % of a component 100 pixels across (width + height) that OpenCV segments in the whole history.
struct PlainModel {
    cv::Mat history, silhouette;
    std::vector<cv::Mat> greys;
    std::vector<cv::Rect> components;

    bool Step(const cv::Mat& frame, double now, int threshold)
    {
        cv::Mat grey, segments;
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        if (history.size() != grey.size()) {
            history = cv::Mat::zeros(grey.size(), CV_32FC1);
            greys.assign(3, cv::Mat(grey.size(), CV_8UC1, 0.0));
        }
        silhouette.create(grey.size(), CV_8UC1);
        for (size_t i = 0; i < grey.total(); ++i) {   // every image here is continuous
            float& h = history.ptr<float>()[i];
            silhouette.data[i] = std::abs(grey.data[i] - greys.front().data[i]) > threshold;
            h = silhouette.data[i] ? float(now) : h < float(now - 1.0) ? 0.0f : h;
        }
        greys.erase(greys.begin());
        greys.push_back(grey);
        const bool wholeFrame = cv::countNonZero(silhouette) >= 0.05 * grey.total();
        components.clear();   // segmentMotion only appends; a frame that shows motion as a whole needs none
        if (!wholeFrame)
            cv::motempl::segmentMotion(history, segments, components, now, 0.5);
        bool motion = wholeFrame;
        for (const cv::Rect& r : components)
            motion |= r.width + r.height >= 100 && cv::countNonZero(silhouette(r)) >= 0.05 * r.area();
        return motion;
    }
};

// A noisy room, figures of several sizes walking at several speeds, at times a light exactly 30 levels up.
cv::Mat Staged(int n)
{
    static const cv::Mat room = Room({200, 150}, 11);
    cv::Mat frame = room + cv::Scalar::all(n % 37 > 30 ? 30 : 0), noise(room.size(), CV_8UC3);
    const int figures[][5] = {{24, 60, 3, 0, 70}, {12, 14, 2, 20, 110}, {50, 110, 6, 70, 100}, {8, 8, 9, 100, 160}};
    for (const auto& [width, height, speed, from, to] : figures) {
        const int span = room.cols - width, x = (n * speed) % (2 * span);
        if (n >= from && n < to)
            cv::rectangle(frame, {x < span ? x : 2 * span - x, room.rows - height, width, height}, cv::Scalar(25), -1);
    }
    cv::RNG(n + 1).fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(9));
    return frame + noise;
}

// Black, with a white rectangle from the second call on.
cv::Mat Lit(int n, cv::Size size, cv::Rect lit)
{
    cv::Mat frame(size, CV_8UC3, cv::Scalar::all(0));
    frame(lit).setTo(cv::Scalar::all(n > 0 ? 255 : 0));
    return frame;
}

TEST(MotionDetector, AgreesWithThePlainModelOnEveryScene)
{
    const struct {
        const char* name;
        int calls, threshold;
        std::function<cv::Mat(int call)> frame;
        int motions;   // -1: some but not all
    } scenes[] = {
        {"staged, threshold 30", 160, 30, Staged, -1},
        {"500 changed pixels are 5 % of 100×100", 2, 30, [](int n) { return Lit(n, {100, 100}, {0, 0, 25, 20}); }, 1},
        {"a 50×50 component is 100 across", 2, 30, [](int n) { return Lit(n, {320, 240}, {0, 0, 50, 50}); }, 1},
        {"a 49×50 one is not", 2, 30, [](int n) { return Lit(n, {320, 240}, {0, 0, 49, 50}); }, 0},
        {"a smaller frame: afresh, against black", 8, 30, [](int n) { return Room({n < 5 ? 200 : 100, 150}); }, 6},
    };
    for (const auto& scene : scenes) {
        SCOPED_TRACE(scene.name);
        DetectorState state;
        PlainModel model;
        double now = 10.0;
        int motions = 0;
        for (int n = 0; n < scene.calls; ++n) {
            SCOPED_TRACE(n);
            const cv::Mat frame = scene.frame(n);
            // The overlay: whatever the caller left there, then the history, 255 now to 0 at 1 s, in blue only.
            cv::Mat overlay(frame.size(), CV_8UC3, cv::Scalar::all(77)), expected(overlay.size(), CV_8UC3, 0.0), blue;
            now += n % 53 == 52 ? 1.3 : 0.01 + 0.01 * (n * 7 % 9);   // 10 to 90 ms, at times over a second
            const bool motion = DetectMotionWith(state, frame, overlay, MotionRules{scene.threshold, 0.05, {}}, now);
            ASSERT_EQ(motion, model.Step(frame, now, scene.threshold));
            ASSERT_EQ(state.detectorStorage, model.components);
            model.history.convertTo(blue, CV_8U, 255.0, (1.0 - now) * 255.0);
            cv::insertChannel(blue, expected, 0);
            ASSERT_LE(cv::norm(overlay, expected, cv::NORM_INF), 1.0);
            motions += motion;
        }
        EXPECT_TRUE(scene.motions < 0 ? motions > 10 && motions < 150 : motions == scene.motions) << motions;
    }
}

// Red boxes from (x, y) to (x + width, y + height), thickness 3, with the cascade each run loads afresh.
TEST(FaceDetector, FindsDrawnFacesWithTheLoadedCascade)
{
    const cv::Size size(640, 480);
    const struct { const char* name; cv::Mat picture; std::string cascade; size_t found; } cases[] = {
        {"two faces", TwoFaces(size, 100), kFrontalFaceCascade, 2},
        {"faces under 40×40", TwoFaces(size, 25), kFrontalFaceCascade, 0},
        {"no cascade", TwoFaces(size, 100), "missing.xml", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DetectorState state;
        state.faceCascade = LoadFaceCascade(c.cascade);
        ASSERT_EQ(state.faceCascade != nullptr, c.cascade == kFrontalFaceCascade) << "opencv-data is needed";
        std::vector<cv::Rect>& faces = state.detectorStorage;
        faces.assign(3, cv::Rect(1, 2, 3, 4));   // an earlier call's
        cv::Mat image = c.picture.clone(), expected = c.picture.clone();
        EXPECT_EQ(DetectFacesWith(state, image), c.found > 0);
        EXPECT_EQ(faces.size(), c.found);
        for (const cv::Rect& face : faces)
            cv::rectangle(expected, face.tl(), face.br(), cv::Scalar(0, 0, 255), 3, cv::LINE_8);
        EXPECT_EQ(cv::norm(image, expected, cv::NORM_INF), 0.0);
    }
}

// Frame n (1-based) ends with the run (n - 1) / 16 s old: the first frame's interval is empty.
constexpr size_t F(double seconds) { return size_t(seconds * 16) + 1; }

TEST(SurveillanceRun, AlarmLevelAndPicturesFrameByFrame)
{
    const struct {
        const char* name;
        float delayBeforeAlarm, delayBetweenSends;
        bool faceMode;
        size_t seenFrom, seenTo, frames;   // the detector finds something in frames seenFrom..seenTo
        std::vector<size_t> pictureFrames;
        std::vector<std::pair<size_t, float>> levels;   // frame, level after it
        int takenBefore;                                // pictures of earlier runs of the program
        size_t mails, newDelaysFrom;
    } roads[] = {
        {"first picture at 10 s, then every 2 s", 10, 2, false, 1, 999, F(16.5), {F(10), F(12), F(14), F(16)},
         {{F(10) - 1, 9.9375f}, {F(10), 8}, {F(10) + 1, 8.0625f}}, 0, 4, 0},
        {"no motion drains the level, never below 0", 10, 2, false, 1, F(3), F(8), {},
         {{F(3), 3}, {F(5), 1}, {F(8), 0}}, 0, 0, 0},
        {"face mode: 0.3 s of face, then every 2 s", 10, 2, true, F(3) + 1, 999, F(7.5), {F(3) + 5, F(5) + 5, F(7) + 5},
         {{F(3) + 4, 0.25f}, {F(3) + 5, 0}}, 0, 3, 0},
        {"face mode mails up to picture 25", 10, 0.5, true, 1, 999, F(2.5), {9, 17, 25, 33, 41}, {}, 23, 2, 0},
        {"motion mode mails every picture", 0.5, 0.5, false, 1, 999, F(2.5), {9, 17, 25, 33, 41}, {}, 23, 5, 0},
        {"a new spacing counts at the next decision, the alarm delay at the next run", 4, 1, false, 1, 999, F(11),
         {F(4), F(7), F(10)}, {{F(7), 1}}, 0, 3, F(4) + 1},
        {"no delay: a still room gives no picture", 0, 2, false, 999, 999, F(3), {}, {}, 0, 0, 0},
        {"no delay: a picture on a frame with motion", 0, 2, false, F(2), 999, F(4.5), {F(2), F(4)}, {}, 0, 2, 0},
    };
    for (const auto& road : roads) {
        SCOPED_TRACE(road.name);
        SurveillanceRig rig;
        rig.UseFrames(road.frames);
        auto state = RunningState(road.delayBeforeAlarm, road.delayBetweenSends, road.faceMode);
        state->picturesTaken = road.takenBefore;
        rig.detect = [&](int n) {
            if (size_t(n) == road.newDelaysFrom) {
                state->delayBetweenSends = 3.0f;
                state->delayBeforeAlarm = 1.0f;
            }
            return size_t(n) >= road.seenFrom && size_t(n) <= road.seenTo;
        };
        rig.Run(*state);
        ASSERT_EQ(state->levels.size(), road.frames);
        EXPECT_EQ(state->pictureFrames, road.pictureFrames);
        for (const auto& [frame, level] : road.levels)
            EXPECT_EQ(state->levels[frame - 1], level) << "frame " << frame;
        ASSERT_EQ(rig.pictures.size(), road.pictureFrames.size());
        EXPECT_EQ(rig.mails, Strings(rig.pictures.begin(), rig.pictures.begin() + road.mails));
    }
}

const std::string kArmed = "surveillance armed: motion detection", kEnded = "run ended: ",
                  kFileEnded = "the video file ended";

// The camera released, the preview closed (log: o, ms or fs per frame by detector, c), the end logged and shown,
// RunEnded last. Before the end: calls and events as the row says, else the motion run's.
TEST(SurveillanceRun, EveryEndOfARunCleansUpAndIsToldWhy)
{
    const Strings motion{"SetAlertRange:100000", "ShowRunStatus:Armed: motion detection"};
    using SetUp = std::function<void(SurveillanceRig&, RecordingSessionState&)>;
    const struct { const char* name; SetUp setUp; std::string log, end; Strings calls{}, events{kArmed}; } cases[] = {
        {"a video file ends", [](auto&, auto&) {}, "omsmsmsc", kFileEnded},
        {"a video file gives no frame", [](auto& r, auto&) { r.UseFrames(0); }, "oc", "the video could not be read"},
        {"a key", [](auto& r, auto&) { r.keyAtFrame = 2; }, "omsmsc", "a key was pressed in the preview"},
        {"stopped", [](auto& r, auto& s) { r.detect = [&s](int) { return s.isRunning = false; }; }, "omsc", "stopped"},
        {"an error", [](auto& r, auto&) { r.detect = [](int) -> bool { throw cv::Exception(); }; }, "om",
         std::string("an error: ") + cv::Exception().what()},
        {"no camera", [](auto& r, auto&) { r.camera = false; }, "", "no camera",
         {motion[0], "ShowRunMessage:Could not find camera! Please plug a camera in and try again."}, {}},
        {"face mode", [](auto&, auto& s) { s.faceDetectMode = true; }, "ofsfsfsc", kFileEnded,
         {"SetAlertRange:300", "ShowRunStatus:Armed: face detection"}, {"surveillance armed: face detection"}},
        {"face mode without cascade", [](auto& r, auto& s) { s.faceDetectMode = true; r.cascadeLoads = false; },
         "omsmsmsc", kFileEnded, {"FallBackToMotionDetect", motion[0], motion[1]},
         {"face cascade missing: motion detection used", kArmed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SurveillanceRig rig;
        rig.UseFrames(3);
        rig.detect = [](int) { return false; };
        auto state = RunningState(100.0f, 2.0f);   // a range past 16 bits
        c.setUp(rig, *state);
        rig.Run(*state);
        Strings calls = c.calls.empty() ? motion : c.calls, events = c.events;
        calls.insert(calls.end(), {"ShowRunStatus:Run ended: " + c.end, "RunEnded"});
        events.push_back(kEnded + c.end);
        EXPECT_EQ(rig.log, c.log);
        EXPECT_EQ(state->calls, calls);
        EXPECT_EQ(rig.events, events);
        EXPECT_EQ(rig.sourcesReleased, !c.log.empty());
    }
}

// Pictures go to the pictures folder; one the folder refused is shown on the status line and mailed all the same,
// with the reason (the mail may be its only copy). Below the free-space floor there, each run warns once, from its
// arming (log, status line, mail).
TEST(SurveillanceRun, PicturesFolderRefusalsAndALowDisk)
{
    SurveillanceRig rig;
    rig.UseFrames(F(2));   // pictures at 1 s and 2 s
    const std::string folder = (rig.dir.path() / "pictures").string(), refused = "could not be saved: No space left";
    std::filesystem::create_directory(folder);
    auto state = RunningState(1.0f, 1.0f);
    state->picturesFolder = folder;
    state->minFreeBytes = UINT64_MAX;
    rig.refuse = "No space left";
    rig.Run(*state);   // pictures 1 and 2 refused
    rig.refuse.clear();
    rig.Run(*state);
    EXPECT_EQ(rig.pictures, (Strings{folder + "/pic_3.jpg", folder + "/pic_4.jpg"}));
    EXPECT_EQ(rig.mails, (Strings{"pic_1.jpg", "pic_2.jpg", "pic_3.jpg", "pic_4.jpg"}));
    EXPECT_EQ(rig.events.at(2), "picture 1 " + refused);
    EXPECT_EQ(std::count(state->calls.begin(), state->calls.end(), "ShowRunStatus:Picture 2 " + refused), 1);
    EXPECT_EQ(rig.alerts, (Strings{"disk nearly full", "disk nearly full"}));
    EXPECT_EQ(std::count_if(rig.events.begin(), rig.events.end(), [&](const std::string& event) {
                  return event.starts_with("disk nearly full: ") && event.ends_with(" MB free in " + folder);
              }), 2);
}

}  // namespace
