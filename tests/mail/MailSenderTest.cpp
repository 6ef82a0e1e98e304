// The outbox and its sender over real files and a real SMTP server on loopback: nothing is lost
// while the server is away, a refusal is kept and shown rather than retried in a loop, and Stop
// does not wait for a hanging server.
#include "log/EventLog.h"
#include "mail/MailConfig.h"
#include "mail/MailSender.h"
#include "tests/support/SmtpTestServer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

OutboxEntry Picture(int number)
{
    std::string bytes = "\xff\xd8 picture " + std::to_string(number) + "\r\n.\r\n";
    bytes += std::string(20000 * number, static_cast<char>(number));
    return {.pictureNumber = number, .pictureName = "pic_" + std::to_string(number) + ".jpg",
            .takenAt = "2026-12-07 03:12:0" + std::to_string(number), .note = "n", .pictureBytes = bytes};
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s)
{
    for (const QDeadlineTimer deadline(timeout); !done() && !deadline.hasExpired();)
        QThread::msleep(10);
    return done();
}

// A sender on an outbox in a fresh folder, mailing to 127.0.0.1:port.
struct Rig {
    explicit Rig(int port, int pictures) : port(port)
    {
        SetMailConfig({.connectTimeoutMs = 5000, .totalTimeoutMs = 30000});
        for (int n = 1; n <= pictures; ++n)
            EXPECT_TRUE(sender.Queue(Picture(n), reason)) << reason;
        sender.Start();
    }
    TestDirectory dir;
    int port;
    std::string reason;
    Outbox outbox{dir.path() / "outbox"};
    EventLog log{dir.path() / "events.log", false};
    MailSender sender{outbox, [this](std::string&) {
        return std::optional<MailSettings>({"alarm@example.net", "owner@example.org", {"127.0.0.1", port}});
    }, log};
};

}  // namespace

// Entries survive the object, oldest first, byte for byte; a half-written one is cleared away; a
// text that would add a line of its own is refused.
TEST(Outbox, KeepsWholeEntriesOldestFirst)
{
    TestDirectory dir;
    std::string reason;
    for (OutboxEntry entry : {Picture(1), Picture(2)})
        ASSERT_TRUE(Outbox(dir.path()).Add(entry, reason)) << reason;
    dir.WriteFile("1-0.tmp", "half an entry");
    OutboxEntry broken = Picture(3);
    broken.takenAt += "\nkind: other";
    EXPECT_FALSE(Outbox(dir.path()).Add(broken, reason));
    const std::vector<OutboxEntry> entries = Outbox(dir.path()).Waiting();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "1-0.tmp"));
    ASSERT_EQ(entries.size(), 2u);
    for (int i : {0, 1}) {
        const OutboxEntry expected = Picture(i + 1);
        EXPECT_EQ(std::tie(entries[i].pictureNumber, entries[i].pictureName, entries[i].takenAt, entries[i].kind,
                           entries[i].note),
                  std::tie(expected.pictureNumber, expected.pictureName, expected.takenAt, expected.kind, expected.note));
        EXPECT_TRUE(entries[i].pictureBytes == expected.pictureBytes);
    }
}

// Pictures queued while the server is down all arrive, in order and byte for byte, once it is up; an alert
// queued after them goes in a mail of its own.
TEST(MailSender, DeliversWhatWaitedOnceTheServerIsUp)
{
    const int nobodyListens = SmtpTestServer().port();   // that server has gone again
    Rig rig(nobodyListens, 3);
    EXPECT_TRUE(rig.sender.Queue({.kind = "camera lost", .pictureName = "camera.jpg", .note = "Camera lost since 3:12",
                                  .pictureBytes = "\xff\xd8 frame"}, rig.reason));
    ASSERT_TRUE(WaitFor([&] { return !rig.sender.Status().lastFailure.empty(); }));
    const MailSenderStatus failed = rig.sender.Status();
    EXPECT_EQ(failed.lastFailure + (failed.permanent ? " (for good)" : ""), "could not connect");
    EXPECT_EQ(failed.waiting, 4u);
    EXPECT_TRUE(failed.nextTryIn > 0s && failed.nextTryIn <= 10s) << failed.nextTryIn.count();

    SmtpTestServer server({.port = rig.port});
    rig.sender.RetryNow();
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 4; }));
    EXPECT_EQ(rig.sender.Status().waiting, 0u);
    EXPECT_EQ(rig.outbox.Count(), 0u);
    const std::vector<ReceivedMail> mails = server.Messages();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[1].subject, "Sentivo: camera lost");
    ASSERT_EQ(mails[1].attachments.size(), 1u);
    EXPECT_EQ(mails[1].attachments[0].bytes, "\xff\xd8 frame");
    EXPECT_EQ(mails[0].subject, "Sentivo: 3 pictures were taken");
    ASSERT_EQ(mails[0].attachments.size(), 3u);
    for (int i : {0, 1, 2}) {
        EXPECT_EQ(mails[0].attachments[i].fileName, Picture(i + 1).pictureName);
        EXPECT_TRUE(mails[0].attachments[i].bytes == Picture(i + 1).pictureBytes) << i;
    }
    const std::string log = rig.dir.ReadFile("events.log");
    EXPECT_NE(log.find("mail for pictures 1, 2, 3 failed: could not connect; next try in 10 s"), std::string::npos);
    EXPECT_NE(log.find("mail for pictures 1, 2, 3 sent"), std::string::npos) << log;
}

// A recipient refused for good stays in the outbox, is shown, and waits the longest pause.
TEST(MailSender, KeepsARefusedMailAndDoesNotRetryItInALoop)
{
    SmtpTestServer server({.refuseRecipients = true});
    Rig rig(server.port(), 1);
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().permanent; }));
    QThread::msleep(3000);
    const MailSenderStatus status = rig.sender.Status();
    EXPECT_EQ(status.lastFailure, "server refused the sender or recipient");
    EXPECT_GT(status.nextTryIn, 590s);
    EXPECT_EQ(status.waiting, 1u);
    EXPECT_EQ(server.Seen("connect"), 1);
    EXPECT_NE(rig.dir.ReadFile("events.log").find("mail for picture 1 refused: server refused the sender or "
                                                  "recipient; kept, next try in 600 s"), std::string::npos);
    rig.sender.Stop();
    EXPECT_EQ(Outbox(rig.outbox.folder()).Count(), 1u);
}

// Stop cancels a send that hangs on a silent server; the entry waits for the next start.
TEST(MailSender, StopDoesNotWaitForAHangingServer)
{
    SmtpTestServer server({.silent = true});
    Rig rig(server.port(), 1);
    ASSERT_TRUE(WaitFor([&] { return server.Seen("connect") == 1 && rig.sender.Status().sending; }));
    const auto start = std::chrono::steady_clock::now();
    rig.sender.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    const std::vector<OutboxEntry> left = Outbox(rig.outbox.folder()).Waiting();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].pictureBytes == Picture(1).pictureBytes);
}
