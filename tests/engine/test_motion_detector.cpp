// DetectMotion against a plain per-pixel model of the same rules, and its edge cases: the first
// calls after an allocation, noise, the component size filter and the 5 % rule inside a component,
// a change of frame size, the blue overlay and a steady stream without re-allocation.

#include "engine/MotionDetector.h"
#include "tests/engine/DetectorScenes.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/optflow/motempl.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr double kFrameSeconds = 1.0 / 30.0;

cv::Mat Uniform(cv::Size size, int grey)
{
    return cv::Mat(size, CV_8UC3, cv::Scalar::all(grey));
}

cv::Mat Channel(const cv::Mat& image, int channel)
{
    cv::Mat plane;
    cv::extractChannel(image, plane, channel);
    return plane;
}

// The silhouette of the last call: the ring slot after the newest grey frame.
const cv::Mat& Silhouette(const DetectorState& state)
{
    return state.frameRing[state.ringIndex];
}

// One detector with its own state and a clock the test moves.
struct Detector {
    DetectorState state;
    cv::Mat overlay;
    double now = 10.0;

    bool Step(const cv::Mat& frame, double seconds = kFrameSeconds, int threshold = 30)
    {
        now += seconds;
        if (overlay.size() != frame.size())
            overlay.create(frame.size(), CV_8UC3);
        return DetectMotionWith(state, frame, overlay, threshold, now);
    }
};

// The rules written out pixel by pixel: grey frames compared with the one three frames earlier
// (black before there is one), a one-second history, the display scaling and the 5 % decision for
// the whole frame and for every component that OpenCV's segmentation finds in the whole history.
class PlainModel {
public:
    struct Answer {
        bool motion = false;
        bool wholeFrame = false;
        cv::Mat silhouette;
        std::vector<cv::Rect> components;
    };

    PlainModel(cv::Size size, int threshold)
        : threshold_(threshold), history_(cv::Mat::zeros(size, CV_32FC1))
    {
        for (int i = 0; i < 3; ++i)
            greys_.push_back(cv::Mat::zeros(size, CV_8UC1));
    }

    Answer Step(const cv::Mat& frame, double timestamp)
    {
        cv::Mat grey;
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        Answer answer;
        answer.silhouette = cv::Mat::zeros(grey.size(), CV_8UC1);
        const float ts = static_cast<float>(timestamp);
        const float oldest = static_cast<float>(timestamp - 1.0);
        int changed = 0;
        for (int y = 0; y < grey.rows; ++y) {
            for (int x = 0; x < grey.cols; ++x) {
                const int diff = std::abs(grey.at<uchar>(y, x) - greys_.front().at<uchar>(y, x));
                float& h = history_.at<float>(y, x);
                if (diff > threshold_) {
                    answer.silhouette.at<uchar>(y, x) = 1;
                    h = ts;
                    ++changed;
                } else if (h < oldest) {
                    h = 0.0f;
                }
            }
        }
        greys_.erase(greys_.begin());
        greys_.push_back(grey);

        answer.wholeFrame = changed >= 0.05 * grey.total();
        cv::Mat segments;
        cv::motempl::segmentMotion(history_, segments, answer.components, timestamp, 0.5);
        answer.motion = answer.wholeFrame;
        for (const cv::Rect& r : answer.components) {
            if (r.width + r.height >= 100 && cv::countNonZero(answer.silhouette(r)) >= 0.05 * r.area())
                answer.motion = true;
        }
        return answer;
    }

    const cv::Mat& history() const { return history_; }

private:
    int threshold_;
    std::vector<cv::Mat> greys_;
    cv::Mat history_;
};

// A room with sensor noise, figures of several sizes walking at several speeds, and now and then
// the light switched on or off or a pause of more than a second.
class StagedScene {
public:
    explicit StagedScene(cv::Size size) : room_(detector_scenes::Room(size, 11)), rng_(2024) {}

    cv::Mat Frame(int n)
    {
        cv::Mat frame = room_.clone();
        if (n % 37 > 30)
            frame += cv::Scalar::all(45);  // the light
        // width, height, pixels per frame, first and last frame on stage
        const int figures[][5] = {
            {24, 60, 3, 0, 70}, {12, 14, 2, 20, 110}, {50, 110, 6, 70, 100}, {8, 8, 9, 100, 160}};
        for (const auto& f : figures) {
            if (n < f[3] || n >= f[4])
                continue;
            const int span = room_.cols - f[0];
            const int x = (n * f[2]) % (2 * span);
            cv::rectangle(frame, cv::Rect(x < span ? x : 2 * span - x, room_.rows - f[1], f[0], f[1]),
                          cv::Scalar(20, 25, 30), cv::FILLED);
        }
        cv::Mat noise(frame.size(), CV_8UC3);
        rng_.fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(9));
        return frame + noise;
    }

    double Interval(int n) { return n % 53 == 52 ? 1.3 : rng_.uniform(0.01, 0.09); }

private:
    cv::Mat room_;
    cv::RNG rng_;
};

void ExpectMatchesModel(int threshold)
{
    const cv::Size size(200, 150);
    StagedScene scene(size);
    PlainModel model(size, threshold);
    Detector detector;
    int motions = 0, byComponentOnly = 0;
    for (int n = 0; n < 160; ++n) {
        SCOPED_TRACE(n);
        const cv::Mat frame = scene.Frame(n);
        const bool motion = detector.Step(frame, scene.Interval(n), threshold);
        const PlainModel::Answer expected = model.Step(frame, detector.now);

        ASSERT_EQ(cv::norm(Silhouette(detector.state), expected.silhouette, cv::NORM_INF), 0.0);
        ASSERT_EQ(cv::norm(detector.state.motionHistory, model.history(), cv::NORM_INF), 0.0);
        ASSERT_EQ(motion, expected.motion);
        if (!expected.wholeFrame)
            ASSERT_EQ(detector.state.detectorStorage, expected.components);

        cv::Mat shown(size, CV_8UC1);
        model.history().convertTo(shown, CV_8U, 255.0, (1.0 - detector.now) * 255.0);
        ASSERT_LE(cv::norm(Channel(detector.overlay, 0), shown, cv::NORM_INF), 1.0);
        motions += motion;
        byComponentOnly += motion && !expected.wholeFrame;
    }
    // The scene must exercise both answers and both ways to a "yes".
    EXPECT_GT(motions, 10);
    EXPECT_LT(motions, 150);
    EXPECT_GT(byComponentOnly, 5);
}

TEST(MotionDetector, AgreesWithThePlainModelFrameByFrame)
{
    ExpectMatchesModel(30);
    ExpectMatchesModel(12);
}

// After an allocation the comparison slots are black: any grey level above the threshold counts
// as changed for three calls; the fourth compares with the first frame.
TEST(MotionDetector, FirstThreeCallsCompareAgainstBlack)
{
    const cv::Size size(100, 100);
    Detector justAbove;
    for (int call = 1; call <= 3; ++call)
        EXPECT_TRUE(justAbove.Step(Uniform(size, 31))) << call;
    EXPECT_FALSE(justAbove.Step(Uniform(size, 31)));

    Detector atThreshold;
    for (int call = 1; call <= 4; ++call)
        EXPECT_FALSE(atThreshold.Step(Uniform(size, 30))) << call;
}

// Isolated bright pixels (components of one pixel, far below the size filter): the whole-frame
// rule alone decides, and 5 % of 10000 pixels is 500.
TEST(MotionDetector, WholeFrameNeedsFivePercentOfItsPixels)
{
    const auto dots = [](int count) {
        cv::Mat frame = Uniform(cv::Size(100, 100), 0);
        for (int i = 0; i < count; ++i)
            frame.at<cv::Vec3b>(2 * (i / 50), 2 * (i % 50)) = cv::Vec3b(200, 200, 200);
        return frame;
    };
    Detector enough, tooFew;
    EXPECT_TRUE(enough.Step(dots(500)));
    EXPECT_FALSE(tooFew.Step(dots(499)));
    EXPECT_EQ(tooFew.state.detectorStorage.size(), 499u);
}

TEST(MotionDetector, StillSceneWithNoiseBelowThresholdShowsNoMotion)
{
    const cv::Size size(320, 240);
    const cv::Mat room = detector_scenes::Room(size);
    cv::RNG rng(5);
    Detector detector;
    for (int n = 0; n < 40; ++n) {
        cv::Mat noise(size, CV_8UC3);
        rng.fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(15));
        const bool motion = detector.Step(room + noise);
        if (n < 3) {
            EXPECT_TRUE(motion) << "the room against black";
            continue;
        }
        EXPECT_FALSE(motion) << n;
        EXPECT_EQ(cv::countNonZero(Silhouette(detector.state)), 0) << n;
        EXPECT_TRUE(detector.state.detectorStorage.empty()) << n;
    }
    // More than a second after the room appeared against black, the picture is dark again.
    EXPECT_EQ(cv::countNonZero(Channel(detector.overlay, 0)), 0);
}

// A square walking 2 pixels a frame: its trail stays below 100 pixels across for a 16-pixel square
// and is seen for a 40-pixel one. Neither comes near 5 % of the frame.
TEST(MotionDetector, ComponentsBelowTheSizeFilterAreNotExamined)
{
    const auto walk = [](int side) {
        Detector detector;
        int seen = 0, largestSpan = 0;
        for (int n = 0; n < 60; ++n) {
            cv::Mat frame = Uniform(cv::Size(640, 480), 0);
            cv::rectangle(frame, cv::Rect(100 + 2 * n, 200, side, side), cv::Scalar::all(255),
                          cv::FILLED);
            seen += detector.Step(frame);
            for (const cv::Rect& r : detector.state.detectorStorage)
                largestSpan = std::max(largestSpan, r.width + r.height);
        }
        return std::make_pair(seen, largestSpan);
    };
    const auto [smallSeen, smallSpan] = walk(16);
    EXPECT_EQ(smallSeen, 0);
    EXPECT_GT(smallSpan, 50) << "the trail was segmented";
    EXPECT_LT(smallSpan, 100);

    const auto [largeSeen, largeSpan] = walk(40);
    EXPECT_GE(largeSpan, 100);
    EXPECT_GT(largeSeen, 30);  // once its trail spans 100 pixels, most frames
}

// A 60×50 block appears and stays (three calls of history, 0.1 s apart), then a patch inside it
// turns dark: the segmentation joins the patch to the block, a 3000-pixel rectangle that needs 150
// changed pixels, while 200 pixels are far below 5 % of the 640×480 frame.
bool BlockWithChangedPatch(cv::Size patch, std::vector<cv::Rect>& components)
{
    const cv::Rect block(300, 200, 60, 50);
    cv::Mat withBlock = Uniform(cv::Size(640, 480), 0);
    withBlock(block).setTo(cv::Scalar::all(255));
    Detector detector;
    for (int call = 0; call < 3; ++call)
        EXPECT_FALSE(detector.Step(Uniform(withBlock.size(), 0), 0.1));
    for (int call = 0; call < 3; ++call)
        EXPECT_TRUE(detector.Step(withBlock, 0.1)) << "the block appears";

    cv::Mat patched = withBlock.clone();
    patched(cv::Rect(block.tl() + cv::Point(10, 10), patch)).setTo(cv::Scalar::all(0));
    const bool motion = detector.Step(patched, 0.1);
    components = detector.state.detectorStorage;
    EXPECT_EQ(cv::countNonZero(Silhouette(detector.state)), patch.area());
    return motion;
}

TEST(MotionDetector, FivePercentRuleInsideAComponent)
{
    std::vector<cv::Rect> components;
    EXPECT_TRUE(BlockWithChangedPatch(cv::Size(20, 10), components));
    EXPECT_EQ(components, std::vector<cv::Rect>{cv::Rect(300, 200, 60, 50)});

    EXPECT_FALSE(BlockWithChangedPatch(cv::Size(10, 10), components));
    EXPECT_EQ(components, std::vector<cv::Rect>{cv::Rect(300, 200, 60, 50)});
}

TEST(MotionDetector, FrameSizeChangeRecreatesImagesAndKeepsRingPosition)
{
    Detector detector;
    const cv::Mat room = detector_scenes::Room(cv::Size(320, 240));
    for (int n = 0; n < 6; ++n)
        detector.Step(room);
    EXPECT_FALSE(detector.Step(room));
    const int ringIndex = detector.state.ringIndex;

    // Half black, half room: against the new black slots only the room half changes.
    const cv::Size small(160, 120);
    cv::Mat halfRoom = Uniform(small, 0);
    room(cv::Rect(0, 0, 80, 120)).copyTo(halfRoom(cv::Rect(0, 0, 80, 120)));
    EXPECT_TRUE(detector.Step(halfRoom));
    EXPECT_EQ(detector.state.ringIndex, (ringIndex + 1) % DetectorState::kRingSize);
    for (const cv::Mat& slot : detector.state.frameRing)
        EXPECT_EQ(slot.size(), small);
    for (const cv::Mat* image : {&detector.state.motionHistory, &detector.state.motionMask,
                                 &detector.state.segmentMap})
        EXPECT_EQ(image->size(), small);
    const cv::Mat history = detector.state.motionHistory;
    EXPECT_EQ(cv::countNonZero(history(cv::Rect(80, 0, 80, 120))), 0) << "old history lost";
    EXPECT_EQ(cv::countNonZero(history(cv::Rect(0, 0, 80, 120)) != static_cast<float>(detector.now)), 0);

    EXPECT_TRUE(detector.Step(halfRoom));
    EXPECT_TRUE(detector.Step(halfRoom));
    EXPECT_FALSE(detector.Step(halfRoom)) << "the fourth call compares with the first";
}

// Square A appears, stays, and fades; square B appears half a second later. Only blue is ever
// written: 255 for a change in this frame, about half for one 0.5 s old, 0 after a second.
TEST(MotionDetector, OverlayShowsRecentMotionInBlueOnly)
{
    const cv::Rect a(20, 20, 30, 30), b(120, 60, 30, 30);
    cv::Mat withA = Uniform(cv::Size(200, 150), 0);
    withA(a).setTo(cv::Scalar::all(220));
    cv::Mat withAB = withA.clone();
    withAB(b).setTo(cv::Scalar::all(220));

    Detector detector;
    detector.overlay = cv::Mat(withA.size(), CV_8UC4, cv::Scalar::all(77));  // BGRA is fine too
    for (int call = 0; call < 3; ++call)
        detector.Step(withA, 0.01);
    detector.Step(withAB, 0.5);
    std::vector<cv::Mat> planes;
    cv::split(detector.overlay, planes);
    EXPECT_EQ(cv::countNonZero(planes[1]) + cv::countNonZero(planes[2]) + cv::countNonZero(planes[3]), 0);
    EXPECT_EQ(cv::countNonZero(planes[0](b) != 255), 0);
    EXPECT_EQ(cv::countNonZero(planes[0] == 255), b.area());
    const cv::Mat fading = planes[0](a);
    EXPECT_EQ(cv::countNonZero(fading < 126 | fading > 129), 0);
    EXPECT_EQ(cv::countNonZero(planes[0]), a.area() + b.area());

    detector.Step(withAB, 0.6);  // A last changed 1.1 s ago
    cv::split(detector.overlay, planes);
    EXPECT_EQ(cv::countNonZero(planes[0](a)), 0);
    EXPECT_EQ(cv::countNonZero(planes[0](b) != 255), 0);
    EXPECT_EQ(cv::countNonZero(planes[1]) + cv::countNonZero(planes[2]) + cv::countNonZero(planes[3]), 0);
}

TEST(MotionDetector, SteadyStreamReusesEveryImage)
{
    const cv::Size size(320, 240);
    const cv::Mat room = detector_scenes::Room(size);
    Detector detector;
    const auto buffers = [&detector] {
        std::vector<const void*> all;
        for (const cv::Mat& slot : detector.state.frameRing)
            all.push_back(slot.data);
        for (const cv::Mat* m : {&detector.state.motionHistory, &detector.state.motionMask,
                                 &detector.state.segmentMap, &detector.state.zeroPlane,
                                 &detector.overlay})
            all.push_back(m->data);
        all.push_back(detector.state.detectorStorage.data());
        all.push_back(detector.state.recentChanges.data());
        return all;
    };
    detector.Step(room);
    const auto first = buffers();
    int seen = 0;
    for (int n = 0; n < 90; ++n)
        seen += detector.Step(detector_scenes::RoomWithFigure(room, 3 * n, 40, 150));
    EXPECT_GT(seen, 60);
    EXPECT_EQ(buffers(), first);
}

TEST(MotionDetector, ProcessWideStateRunsOnTheSteadyClock)
{
    DetectorState& state = detectorState();
    EXPECT_EQ(&state, &detectorState());

    const double before = state.ClockSeconds();
    EXPECT_GE(before, 1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const double after = state.ClockSeconds();
    EXPECT_GE(after - before, 0.029);
    EXPECT_NEAR(after * 1000.0, std::round(after * 1000.0), 1e-6) << "whole milliseconds";

    // An odd size forces a fresh allocation, whatever ran before: the comparison slot is black.
    const cv::Mat frame = Uniform(cv::Size(123, 77), 90);
    cv::Mat overlay(frame.size(), CV_8UC3);
    EXPECT_TRUE(DetectMotion(frame, overlay, 30));
    double lowest = 0, highest = 0;
    cv::minMaxLoc(state.motionHistory, &lowest, &highest);
    EXPECT_EQ(lowest, highest);
    EXPECT_GE(lowest, after - 1e-4);  // the history holds single precision
    EXPECT_LE(lowest, state.ClockSeconds() + 1e-4);
    EXPECT_EQ(cv::countNonZero(Channel(overlay, 0) != 255), 0);
}

}  // namespace
