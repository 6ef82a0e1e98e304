// The installed program refuses to start where it cannot work (a second copy, no display) and says so first.
#include "tests/app/InstalledProgram.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/ui/panel/PanelHarness.h"

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

// Every file and folder under folder, with the bytes of each file: what a refused copy must leave
// exactly as it found it.
static std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        std::ostringstream bytes;
        if (entry.is_regular_file())
            bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        entries[entry.path().string()] = entry.is_directory() ? "(folder)" : bytes.str();
    }
    return entries;
}

// The paths whose presence or bytes differ between two snapshots.
static std::string Changed(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after)
{
    std::string paths;
    for (const auto* one : {&before, &after})
        for (const auto& [path, bytes] : *one) {
            const auto& other = one == &before ? after : before;
            const auto found = other.find(path);
            if ((found == other.end() || found->second != bytes) && (one == &before || !before.contains(path)))
                paths += " " + path;
        }
    return paths;
}

// How many lines of the event log hold text.
static int CountLines(const TestDirectory& dir, const std::string& text)
{
    const std::string log = dir.ReadFile("data/Corvane/Sentivo/events.log");
    int count = 0;
    for (size_t at = 0; (at = log.find(text, at)) != std::string::npos; at += text.size())
        ++count;
    return count;
}

// Stored settings for an armed run that mails to smtp; a video of a room, an intruder crossing it.
static void StoreRunSettings(const SmtpTestServer& smtp, int intruderFrames)
{
    StoreArmedSettings(smtp.port(), "2.0", "2.0", nullptr);
    WriteRoomVideo("camera.avi", 60, intruderFrames);
}

// A second copy, started while the first holds still (SIGSTOP), is refused with exit 4 (the panel in
// a message box, also printed; --arm printed), changing nothing; the first, let go, mails every picture.
TEST(SecondCopy, IsRefusedAndTheFirstLosesNothing)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    enum Copy { Armed, Panel };
    struct Row { Copy first, second; } const rows[] = {{Armed, Armed}, {Armed, Panel}, {Panel, Armed}};
    for (const Row& row : rows) {
        TestDirectory dir;
        SmtpTestServer smtp;
        StoreRunSettings(smtp, 120);
        const VirtualDisplay display;
        QProcess first;
        first.setProcessEnvironment(row.first == Panel ? display.Environment() : NoDisplay());
        if (row.first == Armed) {   // once it has taken a picture: its outbox and log have something to lose
            first.start(program, {"--arm", "--motion", "--camera", "camera.avi"});
            ASSERT_TRUE(QTest::qWaitFor([] { return fs::exists("pic_1.jpg"); }, 60000)) << "the first copy took no picture";
        } else {   // once its panel shows
            first.start(program, {"--camera", "camera.avi"});
            ASSERT_FALSE(display.Run("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Sentivo V"}).isEmpty());
        }
        const QString refusal = QString("Sentivo is already running (process %1)").arg(first.processId());
        ::kill(first.processId(), SIGSTOP);
        const auto before = Snapshot(dir.path());

        QProcess second;
        second.setProcessEnvironment(row.second == Panel ? display.Environment() : NoDisplay());
        second.start(program, row.second == Panel ? QStringList{} : QStringList{"--arm", "--camera", "camera.avi"});
        if (row.second == Panel) {   // its only window: the message box, captioned as every one
            const QString windows = display.Run(
                "xdotool", {"search", "--sync", "--onlyvisible", "--pid", QString::number(second.processId())});
            ASSERT_EQ(windows.split('\n').size(), 1) << "more than the message box shows: " << windows.toStdString();
            EXPECT_EQ(display.Run("xdotool", {"getwindowname", windows}), "sentivo");
            display.Run("xdotool", {"windowfocus", "--sync", windows, "key", "--clearmodifiers", "Return"});
        }
        ASSERT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1, 4);
        const QString err = second.readAllStandardError();
        EXPECT_TRUE(err.contains("sentivo: " + refusal + "\n")) << err.toStdString();
        EXPECT_EQ(Changed(before, Snapshot(dir.path())), "") << "the refused copy changed these";

        ::kill(first.processId(), SIGCONT);
        if (row.first == Panel)
            first.terminate();
        ASSERT_TRUE(first.waitForFinished(60000));
        EXPECT_TRUE(first.exitStatus() == QProcess::NormalExit && first.exitCode() == 0);
        EXPECT_EQ(CountLines(dir, "surveillance armed"), row.first == Armed ? 1 : 0) << "armed by the first copy only";
        if (row.first == Panel)
            continue;
        // Each picture of the first copy arrives whole, and no other: those the video's end left in
        // the outbox go out with the next start, which sends them unarmed.
        std::map<std::string, std::string> pictures, mailed;
        for (int n = 1; fs::exists("pic_" + std::to_string(n) + ".jpg"); ++n)
            pictures["pic_" + std::to_string(n) + ".jpg"] = dir.ReadFile("pic_" + std::to_string(n) + ".jpg");
        EXPECT_GE(pictures.size(), 2u) << "an intruder seen for 6 s fires the alarm more than once";
        const auto allMailed = [&] {
            mailed.clear();
            for (const ReceivedMail& mail : smtp.Messages())
                for (const ReceivedAttachment& attachment : mail.attachments)
                    if (IsPictureName(attachment.fileName))
                        mailed[attachment.fileName] = attachment.bytes;
            return mailed.size() >= pictures.size();
        };
        if (!allMailed()) {
            QProcessEnvironment offscreen = NoDisplay();
            offscreen.insert("QT_QPA_PLATFORM", "offscreen");
            QProcess next;
            next.setProcessEnvironment(offscreen);
            next.start(program, {"--camera", "camera.avi"});
            EXPECT_TRUE(QTest::qWaitFor(allMailed, 30000));
            next.terminate();
            EXPECT_TRUE(next.waitForFinished(30000) && next.exitStatus() == QProcess::NormalExit && next.exitCode() == 0);
        }
        EXPECT_TRUE(mailed == pictures) << mailed.size() << " of " << pictures.size() << " pictures mailed as taken";
    }
}

// A copy that was killed holds nothing: the next one takes the lock over and runs.
TEST(SecondCopy, TakesOverFromAKilledCopy)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    SmtpTestServer smtp;
    StoreRunSettings(smtp, 400);   // 20 s of an intruder: the runs are ended by signals
    for (int run = 1; run <= 2; ++run) {   // the first killed once armed, the second stopped
        QProcess sentivo;
        sentivo.setProcessEnvironment(NoDisplay());
        sentivo.start(program, {"--arm", "--motion", "--camera", "camera.avi"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return CountLines(dir, "surveillance armed") == run; }, 60000))
            << "run " << run << " did not arm: " << sentivo.readAllStandardError().toStdString();
        ::kill(sentivo.processId(), run == 1 ? SIGKILL : SIGTERM);
        ASSERT_TRUE(sentivo.waitForFinished(60000));
        EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, run == 1 ? -1 : 0);
    }
}

// Without a display the panel cannot show: the program says so, with the command line that runs
// without one, and exits 1 before it makes or reads anything. A platform that needs no display
// (offscreen, as the tests use) is not refused.
TEST(NoDisplay, ExitsNamingTheArmCommand)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    struct Row { const char *name, *value; } const rows[] = {
        {nullptr, nullptr}, {"QT_QPA_PLATFORM", "xcb"}, {"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ""}};
    for (const Row& row : rows) {
        TestDirectory dir;
        QProcessEnvironment env = NoDisplay();
        if (row.name)
            env.insert(row.name, row.value);
        QProcess sentivo;
        sentivo.setProcessEnvironment(env);
        sentivo.start(program, {});
        ASSERT_TRUE(sentivo.waitForFinished(30000));
        EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, 1);
        const QString err = sentivo.readAllStandardError();
        EXPECT_TRUE(err.contains("needs a display") && err.contains("\n  sentivo --arm")) << err.toStdString();
        EXPECT_FALSE(fs::exists(dir.dataHome())) << "nothing made";
    }
}
