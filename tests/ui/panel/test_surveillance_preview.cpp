// The hand-over between a worker and the Qt preview window: the run's frames are shown, a key in
// the window ends the run, and the window goes on the GUI thread when the run ends.
#include "engine/SurveillanceWorker.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/ui/panel/PanelHarness.h"
#include "ui/preview/PreviewWindow.h"

static QWidget* ShownPreview()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowTitle() == "Sentivo")
            return window;
    return nullptr;
}

TEST(PreviewWindow, ShowsTheRunsFramesAndAKeyInItEndsTheRun)
{
    SurveillanceRig rig;
    rig.frames = {cv::Mat(90, 120, CV_8UC3, cv::Scalar(200, 100, 30))};
    rig.loop = true;
    SurveillanceEnvironment env = rig.Environment();
    auto host = PreviewHost::Create();   // on the GUI thread, which starts the run
    env.starterThreadParts = host;
    env.makePreview = [host] { return std::make_unique<PreviewWindow>(host); };
    auto state = RunningState(10.0f, 2.0f, true);   // face mode shows the camera's frames
    SurveillanceWorker worker(state, std::move(env));
    host.reset();

    QWidget* preview = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (preview = ShownPreview()) && preview->size() == QSize(120, 90); }, 10000));
    EXPECT_EQ(preview->grab().toImage().pixelColor(60, 45), QColor(30, 100, 200)) << "a BGR frame, shown as RGB";
    QTest::keyClick(preview, Qt::Key_Q);
    ASSERT_TRUE(worker.WaitFor(std::chrono::seconds(5)));
    EXPECT_TRUE(state->isRunning) << "the key ended the run, not a stop";
    EXPECT_EQ(state->calls.back(), "RunEnded");
    EXPECT_TRUE(QTest::qWaitFor([] { return !ShownPreview(); }, 5000));
}
