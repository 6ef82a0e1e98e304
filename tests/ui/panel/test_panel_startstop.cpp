// Starting and stopping surveillance from the panel, with real workers on video files: the three
// settings a start reads with their messages, the switches, the cascade fallback, runs that end by
// themselves, and runs whose worker is stuck saving a picture.
#include "tests/ui/panel/PanelHarness.h"

#include <QElapsedTimer>

#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class PanelRuns : public PanelTest {
protected:
    void SetUp() override   // and no face cascade: each run falls back to motion detect
    {
        StoreEmailSettings("alarm@home.net", "owner@mail.org", "127.0.0.1");
        StoreSetting(SETTING_DELAY_TO_LEAVE_ROOM, "0.1");   // a countdown of two ticks
        StoreSetting(SETTING_DELAY_BEFORE_ALARM, "0.5");
        StoreSetting(SETTING_DELAY_BETWEEN_SENDS, "1.0");
    }
    static bool Idle(CSentivoDlg& panel)
    {
        return panel.startStopButton->text() == "&Start Surveillance" && !panel.state().isRunning
               && panel.startStopButton->isEnabled() && panel.motionDetectRadio->isEnabled()
               && panel.sendEmailsCheck->isEnabled();
    }
};

TEST_F(PanelRuns, AStartWithoutAnEmailSettingSaysWhichAndGivesTheSwitchesBack)
{
    const char* const rows[][4] = {   // from, to, server: the first missing one in reading order is reported
        {"", "", "", "From email address not set. Click \"Options\" to set."},
        {"alarm@home.net", "", "nodot", "SMTP server not set. Click \"Options\" to set. This value can be provided by "
                                        "your Internet Service Provider (ISP)."},
        {"alarm@home.net", "owner", "smtp.home.net", "To email address not set. Click \"Options\" to set."},
    };
    for (const auto& row : rows) {
        StoreEmailSettings(row[0], row[1], row[2]);
        const auto answerer = AnswerModals(&QDialog::reject);   // the start-up Options dialog, then the countdown
        MessageBoxCapture shown;
        auto panel = OpenPanel();
        panel->OnStartStop();
        EXPECT_EQ(shown.texts(), QStringList{row[3]});
        EXPECT_TRUE(Idle(*panel)) << row[3];
    }
}

TEST_F(PanelRuns, ARunThatEndsByItselfReturnsThePanelToIdle)
{
    const std::pair<fs::path, QStringList> rows[] = {   // the camera, the messages shown
        {"no-camera.avi", {"Could not find camera! Please plug a camera in and try again."}},
        {WriteRoomVideo("room.avi", 10, 60), {}},   // the run ends with the video
    };
    for (const auto& [camera, shown] : rows) {
        MessageBoxCapture capture;
        auto panel = OpenPanel(camera);
        panel->sendEmailsCheck->click();
        panel->OnStartStop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*panel); }, 15000)) << camera;
        EXPECT_EQ(capture.texts(), shown);
        EXPECT_EQ(panel->state().picturesTaken > 0, shown.isEmpty()) << "the video has an intruder";
        EXPECT_EQ(panel->picturesTakenEdit->text(), QString::number(panel->state().picturesTaken));
    }
}

TEST_F(PanelRuns, AWorkerStuckSavingAPictureNeitherHoldsUpTheStopNorOverlapsTheNextRun)
{
    std::atomic<int> saving{0};   // a stalled disk (a network folder, say): each picture takes 3 s to save
    auto panel = OpenPanel(WriteRoomVideo("room.avi", 5, 400), [&saving](SurveillanceEnvironment& env) {
        env.savePicture = [&saving, save = env.savePicture](const auto&... picture) {
            ++saving;
            std::this_thread::sleep_for(3s);
            return save(picture...);
        };
    });
    const auto startUntilSaving = [&](int picture) {
        panel->OnStartStop();
        EXPECT_FALSE(panel->faceDetectRadio->isEnabled() || panel->motionDetectRadio->isEnabled()
                     || panel->sendEmailsCheck->isEnabled());
        return QTest::qWaitFor([&] { return saving == picture; }, 15000);
    };
    ASSERT_TRUE(startUntilSaving(1));
    EXPECT_TRUE(panel->motionDetectRadio->isChecked()) << "without the cascade a run falls back to motion detect";
    QElapsedTimer stopping;
    stopping.start();
    panel->OnStartStop();
    EXPECT_LT(stopping.elapsed(), 2500) << "the stop waits about a second at most";
    EXPECT_FALSE(panel->startStopButton->isEnabled()) << "no second run while the first is finishing";
    panel->OnStartStop();
    EXPECT_FALSE(panel->state().isRunning) << "a start is refused while the old worker runs";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*panel); }, 10000));
    EXPECT_FALSE(panel->faceDetectRadio->isEnabled()) << "face detect stays off without its cascade";

    ASSERT_TRUE(startUntilSaving(2));
    panel->OnDeltaPosBetweenSends(-1);   // one step up
    panel->OnRevertDefaults();           // during a run: shown at once, and the worker's next read sees it
    EXPECT_EQ(panel->betweenSendsEdit->text(), "2.0");
    EXPECT_EQ(panel->state().delayBetweenSends, 2.0f);
    // Closing the panel while its worker is stuck: the panel goes, then the worker ends its save.
    panel->reject();
    panel.reset();
    EXPECT_TRUE(fs::exists("pic_1.jpg") && fs::exists("pic_2.jpg")) << "numbering goes on across runs";
}

TEST_F(PanelRuns, AWorkerWaitingOnAControlUpdateIsReleasedWhenThePanelGoes)
{
    auto panel = OpenPanel();
    std::shared_ptr<SessionState> state = panel->sharedState();
    // No event loop runs from here on: the update can only end by the release.
    std::thread worker([state] { state->IncrementPicturesTaken(); state->SetAlertLevel(1.0f); });
    std::this_thread::sleep_for(100ms);
    panel.reset();
    worker.join();
    EXPECT_EQ(state->picturesTaken, 1) << "the count still advances: it numbers the files";
    QApplication::processEvents();   // the dropped updates find no panel
}

}  // namespace
