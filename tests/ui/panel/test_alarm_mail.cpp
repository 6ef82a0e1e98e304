// A run's pictures reach the outbox and the real sender thread without the loop ever waiting on the
// network: a mail server that takes the connection and never answers holds the sender, not the pictures.
#include "settings/MailSettingsCodec.h"
#include "log/EventLog.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/ui/panel/PanelHarness.h"

TEST(AlarmMail, ASilentServerHoldsTheSenderWhileThePicturesKeepTheirSpacing)
{
    TestDirectory dir;
    SmtpTestServer silent({.silent = true});
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "127.0.0.1");
    WriteNamedSetting(SETTING_SMTP_PORT, std::to_string(silent.port()));   // as the Options dialog stores it
    EventLog log(dir.path() / "events.log", false);
    Outbox outbox(dir.path() / "outbox");
    MailSender sender(outbox, CurrentMailSettings, log);   // the send waits out the default 60 s
    sender.Start();

    // 7 s of an intruder: the alarm after 2 s, then a picture every second, 6 in all, unless the loop
    // waited for a mail; then there would be one.
    auto state = RunningState(2.0f, 1.0f);
    SurveillanceWorker worker(state, DefaultSurveillanceEnvironment(WriteRoomVideo("room.avi", 0, 140), &sender, &log));
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker.WaitFor(std::chrono::milliseconds(0)); }, 60000));
    EXPECT_GE(state->picturesTaken, 4);
    EXPECT_LE(state->picturesTaken, 6) << "never closer than the spacing";
    EXPECT_TRUE(sender.Status().sending && sender.Status().sent == 0 && silent.Seen("connect") == 1) << "stuck";
    const auto stopping = std::chrono::steady_clock::now();
    sender.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(1500)) << "the send is cancelled";
    EXPECT_EQ(outbox.Count(), size_t(state->picturesTaken.load())) << "what was not sent stays";
}
