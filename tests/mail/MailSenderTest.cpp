// The outbox and its sender over real files and a real SMTP server on loopback.
#include "log/EventLog.h"
#include "mail/MailConfig.h"
#include "mail/MailSender.h"
#include "tests/support/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <random>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Options = SmtpTestServer::Options;

namespace {

// A JPEG's markers around bytes a careless encoder would damage, padded to about size bytes.
std::string PictureBytes(int number, size_t size = 20000)
{
    std::string bytes = "\xff\xd8\xff picture " + std::to_string(number) + "\r\n.\r\n";
    bytes.resize(std::max(size, bytes.size()), static_cast<char>(number));
    return bytes + "\xff\xd9";
}

OutboxEntry Picture(int number, size_t size = 20000)
{
    return {.pictureNumber = number, .takenAt = "2026-12-07 03:12:0" + std::to_string(number),
            .pictureBytes = PictureBytes(number, size)};
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s)
{
    for (const QDeadlineTimer deadline(timeout); !done() && !deadline.hasExpired();)
        QThread::msleep(10);
    return done();
}

// name -> bytes of every attachment the server accepted; a name twice fails the test.
std::map<std::string, std::string> Received(const SmtpTestServer& server)
{
    std::map<std::string, std::string> received;
    for (const ReceivedMail& mail : server.Messages())
        for (const ReceivedAttachment& attachment : mail.attachments)
            EXPECT_TRUE(received.emplace(attachment.fileName, attachment.bytes).second) << attachment.fileName << " twice";
    return received;
}

size_t LogLines(const TestDirectory& dir, const std::string& text)
{
    const std::string log = dir.ReadFile("events.log");
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
        ++count;
    return count;
}

// A sender on an outbox in a fresh folder, mailing to 127.0.0.1:port with login when set.
struct Rig {
    explicit Rig(int port, int pictures = 0, bool start = true) : port(port)
    {
        SetMailConfig({.connectTimeoutMs = 5000, .totalTimeoutMs = 30000});
        for (int n = 1; n <= pictures; ++n)
            EXPECT_TRUE(sender.Queue(Picture(n), reason)) << reason;
        if (start)
            sender.Start();
    }
    TestDirectory dir;
    std::atomic<int> port;
    std::atomic<bool> wrongPassword{false};
    std::atomic<int> groupSeconds{0};
    std::string reason;
    Outbox outbox{dir.path() / "data" / "outbox"};
    EventLog log{dir.path() / "events.log", false};
    MailSender sender{outbox, [this](std::string&) {
        MailServer server{"127.0.0.1", port.load(), MailSecurity::None, true, "alarm", "secret"};
        if (wrongPassword.load())
            server.password = "wrong";
        return std::optional<MailSettings>(
            {"alarm@example.net", "owner@example.org", server, std::chrono::seconds(groupSeconds.load())});
    }, log};
};

}  // namespace


// A failing server is left alone longer each time: 10 s, then 20 s.
TEST(MailSender, WaitsLongerEachTimeTheServerFails)
{
    Rig rig(SmtpTestServer().port(), 1);
    ASSERT_TRUE(WaitFor([&] { return LogLines(rig.dir, "next try in 20 s") == 1; }, 25s)) << rig.dir.ReadFile("events.log");
    EXPECT_EQ(LogLines(rig.dir, "; next try in 10 s"), 1u)
        << rig.dir.ReadFile("events.log");
    EXPECT_GT(rig.sender.Status().nextTryIn, 15s);
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
    EXPECT_EQ(LogLines(rig.dir, "mail for picture 1 refused: server refused the sender or recipient; kept, next try "
                                "in 600 s"), 1u);
    rig.sender.Stop();
    EXPECT_EQ(Outbox(rig.outbox.folder()).Count(), 1u);
}

// A refused login stays told until a mail goes through, whatever failed in between.
TEST(MailSender, ARefusalStaysToldUntilAMailGoesThrough)
{
    SmtpTestServer server({.requireAuth = true});
    Rig rig(server.port(), 1, false);
    rig.wrongPassword = true;
    rig.sender.Start();
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().permanent; }));
    EXPECT_EQ(rig.sender.Status().refusal, "authentication failed");
    rig.port = SmtpTestServer().port();   // then the server is away
    rig.sender.RetryNow();
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().lastFailure == "could not connect"; }));
    EXPECT_EQ(rig.sender.Status().refusal, "authentication failed");
    rig.port = server.port(), rig.wrongPassword = false;
    rig.sender.RetryNow();
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 1; }));
    EXPECT_EQ(rig.sender.Status().refusal, "");
}

// Grouped by 3 s: the first picture goes at once, the three that follow within the 3 s in one mail.
TEST(MailSender, GroupsThePicturesOfAPeriodInOneMail)
{
    SmtpTestServer server;
    Rig rig(server.port(), 0, false);
    rig.groupSeconds = 3;
    rig.sender.Start();
    ASSERT_TRUE(rig.sender.Queue(Picture(1), rig.reason)) << rig.reason;
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 1; }));
    for (int n = 2; n <= 4; ++n) {
        ASSERT_TRUE(rig.sender.Queue(Picture(n), rig.reason)) << rig.reason;
        QThread::msleep(300);
    }
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 4; }));
    const std::vector<ReceivedMail> mails = server.Messages();
    ASSERT_EQ(mails.size(), 2u);
    std::vector<std::string> second;
    for (const ReceivedAttachment& attachment : mails[1].attachments)
        second.push_back(attachment.fileName);
    EXPECT_EQ(second, (std::vector<std::string>{"pic_2.jpg", "pic_3.jpg", "pic_4.jpg"}));
}

// Stop cancels a send at once whether the server never says a word or holds its answer to the
// whole message; the entry waits for the next start.
TEST(MailSender, StopDoesNotWaitForTheServer)
{
    for (const Options& options : {Options{.silent = true}, Options{.holdReply = true}}) {
        SmtpTestServer server(options);
        Rig rig(server.port(), 1);
        const char* awaited = options.silent ? "connect" : "held";
        ASSERT_TRUE(WaitFor([&] { return server.Seen(awaited) == 1 && rig.sender.Status().sending; })) << awaited;
        const auto start = std::chrono::steady_clock::now();
        rig.sender.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << awaited;
        const Outbox outbox(rig.outbox.folder());
        ASSERT_EQ(outbox.Ids().size(), 1u);
        std::string problem;
        EXPECT_TRUE(outbox.Read(outbox.Ids()[0], problem)->pictureBytes == PictureBytes(1)) << problem;
    }
}

// A backlog larger than the server takes arrives whole, byte for byte, in messages it takes, with
// a limit it announces (SIZE) or one it only names when it refuses; an alarm queued meanwhile too.
TEST(MailSender, SplitsABacklogIntoMessagesTheServerTakes)
{
    for (bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "SIZE announced" : "size named in the refusal");
        SmtpTestServer server({.sizeLimit = 300000, .announceSize = announced});
        Rig rig(server.port(), 0, false);
        for (int n = 1; n <= 12; ++n)   // 12 pictures of 40 KB: about 650 KB as sent
            ASSERT_TRUE(rig.sender.Queue(Picture(n, 40000), rig.reason));
        rig.sender.Start();
        ASSERT_TRUE(rig.sender.Queue(Picture(13), rig.reason));
        ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 13; })) << rig.dir.ReadFile("events.log");
        const std::map<std::string, std::string> received = Received(server);
        EXPECT_EQ(received.size(), 13u);
        for (int n = 1; n <= 13; ++n)
            EXPECT_TRUE(received.count("pic_" + std::to_string(n) + ".jpg")
                        && received.at("pic_" + std::to_string(n) + ".jpg") == Picture(n, n == 13 ? 20000 : 40000).pictureBytes) << n;
        EXPECT_GE(server.Messages().size(), 3u);
        EXPECT_EQ(rig.outbox.Count(), 0u);
        EXPECT_EQ(rig.sender.Status().lastFailure, "");
    }
}

// A picture the server refuses for its size even alone is set aside, told and logged; the
// pictures before and after it, and one taken meanwhile, arrive.
TEST(MailSender, SetsAsideAPictureTooBigEvenAlone)
{
    for (bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "SIZE announced" : "size named in the refusal");
        SmtpTestServer server({.sizeLimit = 100000, .announceSize = announced});
        Rig rig(server.port(), 0, false);
        for (const OutboxEntry& entry : {Picture(1), Picture(2, 200000), Picture(3)})
            ASSERT_TRUE(rig.sender.Queue(entry, rig.reason));
        rig.sender.Start();
        ASSERT_TRUE(rig.sender.Queue(Picture(4), rig.reason));
        ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 3 && rig.sender.Status().waiting == 0; }))
            << rig.dir.ReadFile("events.log");
        const std::map<std::string, std::string> received = Received(server);
        EXPECT_EQ(received.size(), 3u);
        for (int n : {1, 3, 4})
            EXPECT_TRUE(received.count("pic_" + std::to_string(n) + ".jpg")) << n;
        EXPECT_EQ(rig.sender.Status().setAside, "picture 2 too big for the server");
        EXPECT_EQ(LogLines(rig.dir, "mail for picture 2 set aside: too big for the server"), 1u);
        const Outbox rejected(rig.outbox.rejectedFolder());
        ASSERT_EQ(rejected.Ids().size(), 1u);
        std::string problem;
        EXPECT_TRUE(rejected.Read(rejected.Ids()[0], problem)->pictureBytes == PictureBytes(2, 200000));
    }
}

// Files in the outbox that are not whole entries of a known kind with a JPEG picture are moved to
// "rejected", one log line each, never mailed nor counted; a FIFO among them blocks nothing.
TEST(MailSender, SetsAsideWhatIsNotAMail)
{
    const int nobodyListens = SmtpTestServer().port();
    Rig rig(nobodyListens, 1, false);
    std::string random(1 << 20, '\0');
    std::mt19937 generator(15);
    std::generate(random.begin(), random.end(), [&] { return static_cast<char>(generator()); });
    const std::string header = "pictureNumber: 9\nkind: picture\npictureName: pic_9.jpg\ntakenAt: now\nnote: \n\n";
    const std::pair<std::string, std::string> junk[] = {
        {"0-random.mail", random},
        {"0-nameless.mail", "pictureNumber: 9\nkind: picture\npictureName: \n\n" + PictureBytes(9)},
        {"0-kind.mail", "pictureNumber: 9\nkind: Your files are encrypted\npictureName: pic_9.jpg\n\n" + PictureBytes(9)},
        {"0-notjpeg.mail", header + "GIF89a" + random.substr(0, 5000)},
        {"0-half.mail", header + PictureBytes(9).substr(0, 1000)},
        {"0-empty.mail", ""}};
    for (const auto& [name, bytes] : junk)
        rig.dir.WriteFile("data/outbox/" + name, bytes);
    ASSERT_EQ(::mkfifo((rig.outbox.folder() / "0-fifo.mail").c_str(), 0600), 0);
    rig.sender.Start();
    ASSERT_TRUE(WaitFor([&] { return !rig.sender.Status().lastFailure.empty(); }));
    EXPECT_EQ(rig.sender.Status().waiting, 1u) << "only the picture counts";
    SmtpTestServer server({.port = nobodyListens});
    rig.sender.RetryNow();
    ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 1; }));
    EXPECT_EQ(Received(server).size(), 1u);
    EXPECT_EQ(server.Messages().at(0).subject, "Sentivo: a picture was taken");
    EXPECT_EQ(rig.outbox.Count(), 0u);
    EXPECT_EQ(Outbox(rig.outbox.rejectedFolder()).Count(), std::size(junk) + 1);
    EXPECT_EQ(LogLines(rig.dir, "is not a mail Sentivo sends"), std::size(junk) + 1) << rig.dir.ReadFile("events.log");
}

// An outbox that cannot be written costs no mail: the pictures are kept in memory and sent from
// there, the problem told once; once it can be written again, what waits is stored in it.
TEST(MailSender, AnOutboxThatCannotBeWrittenCostsNoMail)
{
    enum Way { TakenByAFile, ReadOnly };
    for (Way way : {TakenByAFile, ReadOnly}) {
        if (way == ReadOnly && ::geteuid() == 0) {
            std::cout << "the read-only row is left out: root writes in a read-only folder (tests/app mounts one)\n";
            continue;
        }
        const int nobodyListens = SmtpTestServer().port();
        Rig rig(nobodyListens, 0, false);
        if (way == TakenByAFile) {
            fs::create_directories(rig.outbox.folder().parent_path());
            rig.dir.WriteFile("data/outbox", "a file");
        } else {
            fs::create_directories(rig.outbox.folder());
            fs::permissions(rig.outbox.folder(), fs::perms::owner_read | fs::perms::owner_exec);
        }
        for (int n : {1, 2})
            ASSERT_TRUE(rig.sender.Queue(Picture(n), rig.reason)) << rig.reason;
        rig.sender.Start();
        ASSERT_TRUE(WaitFor([&] { return !rig.sender.Status().lastFailure.empty(); }));
        EXPECT_EQ(rig.sender.Status().inMemory, 2u);
        EXPECT_NE(rig.sender.Status().outboxProblem, "");
        EXPECT_EQ(LogLines(rig.dir, "mails are kept in memory"), 1u) << rig.dir.ReadFile("events.log");

        std::optional<SmtpTestServer> server(Options{.port = nobodyListens});   // sent from memory
        rig.sender.RetryNow();
        ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 2; }));
        ASSERT_TRUE(rig.sender.Queue(Picture(3), rig.reason));
        ASSERT_TRUE(WaitFor([&] { return rig.sender.Status().sent == 3; }));
        EXPECT_EQ(Received(*server).size(), 3u);
        EXPECT_EQ(LogLines(rig.dir, "mails are kept in memory"), 1u) << "told once";

        server.reset();   // picture 4 waits in memory until the outbox can be written
        ASSERT_TRUE(rig.sender.Queue(Picture(4), rig.reason));
        if (way == TakenByAFile)
            fs::remove(rig.outbox.folder());
        else
            fs::permissions(rig.outbox.folder(), fs::perms::owner_all);
        ASSERT_TRUE(rig.sender.Queue(Picture(5), rig.reason));
        ASSERT_TRUE(WaitFor([&] { return rig.outbox.Count() == 2 && rig.sender.Status().outboxProblem.empty(); }))
            << "picture 4, kept in memory, is stored once the outbox can be written";
        EXPECT_EQ(LogLines(rig.dir, "can be written again"), 1u);
    }
}
