// Starting and stopping surveillance from the panel, with real workers on video files.
#include "app/RunJournal.h"
#include "journal/Journal.h"
#include "log/EventLog.h"
#include "settings/DetectionSettings.h"
#include "tests/support/MjpegTestServer.h"
#include "tests/ui/panel/PanelHarness.h"
#include "ui/dialogs/DetectionAreaDlg.h"

#include <QElapsedTimer>
#include <QTreeWidget>

#include <array>
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
               && panel.sendEmailsCheck->isEnabled() && panel.detectionButton->isEnabled()
               && panel.notificationsButton->isEnabled();
    }
};

// A start checks the e-mail settings (the first missing one in reading order is told) and opens the
// camera (a missing recording, a stream nobody serves) before anyone is asked to leave the room.
TEST_F(PanelRuns, AStartThatCannotWatchOrMailSaysWhyBeforeTheCountdown)
{
    const std::string noCamera = "Could not find camera! Please plug a camera in and try again.";
    const std::array<std::string, 5> rows[] = {   // from, to, server, camera, message
        {"", "", "", "no-camera.avi", "From email address not set. Click \"Options\" to set."},
        {"alarm@home.net", "", "my server.net", "no-camera.avi", "SMTP server not set. Click \"Options\" to set. "
                                                                 "This value can be provided by your Internet Service Provider (ISP)."},
        {"alarm@home.net", "owner", "smtp.home.net", "no-camera.avi", "To email address not set. Click \"Options\" to set."},
        {"alarm@home.net", "owner@mail.org", "127.0.0.1", "no-camera.avi", noCamera},
        {"alarm@home.net", "owner@mail.org", "127.0.0.1", "http://127.0.0.1:9/stream.mjpg", noCamera},
    };
    for (const auto& [from, to, server, camera, message] : rows) {
        SCOPED_TRACE(message + " " + camera);
        StoreEmailSettings(from, to, server);
        QStringList opened;
        const auto answerer = AnswerModals([&](QDialog* modal) { opened << modal->windowTitle(); modal->reject(); });
        MessageBoxCapture shown;
        auto panel = OpenPanel(camera);
        opened.clear();   // the start-up Options dialog
        panel->OnStartStop();
        EXPECT_EQ(shown.texts(), QStringList{QString::fromStdString(message)});
        EXPECT_EQ(opened, QStringList()) << "nobody leaves the room for a start that is refused";
        EXPECT_TRUE(Idle(*panel));
        EXPECT_EQ(panel->state().picturesTaken, 0);
    }
}

TEST_F(PanelRuns, ARunThatEndsByItselfReturnsThePanelToIdle)
{
    std::string corrupt = dir.ReadFile(WriteRoomVideo("corrupt.avi", 20, 0));   // its pictures overwritten
    std::fill(corrupt.begin() + 4096, corrupt.end(), '\x5a');
    dir.WriteFile("corrupt.avi", corrupt);
    // The camera, the delay before the alarm (0: the first frame with motion, never a still room), whether
    // pictures are taken, the messages shown, the status line.
    const std::tuple<fs::path, const char*, bool, QStringList, QString> rows[] = {
        {WriteRoomVideo("room.avi", 10, 60), "0.5", true, {}, "Run ended: the video file ended"},
        {"corrupt.avi", "0.5", false, {}, "Run ended: the video could not be read"},
        {WriteRoomVideo("still.avi", 70, 0), "0.0", false, {}, "Run ended: the video file ended"},
        {"room.avi", "0.0", true, {}, "Run ended: the video file ended"},
    };
    for (const auto& [camera, delay, pictures, shown, status] : rows) {
        StoreSetting(SETTING_DELAY_BEFORE_ALARM, delay);
        MessageBoxCapture capture;
        auto panel = OpenPanel(camera);
        panel->sendEmailsCheck->click();
        panel->OnStartStop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*panel); }, 15000)) << camera;
        EXPECT_EQ(capture.texts(), shown);
        EXPECT_EQ(panel->state().picturesTaken > 0, pictures) << camera << " with a delay of " << delay;
        EXPECT_EQ(panel->picturesTakenEdit->text(), QString::number(panel->state().picturesTaken));
        EXPECT_TRUE(QTest::qWaitFor([&] { return StatusLine(*panel) == status; }, 5000)) << StatusLine(*panel).toStdString();
    }
}

// Remote commands arm as Start does and disarm as Stop does; asking for what is so changes nothing.
TEST_F(PanelRuns, RemoteCommandsArmAndDisarmAsStartAndStopDo)
{
    auto panel = OpenPanel(WriteRoomVideo("room.avi", 400, 0));   // a still room for 20 s
    panel->RemoteCommand(false);
    EXPECT_TRUE(Idle(*panel));
    panel->RemoteCommand(true);
    ASSERT_TRUE(panel->state().isRunning);
    EXPECT_EQ(panel->startStopButton->text(), "&Stop Surveillance");
    panel->RemoteCommand(true);
    panel->RemoteCommand(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*panel); }, 5000));
    QTest::qWait(300);   // the run's own last word comes after
    EXPECT_EQ(StatusLine(*panel), "Disarmed remotely");
}

// The panel's run is in the journal, and its History button shows it.
TEST_F(PanelRuns, HistoryShowsThePanelsRun)
{
    JournalOpening journal = Journal::Open(DefaultJournalFile());
    ASSERT_TRUE(journal.journal) << journal.note;
    auto panel = OpenPanel(WriteRoomVideo("room.avi", 10, 60),
                           [&](SurveillanceEnvironment& env) { env.record = JournalRecorder(journal.journal.get()); });
    panel->OnStartStop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*panel); }, 15000));
    ASSERT_EQ(journal.journal->Flush(), "");
    ASSERT_GT(panel->state().picturesTaken, 0);

    RequiredControl<QPushButton>(*panel, 1037)->click();
    QWidget* history = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowTitle().endsWith("History"))
            history = window;
    ASSERT_TRUE(history);
    const QTreeWidgetItem* today = history->findChild<QTreeWidget*>()->topLevelItem(0);
    ASSERT_TRUE(today);
    QStringList events;
    for (int row = 0; row < today->childCount(); ++row)
        events << today->child(row)->text(1);
    EXPECT_EQ(events.first(), "armed (motion detection)") << events.join(", ").toStdString();
    EXPECT_EQ(events.count("alarm (picture 1)"), 1) << events.join(", ").toStdString();
    EXPECT_EQ(events.last(), "disarmed: the video file ended");
    history->close();
}

// Notifications... restarts the channels once its OK saved new settings, not after Cancel; and not
// while a run uses them.
TEST_F(PanelRuns, NotificationsOkRestartsTheChannelsButNotDuringARun)
{
    auto panel = OpenPanel(WriteRoomVideo("room.avi", 10, 60));
    int restarts = 0;
    panel->SetMailServices({.restartChannels = [&] { ++restarts; }});
    for (const bool ok : {false, true}) {
        const auto answerer = AnswerModals([&](QDialog* modal) { ok ? modal->accept() : modal->reject(); });
        panel->notificationsButton->click();
    }
    EXPECT_EQ(restarts, 1);
    panel->OnStartStop();
    EXPECT_FALSE(panel->notificationsButton->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*panel); }, 15000));
}

TEST_F(PanelRuns, AStartTakesTheDetectionSettingsAndNumbersOnPastThePicturesInTheirFolder)
{
    fs::create_directory("pics");
    dir.WriteFile("pics/pic_7.jpg", "earlier evidence");
    for (auto [name, text] : {std::pair{SETTING_PICTURES_DIR, "pics"}, {SETTING_SENSITIVITY, "9"},
                              {SETTING_LIGHT_GUARD, "0"}, {SETTING_MIN_FREE_MB, "1"}})
        WriteNamedSetting(name, text);
    EventLog log(dir.path() / "events.log", false);
    auto panel = OpenPanel(WriteRoomVideo("room.avi", 10, 60));
    panel->SetMailServices({.log = &log});
    panel->sendEmailsCheck->click();
    panel->OnStartStop();
    const SessionState& s = panel->state();
    EXPECT_EQ(std::tuple(s.sensitivity, s.lightGuard, s.picturesFolder, s.minFreeBytes), std::tuple(3, false, "pics", 1u << 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Idle(*panel); }, 15000));
    const QString refused = "SENSITIVITY \"9\" is not valid: 3 used";
    EXPECT_EQ(StatusLine(*panel), "Run ended: the video file ended\n" + refused);
    EXPECT_TRUE(dir.ReadFile("events.log").find(refused.toStdString()) != std::string::npos);
    EXPECT_TRUE(fs::exists("pics/pic_8.jpg") && !fs::exists("pic_1.jpg"));
    EXPECT_EQ(dir.ReadFile("pics/pic_7.jpg"), "earlier evidence");
}

// "Draw area..." opens the Detection area dialog at once, while the camera (a stream holding back
// its first frame until the dialog is seen waiting) is still opening, and shows the camera's
// frame when it comes; without a camera it says so.
TEST_F(PanelRuns, TheDetectionAreaDialogOpensAtOnceOnASlowCameraAndShowsItsFrameWhenItComes)
{
    MjpegTestServer camera(MjpegTestServer::FirstFrame::Held);
    for (const bool stream : {true, false}) {
        auto panel = OpenPanel(stream ? fs::path(camera.url()) : fs::path("no-camera.avi"));
        QString waiting, shown;
        QImage picture;
        QSize maskSize;
        QTimer::singleShot(0, panel.get(), [&] {
            QWidget& detection = *QApplication::activeModalWidget();
            QTimer::singleShot(0, &detection, [&] {
                auto& area = *qobject_cast<CDetectionAreaDlg*>(QApplication::activeModalWidget());
                waiting = area.windowTitle();
                camera.ReleaseFirstFrame();
                QTest::qWaitFor([&] { return area.windowTitle() == "Detection area"; }, 15000);
                shown = area.windowTitle(), picture = area.canvas()->grab().toImage(), maskSize = area.mask().size();
                area.reject();
            });
            FindControl<QPushButton>(detection, 1043)->click();   // "Draw area...", until that dialog closes
            detection.close();
        });
        panel->OnDetectionOptions();
        SCOPED_TRACE(stream ? "slow stream" : "no camera");
        EXPECT_EQ(waiting, "Detection area — waiting for the camera…");
        EXPECT_EQ(shown, "Detection area");
        EXPECT_EQ(maskSize, stream ? QSize(320, 240) : QSize(640, 480)) << "the area is drawn at the camera's size";
        // Above the moving square and the placeholder's words: the room's wall, or the placeholder's grey.
        const QColor wall = picture.pixelColor(picture.width() / 2, picture.height() / 5);
        const QColor expected = stream ? QColor(80, 70, 60) : QColor(128, 128, 128);
        EXPECT_LE(std::abs(wall.red() - expected.red()) + std::abs(wall.green() - expected.green())
                      + std::abs(wall.blue() - expected.blue()), 24) << wall.name().toStdString();
    }
}

TEST_F(PanelRuns, AWorkerStuckSavingAPictureNeitherHoldsUpTheStopNorOverlapsTheNextRun)
{
    std::atomic<int> saving{0};   // a stalled disk (a network folder, say): each picture takes 3 s to save
    auto panel = OpenPanel(WriteRoomVideo("room.avi", 5, 400), [&saving](SurveillanceEnvironment& env) {
        env.savePicture = [&saving, save = env.savePicture](const std::string& path, const std::string& jpeg) {
            if (path.ends_with("-story.jpg"))
                return save(path, jpeg);
            ++saving;
            std::this_thread::sleep_for(3s);
            return save(path, jpeg);
        };
    });
    const auto startUntilSaving = [&](int picture) {
        panel->OnStartStop();
        EXPECT_FALSE(panel->faceDetectRadio->isEnabled() || panel->motionDetectRadio->isEnabled()
                     || panel->sendEmailsCheck->isEnabled() || panel->detectionButton->isEnabled());
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return StatusLine(*panel) == "Run ended: stopped"; }, 5000)) << StatusLine(*panel).toStdString();

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
