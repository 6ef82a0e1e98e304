// The detection settings on recorded footage: the light guard, the detection area and the
// sensitivity, through the real loop with the real detectors.

#include "engine/FaceDetector.h"
#include "engine/FrameDetection.h"
#include "tests/engine/DetectorScenes.h"
#include "tests/engine/SurveillanceTestRig.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using namespace detector_scenes;
using Scene = std::function<cv::Mat(int n)>;

// Six frames a second: a lamp switched every half second differs in every frame from the frame
// three before, the one the detector compares with, as a slow camera sees it.
constexpr int kFps = 6;
const cv::Size kSize(320, 240), kPerson(40, 150), kChild(20, 60);

const cv::Mat kRoom = Room(kSize);

// A dark figure of the given size standing on the floor with its left edge at x.
cv::Mat WithFigure(cv::Mat frame, int x, cv::Size size)
{
    cv::rectangle(frame, cv::Rect({x, frame.rows - size.height}, size), cv::Scalar(30, 40, 50), cv::FILLED);
    return frame;
}

// Walking to and fro between from and to, speed pixels a frame.
int Walk(int n, int from, int to, int speed)
{
    const int span = to - from, travel = n * speed % (2 * span);
    return from + (travel < span ? travel : 2 * span - travel);
}

cv::Mat Lit(const cv::Mat& frame, double gain, double offset = 0.0)
{
    cv::Mat lit;
    frame.convertTo(lit, -1, gain, offset);
    return lit;
}

// A run of the real loop and the real detectors over the footage: 2 s of detection before the
// alarm, then a picture a second while it goes on.
struct FootageRun {
    FootageRun(const Scene& scene, int frames, bool faceMode = false)
        : state(RunningState(2.0f, 1.0f, faceMode))
    {
        rig.frames = Record(scene, frames, kFps, kSize);
        detector.faceCascade = std::make_shared<cv::CascadeClassifier>(kFrontalFaceCascade);
    }
    size_t Run()
    {
        SurveillanceEnvironment env = rig.Environment();
        env.counterFrequency = kFps;
        env.detectMotion = [this](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
            return DetectMotionWith(detector, frame, overlay, rules, double(rig.clock) / kFps);
        };
        env.detectFaces = [this](cv::Mat& image, const auto& area) { return DetectFacesWith(detector, image, area); };
        SurveillanceThread(*state, env);
        return rig.pictures.size();
    }
    SurveillanceRig rig;   // first: its folder is the working folder for the video and the area
    DetectorState detector;
    std::shared_ptr<RecordingSessionState> state;
};

TEST(LightGuard, TheWholeScenesLightIsNoAlarmSomeoneMovingIs)
{
    const struct {
        const char* name;
        Scene scene;
        int frames;
        bool picturesWithGuard;   // without the guard, every scene raises the alarm
    } scenes[] = {
        {"lamp on/off every 0.5 s for 20 s", [](int n) { return Lit(kRoom, n / 3 % 2 ? 0.6 : 1.0); }, 20 * kFps, false},
        {"exposure hunting ±50 levels once a second, gain and offset", [](int n) {
             const double swing = std::sin(2 * CV_PI * (n + 0.5) / kFps);
             return Lit(kRoom, 1.0 + 0.2 * swing, 30.0 * swing);
         }, 20 * kFps, false},
        {"someone walks in after the lamp went on", [](int n) {
             return n < kFps * 3 / 2 ? Lit(kRoom, n < kFps ? 0.6 : 1.0)
                                     : WithFigure(kRoom.clone(), Walk(n, 0, 280, 8), kPerson);
         }, 8 * kFps, true},
        {"someone walks while the lamp flickers", [](int n) {
             return Lit(WithFigure(kRoom.clone(), Walk(n, 0, 280, 8), kPerson), n / 3 % 2 ? 0.6 : 1.0);
         }, 8 * kFps, true},
    };
    for (const auto& scene : scenes) {
        for (const bool guard : {true, false}) {
            SCOPED_TRACE(std::string(scene.name) + (guard ? ", guard on" : ", guard off"));
            FootageRun run(scene.scene, scene.frames);
            run.state->lightGuard = guard;
            const size_t pictures = run.Run();
            EXPECT_TRUE(guard && !scene.picturesWithGuard ? pictures == 0 : pictures >= 2) << pictures;
        }
    }
}

// White (watched) in the given part of a mask half the frame's size, which is scaled to the frame.
std::string Area(cv::Rect watched)
{
    cv::Mat mask(kSize / 2, CV_8UC1, cv::Scalar(0));
    mask(watched) = 255;
    cv::imwrite("area.png", mask);
    return "area.png";
}

TEST(DetectionArea, ChangesAndFacesOutsideItNeverCount)
{
    const cv::Rect leftHalf(0, 0, 80, 120), rightHalf(80, 0, 80, 120), between(60, 0, 40, 120);
    const auto walker = [](cv::Size size) {
        return [size](int n) { return WithFigure(kRoom.clone(), Walk(n, 0, 120, 8), size); };
    };
    const Scene faces = [](int) { return TwoFaces(kSize, 60); };   // centres at 2/7 and 5/7 across
    const std::string kWhole = "the whole picture is watched";
    const struct {
        const char* name;
        Scene scene;
        bool faceMode;
        std::optional<cv::Rect> watched;   // none: the file is missing
        bool pictures;
        std::string event;   // logged once at the start, when not empty
    } cases[] = {
        {"a person walking on the left, the right half watched", walker(kPerson), false, rightHalf, false},
        {"the same, the left half watched", walker(kPerson), false, leftHalf, true},
        {"a child, shown by its component alone, the right half watched", walker(kChild), false, rightHalf, false},
        {"the child, the left half watched", walker(kChild), false, leftHalf, true},
        {"an area that cannot be read", walker(kChild), false, std::nullopt, true,
         "detection area \"missing.png\" could not be read: " + kWhole},
        {"an all-black area", walker(kChild), false, cv::Rect(), true,
         "detection area \"area.png\" watches nothing: " + kWhole},
        {"two faces, the right one's half watched", faces, true, rightHalf, true},
        {"two faces, only the space between them watched", faces, true, between, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FootageRun run(c.scene, 6 * kFps, c.faceMode);
        run.state->maskFile = c.watched ? Area(*c.watched) : "missing.png";
        EXPECT_EQ(run.Run() > 0, c.pictures);
        EXPECT_EQ(std::count(run.rig.events.begin(), run.rig.events.end(), c.event), c.event.empty() ? 0 : 1);
    }
}

// Figures of several sizes and contrasts coming and going in front of the room.
cv::Mat Staged(int n)
{
    cv::Mat frame = kRoom.clone();
    const struct { int from, to, grey, speed; cv::Size size; } figures[] = {
        {0, 40, 150, 5, {30, 80}}, {25, 70, 70, 7, {16, 40}}, {55, 100, 135, 4, {60, 120}}, {85, 120, 20, 9, kPerson}};
    for (const auto& f : figures) {
        if (n >= f.from && n < f.to)
            cv::rectangle(frame, cv::Rect({Walk(n, 0, kSize.width - f.size.width, f.speed), 60}, f.size),
                          cv::Scalar::all(f.grey), cv::FILLED);
    }
    return frame;
}

// Level 3 is the standard rules frame for frame (but for the first frames, which have no earlier
// frame to compare with, and those after a gap), and so are they a hundred days into a run, when a
// float no longer tells seconds apart; fewer frames show motion at 1, more at 5.
TEST(Sensitivity, ThreeIsTheStandardRulesOneSeesLessFiveMore)
{
    TestDirectory dir;
    const std::vector<cv::Mat> footage = Record(Staged, 120, kFps, kSize);
    constexpr int kGapAt = 60;
    constexpr double kFrameSeconds = 0.125;   // exact in binary, as are these: 100 days on, and
    const double kLater[] = {100 * 86400.0, 4091.0};   // where the detector's time base moves mid-run
    int motions[6] = {};
    for (const int level : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(level);
        DetectorState state, standard, late[2];
        SurveillanceEnvironment env;
        double now = 1.0;
        env.detectMotion = [&](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
            return DetectMotionWith(state, frame, overlay, rules, now);
        };
        env.forgetHistory = [&] { ForgetMotionHistory(state); };
        auto session = RunningState(2.0f, 1.0f);
        session->sensitivity = level;
        session->lightGuard = false;
        FrameDetection detection(env, *session);
        cv::Mat display, overlay(kSize, CV_8UC3);
        for (int n = 0; n < int(footage.size()); ++n, now += kFrameSeconds) {
            if (n == kGapAt) {
                detection.Forget();
                for (DetectorState* forgetting : {&standard, &late[0], &late[1]})
                    ForgetMotionHistory(*forgetting);
            }
            const bool motion = detection.Detect(false, footage[n], display);
            const bool expected = DetectMotionWith(standard, footage[n], overlay, MotionRules{}, now);
            for (int k = 0; k < 2; ++k)
                ASSERT_EQ(DetectMotionWith(late[k], footage[n], overlay, {}, now + kLater[k]), expected) << k;
            // The standard rules compare three frames with black, and remember that for a second.
            if (n % kGapAt < 3) {
                ASSERT_FALSE(motion) << "frame " << n;
            } else if (level == 3 && n % kGapAt >= 3 + 1.0 / kFrameSeconds) {
                ASSERT_EQ(motion, expected) << "frame " << n;
            }
            motions[level] += motion;
        }
    }
    EXPECT_TRUE(RulesForSensitivity(0).diffThreshold == 30 && RulesForSensitivity(6).changedShare == 0.05);   // as 3
    for (int level = 1; level < 5; ++level)
        EXPECT_LT(motions[level], motions[level + 1]) << level;
}

}  // namespace
