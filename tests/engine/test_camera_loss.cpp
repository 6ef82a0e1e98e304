// A network camera that goes away in the middle of a run, with the real loop, stream, detectors and clock:
// the run waits for it, says so once each way with a picture, and can be stopped while it waits.

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

TEST(CameraLoss, TheRunWaitsForALostStreamAndTellsOnceEachWay)
{
    SurveillanceRig rig;   // its folder, pictures and mails
    MjpegTestServer camera;
    std::mutex mutex;   // the run's thread writes what it told while the test's looks
    Lines told;         // events, and alerts as "mail: KIND"
    std::vector<RunAlert> alerts;
    DetectorState detector;
    SurveillanceEnvironment env = rig.Environment();
    env.openSource = [url = camera.url()] { return OpenCaptureSource(url); };
    env.readCounter = [] { return std::chrono::steady_clock::now().time_since_epoch().count(); };
    env.counterFrequency = std::chrono::steady_clock::period::den;
    env.detectMotion = [&](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
        return DetectMotionWith(detector, frame, overlay, rules, detector.ClockSeconds());
    };
    env.forgetHistory = [&] { ForgetMotionHistory(detector); };
    env.logEvent = [&](const std::string& event) { std::lock_guard lock(mutex); told.push_back(event); };
    env.queueAlert = [&](const RunAlert& alert) {
        std::lock_guard lock(mutex);
        told.push_back("mail: " + alert.kind), alerts.push_back(alert);
    };
    env.makePreview = [] { return std::make_unique<NullPreview>(true); };
    const auto Told = [&](const std::string& start) { std::lock_guard lock(mutex); return CountStarting(told, start); };
    auto state = RunningState(0.3f, 0.5f);
    SurveillanceWorker worker(state, env);

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
    state->isRunning = false;
    ASSERT_TRUE(worker.WaitFor(1s));

    ASSERT_EQ(alerts.size(), 3u);
    for (size_t i : {0, 1, 2}) {
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

}  // namespace
