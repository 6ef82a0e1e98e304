// Push per alarm episode (PushPlan), and the push channel against a real server on loopback: a
// server away and back, a picture too big for it.
#include "log/EventLog.h"
#include "mail/PushChannel.h"
#include "tests/support/PushTestServer.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QThread>

using namespace std::chrono_literals;
using Clock = PushPlan::Clock;

namespace {

PushCandidate Picture(const char* id, std::int64_t episode) { return {id, true, episode}; }
PushCandidate Alert(const char* id) { return {id, false, 0}; }

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s)
{
    for (const QDeadlineTimer deadline(timeout); !done() && !deadline.hasExpired();)
        QThread::msleep(10);
    return done();
}

}  // namespace

TEST(PushPlan, AnEpisodesFirstPictureGoesAtOnceThenItsLatestOnceAMinute)
{
    const Clock::time_point t0 = Clock::now();
    PushPlan plan;
    // Episode 1 opened by picture a, pushed at t0.
    plan.Sent(Picture("a", 1), t0);
    const std::vector<PushCandidate> waiting{Picture("b", 1), Picture("c", 1), Alert("lost"), Picture("d", 1),
                                             Picture("e", 5)};
    struct Case {
        const char* what;
        std::vector<PushCandidate> waiting;
        Clock::duration after;
        std::string send;
        std::vector<std::string> superseded;
        Clock::duration wake;
    } cases[] = {
        {"the episode's updates wait for the minute, an alert does not", {waiting[0], waiting[1], waiting[2]}, 5s, "lost", {}, {}},
        {"a new episode goes at once", {waiting[0], waiting[4]}, 5s, "e", {}, {}},
        {"within the minute nothing goes", {waiting[0], waiting[1]}, 59s, "", {}, 60s},
        {"after it the latest goes for the others", {waiting[0], waiting[1], waiting[3]}, 60s, "d", {"b", "c"}, {}},
    };
    for (const Case& c : cases) {
        const PushPlan::Step step = plan.Next(c.waiting, t0 + c.after);
        EXPECT_EQ(step.send, c.send) << c.what;
        EXPECT_EQ(step.superseded, c.superseded) << c.what;
        if (c.send.empty())
            EXPECT_EQ(step.wakeAt, t0 + c.wake) << c.what;
    }
}

TEST(PushPlan, AFailingServerWaitsLongerEachTimeButANewEntryOnlyTenSeconds)
{
    const Clock::time_point t0 = Clock::now();
    PushPlan plan;
    const std::vector<PushCandidate> waiting{Alert("lost")};
    EXPECT_EQ(plan.Failed(t0), 10s);
    EXPECT_EQ(plan.Failed(t0), 20s);
    EXPECT_EQ(plan.Failed(t0), 40s);
    EXPECT_EQ(plan.Next(waiting, t0 + 39s).wakeAt, t0 + 40s);
    plan.Added();
    EXPECT_EQ(plan.Next(waiting, t0 + 9s).wakeAt, t0 + 10s);
    EXPECT_EQ(plan.Next(waiting, t0 + 10s).send, "lost");
}

// The server away when the alert comes: it waits in the outbox, and goes once the server is back.
TEST(PushChannel, AnAlertWaitsForTheServerAndGoesWhenItIsBack)
{
    TestDirectory dir;
    EventLog log(dir.path() / "events.log", false);
    Outbox outbox(dir.path() / "outbox");
    PushTestServer server;
    server.Stop();
    OutboxEntry alert{.kind = "camera lost", .takenAt = "2026-12-07 03:12:01", .note = "Camera lost since 03:12:01",
                      .channels = {kPushChannel}};
    std::string reason;
    ASSERT_TRUE(outbox.Add(alert, reason)) << reason;
    PushChannel channel({server.url(), ""}, "hall", outbox, log);
    channel.Start();
    ASSERT_TRUE(WaitFor([&] { return !channel.Status().lastFailure.empty(); }));
    EXPECT_EQ(outbox.Count(), 1u);
    server.Start();
    ASSERT_TRUE(WaitFor([&] { return channel.Status().sent == 1; }, 40s)) << dir.ReadFile("events.log");
    const std::vector<ReceivedPush> pushes = server.Received();
    ASSERT_EQ(pushes.size(), 1u);
    EXPECT_EQ(pushes[0].method, "PUT");
    EXPECT_EQ(pushes[0].Header("Title"), "Sentivo: camera lost in hall");
    EXPECT_EQ(pushes[0].body, "Camera lost since 03:12:01");
    EXPECT_EQ(outbox.Count(), 0u);
    EXPECT_NE(dir.ReadFile("events.log").find("push works again"), std::string::npos);
}

// A server taking 1000 bytes at most: the picture's notification goes without it, saying so.
TEST(PushChannel, APictureTooBigForTheServerGoesWithoutIt)
{
    TestDirectory dir;
    EventLog log(dir.path() / "events.log", false);
    Outbox outbox(dir.path() / "outbox");
    PushTestServer server(1000);
    OutboxEntry picture{.pictureNumber = 3, .takenAt = "2026-12-07 03:12:01",
                        .pictureBytes = "\xff\xd8\xff" + std::string(5000, 'p') + "\xff\xd9", .channels = {kPushChannel}};
    std::string reason;
    ASSERT_TRUE(outbox.Add(picture, reason)) << reason;
    PushChannel channel({server.url(), ""}, "hall", outbox, log);
    channel.Start();
    ASSERT_TRUE(WaitFor([&] { return channel.Status().sent == 1; }));
    const std::vector<ReceivedPush> pushes = server.Received();
    ASSERT_EQ(pushes.size(), 1u);
    EXPECT_EQ(pushes[0].Header("Priority"), "urgent");
    EXPECT_EQ(pushes[0].Header("Filename"), "");
    EXPECT_EQ(pushes[0].body,
              "Picture 3 taken at 2026-12-07 03:12:01 (the picture is too big for the push server)");
}
