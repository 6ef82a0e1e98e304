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

// Entries survive the object, oldest first, byte for byte; a half-written one is cleared away; a
// text that would add a line of its own, an unknown kind or a picture that is not a JPEG is refused.
TEST(Outbox, KeepsWholeEntriesOldestFirst)
{
    TestDirectory dir;
    std::string reason;
    const std::string bytes[] = {Jpeg("\r\n.\r\n\n\n one"), Jpeg(std::string(70000, '\n'))};
    for (int n : {1, 2}) {
        OutboxEntry entry{.pictureNumber = n, .takenAt = "2026-12-07 03:12:0" + std::to_string(n), .note = "n",
                          .pictureBytes = bytes[n - 1]};
        ASSERT_TRUE(Outbox(dir.path()).Add(entry, reason)) << reason;
    }
    dir.WriteFile("1-0.tmp", "half an entry");
    const std::pair<OutboxEntry, const char*> refused[] = {
        {{.takenAt = "now\nkind: other", .pictureBytes = Jpeg("")}, "the entry's takenAt holds a line break"},
        {{.kind = "ransom note", .pictureBytes = Jpeg("")}, "unknown kind \"ransom note\""},
        {{.pictureBytes = "GIF89a"}, "the picture is not a JPEG"}};
    for (auto [entry, why] : refused) {
        EXPECT_FALSE(Outbox(dir.path()).Add(entry, reason));
        EXPECT_EQ(reason, why);
    }
    const Outbox outbox(dir.path());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "1-0.tmp"));
    const std::vector<std::string> ids = outbox.Ids();
    ASSERT_EQ(ids.size(), 2u);
    for (int i : {0, 1}) {
        const std::optional<OutboxEntry> entry = outbox.Read(ids[i], reason);
        ASSERT_TRUE(entry) << reason;
        EXPECT_EQ(entry->pictureNumber, i + 1);
        EXPECT_EQ(entry->pictureName + " " + entry->takenAt + " " + entry->kind + " " + entry->note,
                  "pic_" + std::to_string(i + 1) + ".jpg 2026-12-07 03:12:0" + std::to_string(i + 1) + " picture n");
        EXPECT_TRUE(entry->pictureBytes == bytes[i]);
    }
}

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
