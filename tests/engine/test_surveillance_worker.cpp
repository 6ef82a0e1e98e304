// The worker thread, the capture source on real video files and the cascade loader. The whole road on
// the real parts (video, detector, pictures, mail) is the real program's end-to-end test in tests/panel.

#include "engine/DetectorState.h"
#include "engine/FrameSource.h"
#include "engine/SurveillanceWorker.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

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

TEST(CascadeLoader, CascadeComesFromTheWorkingDirectoryAtEveryRun)
{
    TestDirectory dir;
    const auto load = DefaultSurveillanceEnvironment(SurveillanceOptions{}).loadCascade;
    EXPECT_FALSE(load());
    EXPECT_EQ(detectorState().faceCascade, nullptr);
    dir.WriteFile("cascade1.xml", "<opencv_storage>nonsense</opencv_storage>");
    EXPECT_FALSE(load());
    std::filesystem::remove(dir.path() / "cascade1.xml");
    std::filesystem::copy_file("/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml",
                               dir.path() / "cascade1.xml");
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

}  // namespace
