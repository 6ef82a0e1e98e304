// The outbox's files as the disk sees them: whole entries oldest first, each appearing only by a
// rename, never a half-written one; and the event log that records what the sender did.
#include "log/EventLog.h"
#include "mail/Outbox.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

std::string Jpeg(const std::string& inside)
{
    return "\xff\xd8\xff" + inside + "\xff\xd9";
}

}  // namespace


// A reader (the sender, a crash's next start) must never see a half-written entry: its name
// appears only by a rename of a file already written whole.
TEST(Outbox, AnEntryAppearsOnlyByARename)
{
    TestDirectory dir;
    std::filesystem::create_directory(dir.path() / "outbox");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (dir.path() / "outbox").c_str(), IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    OutboxEntry entry{.pictureNumber = 7, .pictureBytes = Jpeg(std::string(300000, 'x'))};
    std::string reason;
    ASSERT_TRUE(Outbox(dir.path() / "outbox").Add(entry, reason)) << reason;
    std::vector<std::string> seen;
    alignas(inotify_event) char buffer[16384];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
        for (char* at = buffer; at < buffer + n; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
            const auto* event = reinterpret_cast<inotify_event*>(at);
            const std::string name = event->len ? event->name : "";
            if (name.ends_with(".mail"))
                seen.push_back(event->mask & IN_MOVED_TO ? "renamed into place" : "written in place");
        }
    ::close(watch);
    EXPECT_EQ(seen, std::vector<std::string>{"renamed into place"});
}

// An entry the mail and MQTT both owe stays until both have it, whichever goes first; an entry of
// an earlier version (no channels named) is the mail's.
TEST(Outbox, AnEntryGoesOnceEveryChannelItNamesHasIt)
{
    TestDirectory dir;
    Outbox outbox(dir.path() / "outbox");
    for (const auto& order : {std::vector<std::string>{"mail", "mqtt"}, {"mqtt", "mail"}}) {
        OutboxEntry entry{.pictureNumber = 3, .pictureBytes = Jpeg("x"), .channels = {"mail", "mqtt"}};
        std::string reason;
        ASSERT_TRUE(outbox.Add(entry, reason)) << reason;
        ASSERT_TRUE(outbox.Settle(entry.id, order[0], reason)) << reason;
        const std::optional<OutboxEntry> left = outbox.Read(entry.id, reason);
        ASSERT_TRUE(left) << reason;
        EXPECT_EQ(left->channels, std::vector<std::string>{order[1]});
        EXPECT_EQ(left->pictureBytes, Jpeg("x"));
        ASSERT_TRUE(outbox.Settle(entry.id, order[1], reason)) << reason;
        EXPECT_EQ(outbox.Count(), 0u);
    }
    dir.WriteFile("outbox/000000000000001-000000000.mail", "pictureNumber: 4\nkind: picture\npictureName: pic_4.jpg\n\n"
                                                          + Jpeg("y"));
    std::string problem;
    const std::optional<OutboxEntry> old = outbox.Read("000000000000001-000000000", problem);
    ASSERT_TRUE(old) << problem;
    EXPECT_EQ(old->channels, std::vector<std::string>{"mail"});
    // Push turned off: the entry it alone owed goes, the mail's stays the mail's.
    OutboxEntry both{.pictureNumber = 5, .pictureBytes = Jpeg("z"), .channels = {"mail", "push"}};
    OutboxEntry pushOnly{.pictureNumber = 6, .pictureBytes = Jpeg("z"), .channels = {"push"}};
    ASSERT_TRUE(outbox.Add(both, problem) && outbox.Add(pushOnly, problem)) << problem;
    EXPECT_EQ(outbox.Release({"push"}), 2u);
    EXPECT_EQ(outbox.Ids(), (std::vector<std::string>{"000000000000001-000000000", both.id}));
    EXPECT_EQ(outbox.Read(both.id, problem)->channels, std::vector<std::string>{"mail"});
}

// One event, one line: a value holding a line break (a setting, a server's answer) cannot forge a
// line of its own, nor a terminal escape reach whoever reads the log.
TEST(EventLog, WritesEachEventOnOneLine)
{
    TestDirectory dir;
    EventLog log(dir.path() / "events.log", false);
    log.Write("settings problem: server \"a.net\n2026-12-07 03:12:01  run ended: stopped\" \x1b[2J C:\\x\t.");
    const std::string text = dir.ReadFile("events.log");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_TRUE(text.ends_with("  settings problem: server \"a.net\\n2026-12-07 03:12:01  run ended: stopped\" "
                               "\\x1b[2J C:\\\\x\\t.\n")) << text;
}
