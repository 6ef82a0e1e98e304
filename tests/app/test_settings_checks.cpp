// The settings as the installed program judges them before and while armed (server text, auth.txt, login).
#include "log/EventLog.h"
#include "mail/MailConfig.h"
#include "settings/MailSettingsCodec.h"
#include "settings/SmtpCredentials.h"
#include "tests/app/InstalledProgram.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/ui/panel/PanelHarness.h"
#include "ui/dialogs/OptionsDlg.h"

#include <QLabel>
#include <QProcess>

#include <csignal>
#include <fstream>
#include <functional>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Refused before arming, with exit status 1 and the text named, as a missing server is; a server
// text the first rule refused but the mail can use ("localhost:PORT") arms.
TEST(ArmedSettings, AServerTextTheMailCannotUseStopsArming)
{
    ASSERT_FALSE(InstalledProgram().isEmpty()) << "cmake --install failed";
    for (const char* server : {"my server.net", "a/b/c.com", "127.0.0.1:0", "localhost:PORT"}) {
        TestDirectory dir;
        SmtpTestServer smtp;
        const bool usable = QString(server).endsWith("PORT");
        StoreArmedSettings(0, "2.0", "2.0", "MOTION", usable ? "localhost:" + std::to_string(smtp.port()) : server);
        WriteRoomVideo("camera.avi", 40, 0);
        QProcess sentivo;
        StartArmed(sentivo);
        ASSERT_TRUE(sentivo.waitForFinished(60000)) << server;
        const QString err = sentivo.readAllStandardError();
        EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, usable ? 0 : 1) << err.toStdString();
        EXPECT_EQ(err.contains(QString("SMTP server \"%1\" is not valid").arg(server)), !usable) << err.toStdString();
        EXPECT_EQ(err.contains("surveillance armed"), usable) << err.toStdString();
    }
}

// Each thing in auth.txt's place is reported at arming and by each mail that could not go, the
// pictures wait in the outbox, and a SIGTERM still ends the program at once; a good auth.txt logs
// in. The run keeps seeing an intruder until the signal.
TEST(ArmedSettings, AuthTxtThatCannotBeUsedIsReportedAndNeverHangs)
{
    ASSERT_FALSE(InstalledProgram().isEmpty()) << "cmake --install failed";
    const struct { const char* what; std::function<void()> make; const char* problem; } rows[] = {
        {"FIFO", [] { ASSERT_EQ(::mkfifo("auth.txt", 0600), 0); }, "auth.txt is a FIFO, not a regular file"},
        {"link to /dev/zero", [] { fs::create_symlink("/dev/zero", "auth.txt"); },
         "auth.txt is a character device, not a regular file"},
        {"extra comma", [] { std::ofstream("auth.txt") << "USERNAME, alarm\nPASSWORD, sec,ret\n"; },
         "auth.txt line 2: a PASSWORD record has 3 fields, not 2"},
        {"good", [] { std::ofstream("auth.txt") << "USERNAME, alarm\nPASSWORD, secret\n"; }, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestDirectory dir;
        SmtpTestServer smtp({.requireAuth = true});
        StoreArmedSettings(smtp.port());
        WriteRoomVideo("camera.avi", 40, 600);
        row.make();
        QProcess sentivo;
        StartArmed(sentivo);
        const auto log = [&dir] { return QString::fromStdString(dir.ReadFile("data/Corvane/Sentivo/events.log")); };
        const QString failed = " failed: login not usable: " + QString::fromStdString(dir.path().string()) + "/"
                               + (row.problem ? row.problem : "");
        const auto told = [&] { return row.problem ? log().contains(failed) : !smtp.Messages().empty(); };
        EXPECT_TRUE(QTest::qWaitFor(told, 60000)) << log().toStdString();
        ::kill(sentivo.processId(), SIGTERM);
        EXPECT_TRUE(sentivo.waitForFinished(10000)) << "SIGTERM ends the program";
        EXPECT_TRUE(sentivo.exitStatus() == QProcess::NormalExit && sentivo.exitCode() == 0) << sentivo.exitCode();
        EXPECT_TRUE(log().contains("run ended: stopped")) << log().toStdString();
        if (row.problem) {
            EXPECT_TRUE(log().contains("mail login not usable: " + QString::fromStdString(dir.path().string()) + "/" + row.problem))
                << "told at arming";
            EXPECT_EQ(smtp.Seen("connect"), 0);
        } else {
            for (const ReceivedMail& mail : smtp.Messages())
                EXPECT_EQ(mail.authenticatedUser, "alarm");
        }
        if (sentivo.state() != QProcess::NotRunning)
            sentivo.kill(), sentivo.waitForFinished();
    }
}

// An auth.txt in the working folder overrides the dialog's login, for the test e-mail as for the
// alarm mails (the saved login, stale here, would fail); without it both use the boxes' login.
TEST(MailLogin, TheTestEmailAndTheAlarmMailsLogInAlike)
{
    TestDirectory dir;
    fs::copy_file(SourceDir() / "res" / "sentivo.jpg", dir.path() / "sentivo.jpg");
    SmtpTestServer smtp({.requireAuth = true});   // alarm, secret
    StoreArmedSettings(smtp.port());
    std::string reason;
    ASSERT_TRUE(WriteSmtpCredentials("alarm", "stale", reason)) << reason;
    dir.WriteFile("auth.txt", "USERNAME, alarm\nPASSWORD, secret\n");

    MessageBoxCapture messages;
    bool noticeShown = false;
    QTimer::singleShot(0, [&] {
        auto& dialog = *qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
        noticeShown = dialog.loginNotice->isVisible()
                      && dialog.loginNotice->text().contains(QString::fromStdString((dir.path() / "auth.txt").string()));
        EXPECT_EQ(dialog.userNameEdit->text() + "|" + dialog.passwordEdit->text(), "alarm|stale") << "the saved login";
        dialog.passwordEdit->setText("typo");
        dialog.OnSendTestEmail();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 30000));
        dialog.reject();
    });
    RunEmailOptions();
    EXPECT_TRUE(noticeShown) << "the dialog names the auth.txt that overrides its boxes";
    EXPECT_EQ(messages.texts(), QStringList{"An email with a test attachment should be waiting in your \"To\" email inbox!"});

    EventLog log(dir.path() / "events.log", false);
    Outbox outbox(dir.path() / "outbox");
    MailSender sender(outbox, CurrentMailSettings, log);
    OutboxEntry entry{.pictureNumber = 1, .pictureName = "pic_1.jpg", .takenAt = "2026-12-07 03:12:01",
                      .pictureBytes = dir.ReadFile("sentivo.jpg")};
    ASSERT_TRUE(sender.Queue(entry, reason)) << reason;
    sender.Start();
    const std::vector<ReceivedMail> mails = smtp.WaitForMessages(2, 30s);
    sender.Stop();
    ASSERT_EQ(mails.size(), 2u) << dir.ReadFile("events.log");
    EXPECT_EQ(mails[0].subject, "Sentivo test e-mail");
    EXPECT_EQ(mails[0].authenticatedUser + " " + mails[1].authenticatedUser, "alarm alarm");

    // Without it, the boxes' login: the test e-mail tells at once what the alarm mails would meet.
    fs::remove("auth.txt");
    MessageBoxCapture without;
    QTimer::singleShot(0, [&] {
        auto& dialog = *qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
        noticeShown = dialog.loginNotice->isVisible();
        dialog.OnSendTestEmail();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !without.texts().isEmpty(); }, 30000));
        dialog.reject();
    });
    RunEmailOptions();
    EXPECT_FALSE(noticeShown);
    EXPECT_TRUE(without.texts().join("").endsWith("authentication failed")) << without.texts().join("").toStdString();
    ASSERT_TRUE(CurrentMailSettings(reason)) << reason;
    EXPECT_EQ(CurrentMailSettings(reason)->server.password, "stale") << "what the alarm mails now log in with";
}
