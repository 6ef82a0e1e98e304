// The journal as the program leaves it: after damage to its file, with delivery states changing
// and events deleted with their files. (A kill -9 mid-run: the armed program's own test.)

#include "journal/Journal.h"
#include "journal/JournalReader.h"
#include "tests/support/TestDirectory.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

fs::path JournalIn(const TestDirectory& dir) { return dir.dataHome() / "Corvane" / "Sentivo" / "journal.sqlite"; }

void WriteBytes(const fs::path& file, const std::string& bytes, std::streamoff at = 0)
{
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    if (!out)
        out.open(file, std::ios::out | std::ios::binary);
    out.seekp(at);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RandomBytes(size_t size)
{
    std::mt19937 random(17);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

JournalContents Read(const fs::path& file)
{
    JournalContents contents;
    std::string reason;
    EXPECT_TRUE(ReadJournal(file, contents, reason)) << reason;
    return contents;
}

}  // namespace

// Whatever stands in the journal's place and cannot be used is moved aside, with the reason, and
// a new journal takes its place and works.
TEST(Journal, UnusableJournalIsMovedAsideAndANewOneWorks)
{
    const auto otherDatabase = [](const fs::path& file) {
        QSqlDatabase database = QSqlDatabase::addDatabase("QSQLITE", "other");
        database.setDatabaseName(QString::fromStdString(file.string()));
        database.open();
        QSqlQuery(database).exec("CREATE TABLE recipes(name TEXT)");
        database.close();
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase("other");
    };
    const auto damagedPages = [](const fs::path& file) {
        JournalOpening opening = Journal::Open(file);
        for (int n = 0; n < 300; ++n)
            opening.journal->Record({.kind = JournalKind::kAlarm, .note = std::string(500, 'n')});
        opening.journal.reset();   // the last connection folds the log into the file
        WriteBytes(file, RandomBytes(4 * 4096), 3 * 4096);
    };
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        const char* reason;
    } cases[] = {
        {"random bytes", [](const fs::path& file) { WriteBytes(file, RandomBytes(64 * 1024)); }, "not a database"},
        {"a folder", [](const fs::path& file) { fs::create_directories(file / "inside"); }, "a folder"},
        {"a FIFO", [](const fs::path& file) { ::mkfifo(file.c_str(), 0600); }, "a FIFO"},
        {"another program's database", otherDatabase, "another database"},
        {"damaged pages", damagedPages, "failed its integrity check: Page "},
    };
    for (const auto& [what, make, reason] : cases) {
        SCOPED_TRACE(what);
        TestDirectory dir;
        const fs::path file = JournalIn(dir);
        fs::create_directories(file.parent_path());
        make(file);
        const fs::file_type damaged = fs::symlink_status(file).type();

        JournalOpening opening = Journal::Open(file);
        ASSERT_TRUE(opening.journal) << opening.note;
        EXPECT_NE(opening.note.find(reason), std::string::npos) << opening.note;
        EXPECT_NE(opening.note.find("moved aside to journal.sqlite.corrupt-"), std::string::npos) << opening.note;
        std::vector<fs::path> aside;
        for (const fs::directory_entry& entry : fs::directory_iterator(file.parent_path()))
            if (entry.path().filename().string().starts_with("journal.sqlite.corrupt-"))
                aside.push_back(entry.path());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(fs::symlink_status(aside[0]).type(), damaged) << "what was there is kept";

        const std::int64_t event = opening.journal->Record({.kind = JournalKind::kCameraLost});
        EXPECT_EQ(opening.journal->Flush(), "");
        opening.journal.reset();
        const JournalContents contents = Read(file);
        ASSERT_EQ(contents.events.size(), 1u);
        EXPECT_EQ(contents.events[0].id, event);
    }
    // A folder that cannot hold a journal: none, and the reason.
    TestDirectory dir;
    WriteBytes(dir.path() / "taken", "a file");
    const JournalOpening opening = Journal::Open(dir.path() / "taken" / "journal.sqlite");
    EXPECT_FALSE(opening.journal);
    EXPECT_NE(opening.note.find("cannot be opened"), std::string::npos) << opening.note;
}

// Each channel's state replaces its earlier one; deleting an event removes it, its states and its
// files (one of them gone already), and nothing of another event.
TEST(Journal, DeliveryStatesUpdateAndDeletingRemovesFiles)
{
    TestDirectory dir;
    const fs::path file = JournalIn(dir), picture = dir.path() / "pic_1.jpg", story = dir.path() / "pic_1-story.jpg",
                   otherStory = dir.path() / "pic_2-story.jpg";
    for (const fs::path& made : {picture, story, otherStory})
        WriteBytes(made, "jpeg");
    JournalOpening opening = Journal::Open(file);
    ASSERT_TRUE(opening.journal) << opening.note;
    Journal& journal = *opening.journal;
    const std::int64_t run = journal.BeginRun("face");
    const std::int64_t alarm = journal.Record({.runId = run, .kind = JournalKind::kAlarm, .pictureNumber = 1,
                                               .picture = picture, .story = story,
                                               .clip = dir.path() / "clip_1.mp4",   // never made
                                               .deliveries = {{.channel = "mail"}}});
    const std::int64_t nearAlarm = journal.Record({.runId = run, .kind = JournalKind::kNearAlarm, .story = otherStory});

    const struct {
        JournalDelivery delivery;
        std::map<std::string, std::pair<DeliveryState, std::string>> expected;
    } steps[] = {
        {{.channel = "push", .state = DeliveryState::Refused, .reason = "403 forbidden"},
         {{"mail", {DeliveryState::Queued, ""}}, {"push", {DeliveryState::Refused, "403 forbidden"}}}},
        {{.channel = "mail", .state = DeliveryState::Sent},
         {{"mail", {DeliveryState::Sent, ""}}, {"push", {DeliveryState::Refused, "403 forbidden"}}}},
        {{.channel = "push", .state = DeliveryState::SetAside, .reason = "too many tries"},
         {{"mail", {DeliveryState::Sent, ""}}, {"push", {DeliveryState::SetAside, "too many tries"}}}},
    };
    for (const auto& [delivery, expected] : steps) {
        journal.SetDelivery(alarm, delivery);
        journal.SetDelivery(12345, delivery);   // no such event: nothing
        ASSERT_EQ(journal.Flush(), "");
        const JournalContents contents = Read(file);
        ASSERT_EQ(contents.events.size(), 2u);
        std::map<std::string, std::pair<DeliveryState, std::string>> states;
        for (const JournalDelivery& got : contents.events[0].deliveries)
            states[got.channel] = {got.state, got.reason};
        EXPECT_EQ(states, expected);
        EXPECT_TRUE(contents.events[1].deliveries.empty());
    }
    journal.EndRun(run, "stopped");
    ASSERT_EQ(journal.Flush(), "");

    std::string reason;
    EXPECT_TRUE(DeleteJournalEvent(file, alarm, reason)) << reason;
    EXPECT_FALSE(fs::exists(picture) || fs::exists(story));
    EXPECT_TRUE(fs::exists(otherStory));
    EXPECT_FALSE(DeleteJournalEvent(file, alarm, reason));
    EXPECT_EQ(reason, "the event is no longer in the journal");
    journal.SetDelivery(alarm, {.channel = "mail", .state = DeliveryState::Sent});   // after deletion: nothing
    ASSERT_EQ(journal.Flush(), "");
    const JournalContents contents = Read(file);
    ASSERT_EQ(contents.events.size(), 1u);
    EXPECT_EQ(contents.events[0].id, nearAlarm);
    EXPECT_EQ(contents.events[0].story, otherStory.string());
    ASSERT_EQ(contents.runs.size(), 1u);
    EXPECT_EQ(std::tie(contents.runs[0].howEnded, contents.runs[0].detectMode), std::tie("stopped", "face"));
    EXPECT_GT(contents.runs[0].endedAt, 0);
}
