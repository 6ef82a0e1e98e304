// The worker thread, the capture source on real video files, and whole runs with the real parts.

#include "engine/DetectorState.h"
#include "engine/FrameSource.h"
#include "engine/SurveillanceWorker.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <thread>

namespace {

using namespace std::chrono_literals;

// A dark, slightly noisy room; from frame movingFrom on a bright square crosses it.
std::vector<cv::Mat> RoomVideoFrames(int count, int movingFrom)
{
    cv::RNG rng(7);
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i) {
        cv::Mat frame(120, 160, CV_8UC3, cv::Scalar(20, 20, 20));
        cv::rectangle(frame, {10, 70, 40, 40}, cv::Scalar(25, 28, 24), cv::FILLED);   // furniture
        cv::Mat noise(frame.size(), CV_8UC3);
        rng.fill(noise, cv::RNG::UNIFORM, 0, 4);
        frame += noise;
        if (i >= movingFrom) {
            const int x = ((i - movingFrom) * 6) % 130;
            cv::rectangle(frame, {x, 30, 30, 60}, cv::Scalar(210, 200, 190), cv::FILLED);
        }
        frames.push_back(frame);
    }
    return frames;
}

TEST(CaptureSource, PlaysAVideoFileAtItsFrameRateAndFailsAtItsEnd)
{
    TestDirectory dir;
    const auto file = dir.path() / "room.avi";
    ASSERT_TRUE(WriteVideo(file, SolidFrames(12, {160, 120}), 20.0));

    auto source = OpenCaptureSource(file.string());
    ASSERT_NE(source, nullptr);
    source->RequestFrameSize(640, 480);   // a file cannot oblige; it keeps its size
    cv::Mat frame;
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    while (source->Read(frame)) {
        ++frames;
        EXPECT_EQ(frame.size(), cv::Size(160, 120));
        EXPECT_EQ(frame.type(), CV_8UC3);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(frames, 12);
    EXPECT_GE(elapsed, 500ms);   // eleven frame periods of 50 ms, as a camera would deliver them
    EXPECT_FALSE(source->Read(frame));

    EXPECT_EQ(OpenCaptureSource((dir.path() / "missing.avi").string()), nullptr);
    dir.WriteFile("garbage.avi", "not a video");
    EXPECT_EQ(OpenCaptureSource("garbage.avi"), nullptr);
}

TEST(CaptureSource, FrameSizeRequestFollowsTheCapturePropertyValue)
{
    const struct { int value; bool asks; int width, height; } cases[] = {
        {640480, true, 640, 480}, {1280720, true, 1280, 720}, {0, false, 0, 0}, {640000, false, 0, 0}, {-640480, false, 0, 0}};
    for (const auto& c : cases) {
        int width = 0, height = 0;
        EXPECT_EQ(RequestedFrameSize(c.value, width, height), c.asks) << c.value;
        if (c.asks) {
            EXPECT_EQ(std::make_pair(width, height), std::make_pair(c.width, c.height)) << c.value;
        }
    }
}

// Stopped through the shared flag, the run ends and the worker's destructor waits for it.
TEST(SurveillanceWorker, RunsUntilStoppedAndReportsItsEnd)
{
    TestDirectory dir;
    SurveillanceRig rig;
    rig.openSource = MemorySource(SolidFrames(4), rig.clock, rig.record, /*loop=*/true);
    rig.motionAnswer = [](int) { return false; };
    auto state = RunningState(10.0f, 2.0f);
    {
        SurveillanceWorker worker(state, rig.Environment());
        EXPECT_FALSE(worker.WaitFor(50ms));
        EXPECT_FALSE(worker.Finished());
        state->isRunning = false;
    }
    EXPECT_EQ(state->Count("RunEnded"), 1);
    EXPECT_EQ(state->Calls().back(), "RunEnded");
    EXPECT_EQ(rig.record.sourcesReleased, 1);
}

// The worker holds the state while it runs: the panel may drop its own share first.
TEST(SurveillanceWorker, EndsByItselfWithoutACameraAndReleasesTheState)
{
    TestDirectory dir;
    auto state = RunningState(10.0f, 2.0f);
    std::weak_ptr<SessionState> watch = state;
    {
        SurveillanceOptions options;
        options.cameraSource = "missing.avi";
        auto worker = SurveillanceWorker::Start(state, options);
        state.reset();
        ASSERT_TRUE(worker->WaitFor(10s));
        EXPECT_TRUE(worker->Finished());
    }
    EXPECT_TRUE(watch.expired());
}

class RealPartsTest : public ::testing::Test {
protected:
    void CopyCascade()
    {
        std::filesystem::copy_file("/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml",
                                   dir.path() / "cascade1.xml");
    }

    TestDirectory dir;
};

TEST_F(RealPartsTest, CascadeComesFromTheWorkingDirectoryAtEveryRun)
{
    const auto load = DefaultSurveillanceEnvironment(SurveillanceOptions{}).loadCascade;
    EXPECT_FALSE(load());
    EXPECT_EQ(detectorState().faceCascade, nullptr);
    dir.WriteFile("cascade1.xml", "<opencv_storage>nonsense</opencv_storage>");
    EXPECT_FALSE(load());
    std::filesystem::remove(dir.path() / "cascade1.xml");
    CopyCascade();
    EXPECT_TRUE(load());
    ASSERT_NE(detectorState().faceCascade, nullptr);
    EXPECT_FALSE(detectorState().faceCascade->empty());

    // A face-mode run with the real cascade keeps face mode.
    SurveillanceRig rig;
    SurveillanceEnvironment env = rig.Environment();
    env.loadCascade = load;
    auto state = RunningState(10.0f, 2.0f, true);
    SurveillanceThread(*state, env);
    EXPECT_EQ(state->Calls().front(), "SetAlertRange:300");   // no fall-back
    detectorState().faceCascade.reset();
}

// The whole road on the real parts: a video file paced like a camera, the motion detector, the
// cascade loader, the picture writer; only the mail goes to a recorder.
TEST_F(RealPartsTest, MovingObjectInAVideoSavesPicturesAndAStillSceneNone)
{
    CopyCascade();
    ASSERT_TRUE(WriteVideo(dir.path() / "still.avi", RoomVideoFrames(30, 1000), 25.0));
    ASSERT_TRUE(WriteVideo(dir.path() / "burglar.avi", RoomVideoFrames(100, 25), 25.0));

    auto runOn = [&](const std::string& video, std::vector<std::string>& mailed) {
        SurveillanceOptions options;
        options.cameraSource = video;
        SurveillanceEnvironment env = DefaultSurveillanceEnvironment(options);
        env.sendMail = [&mailed](const char*, const char*, const char*, const char* file, const char*, const char*) {
            mailed.emplace_back(file);
            return true;
        };
        auto state = RunningState(1.0f, 0.5f);
        state->pictureNumberBase = 0;
        SurveillanceWorker worker(state, std::move(env));
        EXPECT_TRUE(worker.WaitFor(60s));   // the video's end ends the run
        EXPECT_EQ(state->Calls().back(), "RunEnded");
        return state->picturesTaken.load();
    };

    std::vector<std::string> mailed;
    EXPECT_EQ(runOn("still.avi", mailed), 0);
    EXPECT_TRUE(mailed.empty());

    const int pictures = runOn("burglar.avi", mailed);
    EXPECT_GE(pictures, 2);
    ASSERT_EQ(mailed.size(), size_t(pictures));
    for (const std::string& file : mailed) {
        const cv::Mat picture = cv::imread((dir.path() / file).string());
        ASSERT_EQ(picture.size(), cv::Size(160, 120)) << file;
        // The camera frame, not the blue motion picture: the room's grey is there.
        EXPECT_GT(cv::mean(picture)[1], 15.0) << file;
    }
}

}  // namespace
