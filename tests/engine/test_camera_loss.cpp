// A network camera lost mid-run (real loop, stream, detectors, clock): waited for, told once each way.

#include "engine/NullPreview.h"
#include "engine/SurveillanceWorker.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/MjpegTestServer.h"

#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <mutex>

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

size_t CountStarting(const Lines& lines, const std::string& start)
{
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(start); });
}

// The rig's run on a real stream, detectors and clock; what it tells is kept under a lock, as the run's
// thread writes it while the test looks.
struct StreamRun {
    explicit StreamRun(const std::string& url)
    {
        env = rig.Environment();
        env.openSource = [url] { return OpenCaptureSource(url); };
        env.sourceIsLive = true;
        env.readCounter = [] { return std::chrono::steady_clock::now().time_since_epoch().count(); };
        env.counterFrequency = std::chrono::steady_clock::period::den;
        env.detectMotion = [this](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
            return DetectMotionWith(detector, frame, overlay, rules, detector.ClockSeconds());
        };
        env.forgetHistory = [this] { ForgetMotionHistory(detector); };
        env.logEvent = [this](const std::string& event) { std::lock_guard lock(mutex); told.push_back(event); };
        env.queueAlert = [this](const RunAlert& alert) {
            std::lock_guard lock(mutex);
            told.push_back("mail: " + alert.kind), alerts.push_back(alert);
        };
        env.makePreview = [] { return std::make_unique<NullPreview>(true); };
    }
    size_t Told(const std::string& start)
    {
        std::lock_guard lock(mutex);
        return CountStarting(told, start);
    }

    SurveillanceRig rig;   // its folder, pictures and mails
    DetectorState detector;
    SurveillanceEnvironment env;
    std::mutex mutex;
    Lines told;   // events, and alerts as "mail: KIND"
    std::vector<RunAlert> alerts;
};

// Lost, back, lost again within 10 minutes: every loss logged and shown, one lost/back pair mailed.
TEST(CameraLoss, TheRunWaitsForALostStreamAndTellsOnceEachWay)
{
    MjpegTestServer camera;
    StreamRun run(camera.url());
    const auto Told = [&](const std::string& start) { return run.Told(start); };
    auto state = RunningState(0.3f, 0.5f);
    SurveillanceWorker worker(state, run.env);

    ASSERT_TRUE(QTest::qWaitFor([&] { return state->picturesTaken > 0; }, 20000));
    camera.Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Told("Camera lost since ") == 1; }, 10000));
    QTest::qSleep(10000);
    camera.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Told("camera back at ") == 1; }, 30000));
    const int before = state->picturesTaken;
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->picturesTaken > before; }, 20000)) << "no picture after the return";
    EXPECT_FALSE(worker.WaitFor(0ms)) << "the run ended";
    // Lost again, and stopped while it waits: over within the panel's second.
    camera.Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Told("Camera lost since ") == 2; }, 10000));
    worker.RequestStop();
    ASSERT_TRUE(worker.WaitFor(1s));
    const Lines& told = run.told;
    const std::vector<RunAlert>& alerts = run.alerts;

    ASSERT_EQ(alerts.size(), 2u) << "the second loss, within 10 minutes of the first, is not mailed";
    for (size_t i : {0, 1}) {
        EXPECT_EQ(alerts[i].kind, i == 1 ? "camera back" : "camera lost");
        const std::vector<uchar> jpeg(alerts[i].jpegBytes.begin(), alerts[i].jpegBytes.end());
        EXPECT_EQ(cv::imdecode(jpeg, cv::IMREAD_COLOR).size(), cv::Size(320, 240)) << "the last good frame, " << i;
    }
    EXPECT_GE(CountStarting({std::find(told.begin(), told.end(), "mail: camera back"), told.end()}, "picture "), 1u)
        << "pictures again after the return";
    EXPECT_EQ(told.back(), "run ended: stopped");
    const Lines& calls = state->calls;
    const auto lost = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
        return call.starts_with("ShowRunStatus:Camera lost since ") && call.ends_with(" \u2014 retrying");
    });
    EXPECT_NE(std::find(lost, calls.end(), "ShowRunStatus:Armed: motion detection"), calls.end()) << "running again";
}

// On the run's own clock: a camera lost again a few seconds after it came back, and then gone for good, is
// mailed about once the 10 quiet minutes after the first loss mail are over, not never.
TEST(CameraLoss, ALossWithinTheQuietTimeIsMailedWhenItEndsIfTheCameraIsStillGone)
{
    SurveillanceRig rig;
    rig.UseFrames(16);   // a second of frames per source, then its reads fail
    rig.live = true;
    rig.ticksPerKeyWait = 1;
    auto state = RunningState(100.0f, 1.0f);
    state->minFreeBytes = 0;   // no disk warning among the mails
    rig.detect = [&](int n) { return rig.camera = n < 32; };   // unplugged for good in the second source's last frame
    SurveillanceEnvironment env = rig.Environment();
    std::vector<std::int64_t> mailedAt;
    env.queueAlert = [&](const RunAlert& alert) {
        rig.alerts.push_back(alert.kind), mailedAt.push_back(rig.clock);
        state->isRunning = rig.alerts.size() < 3;
    };
    env.readCounter = [&, read = env.readCounter] {   // a run that would never mail it ends after 2000 s
        state->isRunning = state->isRunning && rig.clock < 2000 * 16;
        return read();
    };
    SurveillanceThread(*state, env);
    EXPECT_EQ(rig.alerts, (std::vector<std::string>{"camera lost", "camera back", "camera lost"}));
    ASSERT_EQ(mailedAt.size(), 3u);
    EXPECT_GE(mailedAt[2] - mailedAt[0], 600 * 16) << "not within 10 minutes of the first";
    EXPECT_LE(mailedAt[2] - mailedAt[0], 631 * 16) << "but within a reopening pause of their end";
    EXPECT_EQ(CountStarting(rig.events, "Camera lost since "), 2u);
    EXPECT_EQ(rig.events.back(), "run ended: stopped");
}

}  // namespace
