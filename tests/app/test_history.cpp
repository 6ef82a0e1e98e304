// The journal as the installed sentivo --arm writes it: a crossing too short for the alarm is a
// near alarm there, and a kill -9 mid-run leaves a journal that opens and holds every picture taken.
#include "journal/Journal.h"   // DefaultJournalFile
#include "journal/JournalReader.h"
#include "tests/app/InstalledProgram.h"
#include "tests/support/SmtpTestServer.h"

#include <QProcess>

#include <algorithm>
#include <csignal>
#include <set>

namespace fs = std::filesystem;

namespace {

std::vector<const JournalEvent*> OfKind(const JournalContents& contents, const std::string& kind)
{
    std::vector<const JournalEvent*> events;
    for (const JournalEvent& event : contents.events)
        if (event.kind == kind)
            events.push_back(&event);
    return events;
}

JournalContents ReadTheJournal()
{
    JournalContents contents;
    std::string reason;
    EXPECT_TRUE(ReadJournal(DefaultJournalFile(), contents, reason)) << reason;
    return contents;
}

}  // namespace

// 6 s in sight with 10 s needed: no picture and no mail, but a near alarm with its story sheet.
TEST(History, ACrossingTooShortForTheAlarmIsANearAlarmInTheJournal)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    SmtpTestServer smtp;
    StoreArmedSettings(smtp.port(), "0.5", "10.0");
    WriteCrossing("camera.avi", 40, 160, 400);
    QProcess sentivo;
    StartArmed(sentivo);
    ASSERT_TRUE(sentivo.waitForFinished(60000));
    const std::string err = sentivo.readAllStandardError().toStdString();
    EXPECT_EQ(sentivo.exitCode(), 0) << err;

    const JournalContents journal = ReadTheJournal();
    ASSERT_EQ(journal.runs.size(), 1u) << err;
    EXPECT_EQ(journal.runs[0].howEnded, "the video file ended");
    EXPECT_EQ(journal.runs[0].detectMode, "motion");
    const auto near = OfKind(journal, JournalKind::kNearAlarm);
    ASSERT_EQ(near.size(), 1u) << err;
    EXPECT_EQ(near[0]->runId, journal.runs[0].id);
    EXPECT_TRUE(fs::is_regular_file(near[0]->story)) << near[0]->story;
    EXPECT_TRUE(OfKind(journal, JournalKind::kAlarm).empty());
    EXPECT_FALSE(fs::exists("pic_1.jpg"));
    for (const ReceivedMail& mail : smtp.Messages())
        ADD_FAILURE() << "no alert, yet mailed: " << mail.subject;
}

// Killed while pictures are being taken: the journal is whole, is not moved aside when opened
// again, and names every picture in the folder, each with its mail's state.
TEST(History, AKilledRunLeavesAJournalWithEveryPictureTaken)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    SmtpTestServer smtp;
    StoreArmedSettings(smtp.port(), "0.5", "1.0");
    WriteCrossing("camera.avi", 20, 600, 600);
    QProcess sentivo;
    StartArmed(sentivo);
    ASSERT_TRUE(QTest::qWaitFor([] { return fs::exists("pic_4.jpg"); }, 40000)) << sentivo.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(sentivo.processId()), SIGKILL);
    ASSERT_TRUE(sentivo.waitForFinished(5000));

    std::set<std::string> taken;
    for (const fs::directory_entry& file : fs::directory_iterator(dir.path()))
        if (IsPictureName(file.path().filename().string()))
            taken.insert(fs::absolute(file.path()).lexically_normal().string());
    const JournalContents journal = ReadTheJournal();
    ASSERT_EQ(journal.runs.size(), 1u);
    EXPECT_EQ(journal.runs[0].endedAt, 0) << "it never ended";
    std::set<std::string> recorded;
    for (const JournalEvent* alarm : OfKind(journal, JournalKind::kAlarm)) {
        recorded.insert(fs::absolute(alarm->picture).lexically_normal().string());
        EXPECT_EQ(alarm->runId, journal.runs[0].id);
        ASSERT_LE(alarm->deliveries.size(), 1u) << "the mail's, unless killed before it was queued";
        for (const JournalDelivery& delivery : alarm->deliveries) {
            EXPECT_EQ(delivery.channel, "mail");
            EXPECT_NE(delivery.state, DeliveryState::Refused) << delivery.reason;
        }
    }
    EXPECT_EQ(recorded, taken);
    const auto sent = std::count_if(journal.events.begin(), journal.events.end(), [](const JournalEvent& event) {
        return !event.deliveries.empty() && event.deliveries[0].state == DeliveryState::Sent;
    });
    EXPECT_GE(sent, 1) << "the mails that went before the kill are told sent";

    // The next start opens it as it is and writes on: here an arming that fails at once.
    QProcess next;
    StartArmed(next, "missing.avi");
    ASSERT_TRUE(next.waitForFinished(30000));
    EXPECT_EQ(next.exitCode(), 3) << next.readAllStandardError().toStdString();
    const JournalContents after = ReadTheJournal();
    EXPECT_EQ(after.events.size(), journal.events.size() + 1) << "not moved aside";
    EXPECT_EQ(after.events.back().kind, JournalKind::kArmingFailed);
}
