// The Qt preview window: frames reach it without the worker waiting, a key in it ends the run, and
// it is safe when nobody runs the event loop or the user closes it.

#include "ui/preview/PreviewWindow.h"
#include "engine/SurveillanceWorker.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

QWidget* FindPreview()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->windowTitle() == "Sentivo")
            return widget;
    return nullptr;
}

// Runs the GUI thread's events until done() holds or the time is up.
template <typename Done>
bool ProcessEventsUntil(Done done, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class PreviewWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "engine_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    static void TearDownTestSuite()
    {
        delete app_;
        app_ = nullptr;
    }
    void TearDown() override
    {
        QApplication::processEvents();
        EXPECT_EQ(FindPreview(), nullptr);   // no window outlives its run
    }

    static QApplication* app_;
    TestDirectory dir;
};

QApplication* PreviewWindowTest::app_ = nullptr;

TEST_F(PreviewWindowTest, ShowsTheRunsFramesAndAKeyEndsTheRun)
{
    SurveillanceRig rig;
    rig.openSource = MemorySource({cv::Mat(90, 120, CV_8UC3, cv::Scalar(200, 100, 30))}, rig.clock, rig.record, true);
    rig.motionPaint = [](cv::Mat& overlay) { overlay.setTo(cv::Scalar(200, 100, 30)); };
    SurveillanceEnvironment env = rig.Environment();
    env.previewHost = PreviewHost::Create();
    env.makePreview = [host = env.previewHost] { return std::make_unique<PreviewWindow>(host); };
    auto state = RunningState(10.0f, 2.0f);
    SurveillanceWorker worker(state, std::move(env));

    QWidget* preview = nullptr;
    ASSERT_TRUE(ProcessEventsUntil([&] { return (preview = FindPreview()) && preview->size() == QSize(120, 90); }));
    const QImage shown = preview->grab().toImage();
    EXPECT_EQ(shown.pixelColor(60, 45), QColor(30, 100, 200));   // blue-green-red frame, painted as RGB
    EXPECT_FALSE(worker.Finished());

    QKeyEvent key(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q");
    QApplication::sendEvent(preview, &key);
    ASSERT_TRUE(worker.WaitFor(5s));
    EXPECT_TRUE(state->isRunning);   // the key ended the run, not a stop
    EXPECT_EQ(state->Calls().back(), "RunEnded");
    ASSERT_TRUE(ProcessEventsUntil([] { return FindPreview() == nullptr; }));
}

TEST_F(PreviewWindowTest, NewestFrameWinsWhileTheGuiIsBusy)
{
    PreviewWindow preview;
    preview.Open("Sentivo");
    for (int i = 0; i < 50; ++i)   // nobody paints meanwhile: the worker never waits
        preview.Show(cv::Mat(40, 50, CV_8UC3, cv::Scalar(i, i, i)));
    QWidget* window = nullptr;
    ASSERT_TRUE(ProcessEventsUntil([&] { return (window = FindPreview()) && window->size() == QSize(50, 40); }));
    EXPECT_EQ(window->grab().toImage().pixelColor(10, 10), QColor(49, 49, 49));
    preview.Close();
}

// WaitKey waits at most its time and takes a key once; a window the user closed lets the run go on.
TEST_F(PreviewWindowTest, WaitKeyTakesAKeyOnceAndAClosedWindowLetsTheRunGoOn)
{
    PreviewWindow preview;
    preview.Open("Sentivo");
    const cv::Mat frame(48, 64, CV_8UC3, cv::Scalar(1, 2, 3));
    preview.Show(frame);
    ASSERT_TRUE(ProcessEventsUntil([] { return FindPreview() != nullptr; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(preview.WaitKey(10), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 9ms);

    QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b");
    QApplication::sendEvent(FindPreview(), &key);
    EXPECT_EQ(preview.WaitKey(10), 27);
    EXPECT_EQ(preview.WaitKey(0), -1);

    FindPreview()->close();
    ASSERT_TRUE(ProcessEventsUntil([] { return FindPreview() == nullptr; }));
    preview.Show(frame);
    EXPECT_EQ(preview.WaitKey(1), -1);
    preview.Close();
}

// Nobody runs the event loop while the preview lives: its queued calls wait and are dropped or run
// later without touching a preview that is gone.
TEST_F(PreviewWindowTest, NoEventLoopWhileThePreviewLives)
{
    {
        PreviewWindow preview;
        preview.Open("Sentivo");
        preview.Show(cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(9)));
        EXPECT_EQ(preview.WaitKey(1), -1);
    }
    QApplication::processEvents();
}

TEST(PreviewWindowWithoutApplication, ShowsNothingAndSeesNoKeys)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    PreviewWindow preview;
    preview.Open("Sentivo");
    preview.Show(cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(9)));
    EXPECT_EQ(preview.WaitKey(1), -1);
    preview.Close();
}

}  // namespace
