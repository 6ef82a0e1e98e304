// The story of an alarm on footage: the contact sheet shows the intruder's entry, the clip begins
// before the episode, and a crossing too short for the alarm is kept as a near alarm without alert.

#include "engine/MotionDetector.h"
#include "engine/SurveillanceThread.h"
#include "tests/engine/DetectorScenes.h"
#include "tests/engine/SurveillanceTestRig.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

constexpr int kFps = 8;
const cv::Size kSize(320, 240);
const cv::Mat kRoom = detector_scenes::Room(kSize);

// The room with a dark figure walking in from the left during [from, to) frames, speed 6 pixels a
// frame, out of sight before and after.
cv::Mat Crossing(int n, int from, int to)
{
    cv::Mat frame = kRoom.clone();
    if (n >= from && n < to)
        cv::rectangle(frame, cv::Rect((n - from) * 6 - 20, 80, 40, 150), cv::Scalar(30, 40, 50), cv::FILLED);
    return frame;
}

// Share of pixels (the labels' strip left out) that differ from the empty room by more than 40.
double ChangeAgainstRoom(const cv::Mat& image)
{
    cv::Mat room, difference;
    cv::resize(kRoom, room, image.size(), 0, 0, cv::INTER_AREA);
    cv::absdiff(image, room, difference);
    cv::cvtColor(difference, difference, cv::COLOR_BGR2GRAY);
    const cv::Mat watched = difference(cv::Rect(0, 0, image.cols, image.rows - 30)) > 40;
    return cv::countNonZero(watched) / double(watched.total());
}

struct StoryRun {
    StoryRun(float delayBeforeAlarm, int enter, int leave, int frames) : state(RunningState(delayBeforeAlarm, 2.0f))
    {
        rig.frames.clear();
        for (int n = 0; n < frames; ++n)
            rig.frames.push_back(Crossing(n, enter, leave));
        state->delayBetweenSends.store(4.0f);   // one picture for a walk of 4 s
        SurveillanceEnvironment env = rig.Environment();
        env.counterFrequency = kFps;
        env.detectMotion = [this](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
            return DetectMotionWith(detector, frame, overlay, rules, double(rig.clock) / kFps);
        };
        SurveillanceThread(*state, env);
    }
    SurveillanceRig rig;
    DetectorState detector;
    std::shared_ptr<RecordingSessionState> state;
};

TEST(AlarmStory, TheSheetShowsTheEntryAndTheClipBeginsBeforeTheEpisode)
{
    StoryRun run(2.0f, 3 * kFps, 7 * kFps, 22 * kFps);   // walks in at 3 s, an alarm 2 s later
    ASSERT_EQ(run.rig.pictures.size(), 1u);
    ASSERT_EQ(run.rig.stories, std::vector<std::string>{"pic_1-story.jpg"});
    const cv::Mat sheet = cv::imread("pic_1-story.jpg");
    ASSERT_FALSE(sheet.empty());
    const cv::Rect firstTile(0, 0, sheet.cols / 3, sheet.rows / 2);
    EXPECT_GT(ChangeAgainstRoom(sheet(firstTile)), 0.005) << "the walker's entry opens the sheet";

    // What a desktop player sees: FFmpeg's own reader finds one video stream it can decode.
    std::FILE* probe = popen("ffprobe -v error -select_streams v -show_entries stream=codec_name -of csv=p=0 clip_1.mp4", "r");
    ASSERT_TRUE(probe);
    char codec[32] = {};
    const bool read = std::fgets(codec, sizeof codec, probe) != nullptr;
    EXPECT_EQ(pclose(probe), 0);
    EXPECT_TRUE(read && (std::string(codec) == "h264\n" || std::string(codec) == "mpeg4\n")) << codec;
    cv::VideoCapture clip("clip_1.mp4", cv::CAP_FFMPEG);
    ASSERT_TRUE(clip.isOpened()) << "the clip plays";
    std::vector<cv::Mat> frames;
    for (cv::Mat frame; clip.read(frame);)
        frames.push_back(frame.clone());
    // From 5 s before the episode to 10 s after the alarm, at the ring's 8 frames a second.
    EXPECT_GE(frames.size(), size_t(15 * kFps));
    ASSERT_FALSE(frames.empty());
    EXPECT_LT(ChangeAgainstRoom(frames.front()), 0.002) << "the clip begins with the room still empty";
}

TEST(AlarmStory, ACrossingTooShortForTheAlarmIsANearAlarmWithoutAlert)
{
    StoryRun run(10.0f, 2 * kFps, 8 * kFps, 14 * kFps);   // 6 s in sight, 10 s needed
    EXPECT_TRUE(run.rig.pictures.empty());
    EXPECT_TRUE(run.rig.mails.empty() && run.rig.alerts.empty());
    ASSERT_EQ(run.rig.stories.size(), 1u);
    EXPECT_TRUE(run.rig.stories[0].starts_with("near_")) << run.rig.stories[0];
    EXPECT_FALSE(std::filesystem::exists("clip_1.mp4"));
    const auto told = std::count_if(run.rig.events.begin(), run.rig.events.end(),
                                    [](const std::string& event) { return event.starts_with("near alarm"); });
    EXPECT_EQ(told, 1);
}

}  // namespace
