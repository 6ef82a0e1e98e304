// Starting and stopping surveillance from the panel with real workers on video files: the
// countdown, the three settings reads with their messages, the switches, runs that end by
// themselves, and a worker stuck in a slow mail send.
#include "mail/MailConfig.h"
#include "ui/panel/SentivoDlg.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/MessageBox.h"
#include "tests/ui/panel/PanelHarness.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDirectory.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const QString kStart = "&Start Surveillance";
const QString kStop = "&Stop Surveillance";

class PanelStartStop : public testing::Test {
protected:
    void TearDown() override { ExpectNoWindowLeft(); }
    void SetUp() override
    {
        StoreSetting(SETTING_DELAY_TO_LEAVE_ROOM, "0.1");   // a short countdown: two ticks
        StoreSetting(SETTING_DELAY_BEFORE_ALARM, "0.5");
        StoreSetting(SETTING_DELAY_BETWEEN_SENDS, "1.0");
    }

    SurveillanceOptions Camera(const fs::path& video)
    {
        SurveillanceOptions options;
        options.cameraSource = video.string();
        return options;
    }

    bool SwitchesEnabled(CSentivoDlg& panel)
    {
        return panel.faceDetectRadio->isEnabled() && panel.motionDetectRadio->isEnabled()
               && panel.sendEmailsCheck->isEnabled();
    }

    TestDirectory dir;
    MessageBoxCapture messages;
};

TEST_F(PanelStartStop, MissingSmtpServerIsReportedAfterTheCountdown)
{
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "nodot");
    RejectModals startupOptions;
    CSentivoDlg panel;
    InitPanel(panel);
    panel.state().toAddress = "unchanged";
    panel.OnStartStop();
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_EQ(messages.texts().back(),
              "SMTP server not set. Click \"Options\" to set. This value can be provided by your "
              "Internet Service Provider (ISP).");
    EXPECT_EQ(panel.state().fromAddress, "alarm@home.net");
    EXPECT_EQ(panel.state().toAddress, "unchanged") << "reading stops at the first false verdict";
    EXPECT_EQ(panel.startStopButton->text(), kStart);
    EXPECT_FALSE(panel.state().isRunning.load());
    EXPECT_TRUE(SwitchesEnabled(panel)) << "a failed start gives the switches back";
}

TEST_F(PanelStartStop, EachMissingSettingHasItsMessage)
{
    struct Case {
        const char* from;
        const char* to;
        const char* server;
        const char* message;
    };
    const Case cases[] = {
        {"", "owner@mail.org", "smtp.home.net", "From email address not set. Click \"Options\" to set."},
        {"alarm@home.net", "owner", "smtp.home.net", "To email address not set. Click \"Options\" to set."},
    };
    for (const Case& c : cases) {
        StoreEmailSettings(c.from, c.to, c.server);
        RejectModals startupOptions;
        MessageBoxCapture capture;
        CSentivoDlg panel;
        InitPanel(panel);
        panel.OnStartStop();
        ASSERT_EQ(capture.texts().size(), 1) << c.message;
        EXPECT_EQ(capture.texts().front(), c.message);
        EXPECT_EQ(panel.startStopButton->text(), kStart);
    }
}

TEST_F(PanelStartStop, StartRunsAWorkerAndStopReturnsToIdle)
{
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "smtp.home.net");
    const fs::path video = WriteRoomVideo(dir.path() / "room.avi", 400, 0);
    InstallCascade(dir.path());
    CSentivoDlg panel(Camera(video));
    InitPanel(panel);
    panel.sendEmailsCheck->click();   // unchecked: no mail, but all three settings are still needed
    dir.WriteFile("auth.txt", "USERNAME, alarm\nPASSWORD, secret ; for the alarm mails\n");
    bool countdownSeen = false;
    WhenModalOpens([&](QWidget* dialog) {
        countdownSeen = dialog->windowTitle() == "Please exit the room. Surveillance will begin shortly.";
    });
    panel.OnStartStop();
    EXPECT_TRUE(countdownSeen);
    EXPECT_EQ(panel.startStopButton->text(), kStop);
    EXPECT_TRUE(panel.state().isRunning.load());
    EXPECT_FALSE(panel.faceDetectRadio->isEnabled());
    EXPECT_FALSE(panel.motionDetectRadio->isEnabled());
    EXPECT_FALSE(panel.sendEmailsCheck->isEnabled());
    EXPECT_FALSE(panel.state().sendEmails.load());
    EXPECT_TRUE(panel.state().faceDetectMode.load());
    EXPECT_EQ(panel.state().smtpServer, "smtp.home.net");
    EXPECT_TRUE(panel.state().haveCredentials) << "the run's pictures may need a login";
    EXPECT_EQ(panel.state().smtpUserName, "alarm");
    EXPECT_EQ(panel.state().smtpPassword, "secret");

    // Revert during a run: shown at once, and the worker's next read sees the default.
    panel.OnDeltaPosBetweenSends(-1);
    panel.OnRevertDefaults();
    EXPECT_EQ(panel.betweenSendsEdit->text(), "2.0");
    EXPECT_EQ(panel.leaveRoomEdit->text(), "10.0");
    EXPECT_EQ(panel.beforeAlarmEdit->text(), "10.0");
    EXPECT_FLOAT_EQ(panel.state().delayBetweenSends.load(), 2.0f);

    ProcessEventsFor(300ms);
    panel.OnStartStop();
    EXPECT_EQ(panel.startStopButton->text(), kStart);
    EXPECT_FALSE(panel.workerFinishing());
    EXPECT_TRUE(SwitchesEnabled(panel));
    EXPECT_TRUE(panel.startStopButton->isEnabled());
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(PanelStartStop, MissingCascadeFallsBackAndFaceDetectStaysDisabledAfterStop)
{
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "smtp.home.net");
    const fs::path video = WriteRoomVideo(dir.path() / "room.avi", 400, 0);
    CSentivoDlg panel(Camera(video));
    InitPanel(panel);
    panel.sendEmailsCheck->click();
    panel.OnStartStop();
    ASSERT_TRUE(WaitUntil([&] { return panel.motionDetectRadio->isChecked(); }, 5s));
    panel.OnStartStop();
    EXPECT_FALSE(panel.faceDetectRadio->isEnabled());
    EXPECT_TRUE(panel.motionDetectRadio->isEnabled());
    EXPECT_TRUE(panel.sendEmailsCheck->isEnabled());
    EXPECT_FALSE(panel.state().faceDetectAvailable.load());
}

TEST_F(PanelStartStop, ARunThatEndsByItselfReturnsThePanelToIdle)
{
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "smtp.home.net");
    InstallCascade(dir.path());
    CSentivoDlg noCamera(Camera(dir.path() / "missing.avi"));
    InitPanel(noCamera);
    noCamera.OnStartStop();
    ASSERT_TRUE(WaitUntil([&] { return !messages.texts().isEmpty(); }, 5s));
    EXPECT_EQ(messages.texts().front(), "Could not find camera! Please plug a camera in and try again.");
    EXPECT_TRUE(WaitUntil([&] { return noCamera.startStopButton->text() == kStart; }, 5s));
    EXPECT_TRUE(SwitchesEnabled(noCamera));

    // The end of a video file is a failed grab: the run ends and the panel goes idle.
    const fs::path video = WriteRoomVideo(dir.path() / "short.avi", 10, 0);
    CSentivoDlg panel(Camera(video));
    InitPanel(panel);
    panel.OnStartStop();
    EXPECT_TRUE(WaitUntil([&] { return panel.startStopButton->text() == kStart; }, 5s));
    EXPECT_FALSE(panel.state().isRunning.load());
    EXPECT_TRUE(panel.startStopButton->isEnabled());
}

TEST_F(PanelStartStop, PictureNumbersContinueAcrossRuns)
{
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "smtp.home.net");
    InstallCascade(dir.path());
    const fs::path video = WriteRoomVideo(dir.path() / "room.avi", 10, 60, 0, 20.0);
    CSentivoDlg panel(Camera(video));
    InitPanel(panel);
    panel.sendEmailsCheck->click();
    panel.motionDetectRadio->click();
    for (int run = 0; run < 2; ++run) {
        const int before = panel.state().picturesTaken.load();
        panel.OnStartStop();
        ASSERT_TRUE(WaitUntil([&] { return panel.startStopButton->text() == kStart; }, 15s));
        const int after = panel.state().picturesTaken.load();
        ASSERT_GT(after, before) << "run " << run;
        EXPECT_EQ(panel.picturesTakenEdit->text(), QString::number(after));
        for (int n = before + 1; n <= after; ++n)
            EXPECT_TRUE(fs::exists(dir.path() / ("pic_" + std::to_string(n) + ".jpg"))) << n;
    }
}

TEST_F(PanelStartStop, AWorkerStuckInAMailSendNeitherBlocksNorOverlaps)
{
    SmtpTestServer::Options slow;
    slow.delayMs = 3000;
    SmtpTestServer server(slow);
    MailConfig mail;
    mail.port = server.port();
    mail.tls = MailConfig::Tls::Off;
    mail.totalTimeoutMs = 10000;
    SetMailConfig(mail);
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "127.0.0.1");
    InstallCascade(dir.path());
    const fs::path video = WriteRoomVideo(dir.path() / "room.avi", 5, 400, 0, 20.0);

    auto panel = std::make_unique<CSentivoDlg>(Camera(video));
    InitPanel(*panel);
    panel->motionDetectRadio->click();
    panel->OnStartStop();
    // The picture is saved before it is mailed: once it exists, the worker is in the slow send.
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir.path() / "pic_1.jpg"); }, 15s));
    ProcessEventsFor(200ms);
    QElapsedTimer stopping;
    stopping.start();
    panel->OnStartStop();
    EXPECT_LT(stopping.elapsed(), 2500) << "the stop waits at most about a second";
    EXPECT_EQ(panel->startStopButton->text(), kStart);
    EXPECT_TRUE(panel->workerFinishing());
    EXPECT_FALSE(panel->startStopButton->isEnabled()) << "no second run while the first is finishing";
    panel->OnStartStop();
    EXPECT_FALSE(panel->state().isRunning.load()) << "a start is refused while the old worker runs";

    ASSERT_TRUE(WaitUntil([&] { return !panel->workerFinishing(); }, 10s));
    EXPECT_TRUE(panel->startStopButton->isEnabled());
    EXPECT_EQ(server.WaitForMessages(1, 5s).size(), 1u);

    // Closing the panel while a worker is stuck: the delays are saved, the panel goes, and the
    // worker finishes its send without touching it.
    const int before = panel->state().picturesTaken.load();
    panel->OnStartStop();
    ASSERT_TRUE(WaitUntil([&] { return panel->state().picturesTaken.load() > before; }, 15s));
    ProcessEventsFor(200ms);
    panel->reject();
    panel.reset();
    EXPECT_GE(server.WaitForMessages(2, 10s).size(), 2u);
}

}  // namespace
