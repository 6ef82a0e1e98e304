// The installed program's mail path: SIGTERM while the server holds its reply; an outbox it cannot write.
#include "mail/Outbox.h"
#include "tests/app/InstalledProgram.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/ui/panel/PanelHarness.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <map>

namespace fs = std::filesystem;

namespace {

// Settings for an armed run mailing to port, a video of stillFrames then movingFrames of an
// intruder then stillFrames again, and the environment without a display.
QProcessEnvironment ArmedRun(int port, int stillFrames, int movingFrames)
{
    StoreArmedSettings(port, "1.0", "1.0");
    cv::VideoWriter writer("camera.avi", cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 20.0, cv::Size(320, 240));
    for (int i = 0; i < 2 * stillFrames + movingFrames; ++i) {
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(90));
        if (i >= stillFrames && i < stillFrames + movingFrames)
            cv::rectangle(frame, cv::Rect(i * 12 % 240, 60, 80, 100), cv::Scalar::all(255), cv::FILLED);
        writer.write(frame);
    }
    return NoDisplay();
}

}  // namespace

// The server takes the whole message and never answers: the pictures keep coming, SIGTERM still ends
// the program at once (this bound is the feature), and the mail waits in the outbox for the next start.
TEST(MailPath, SigtermEndsTheProgramWhileTheServerHoldsItsAnswer)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    SmtpTestServer smtp({.holdReply = true});
    QProcess sentivo;
    sentivo.setProcessEnvironment(ArmedRun(smtp.port(), 40, 400));
    sentivo.start(program, {"--arm", "--camera", "camera.avi"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return smtp.Seen("held") >= 1; }, 60000)) << "no mail reached the server";
    const auto pictures = [] { int n = 0; while (fs::exists("pic_" + std::to_string(n + 1) + ".jpg")) ++n; return n; };
    const int taken = pictures();
    EXPECT_TRUE(QTest::qWaitFor([&] { return pictures() >= taken + 2; }, 30000)) << "pictures go on while a mail is held";
    QElapsedTimer stopping;
    stopping.start();
    ::kill(sentivo.processId(), SIGTERM);
    ASSERT_TRUE(sentivo.waitForFinished(30000));
    EXPECT_LT(stopping.elapsed(), 5000) << "ms from SIGTERM to the end";
    const QString err = sentivo.readAllStandardError();
    EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, 0) << err.toStdString();
    EXPECT_GE(Outbox(dir.dataHome() / "Corvane/Sentivo/outbox").Count(), 1u) << "the held mail waits for the next start";
}

// The outbox on a read-only or a full file system: every picture is mailed all the same, from
// memory, and the problem is logged once.
TEST(MailPath, AnOutboxThatCannotBeWrittenStillMailsEveryPicture)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    if (!CanMountTmpfs())
        GTEST_SKIP() << "this machine lets no test mount a tmpfs";
    const std::pair<const char*, const char*> rows[] = {
        {"read-only", "mount -t tmpfs -o ro tmpfs \"$0\""},
        {"full", "mount -t tmpfs -o size=12k tmpfs \"$0\" && { head -c 16384 /dev/zero >\"$0/filler\" 2>/dev/null; true; }"}};
    for (const auto& [name, mount] : rows) {
        SCOPED_TRACE(name);
        TestDirectory dir;
        SmtpTestServer smtp;
        QProcess sentivo;
        sentivo.setProcessEnvironment(ArmedRun(smtp.port(), 40, 80));
        const fs::path outbox = dir.dataHome() / "Corvane/Sentivo/outbox";
        fs::create_directories(outbox);
        sentivo.start("unshare", QStringList{"-rm", "sh", "-c", QString(mount) + " && shift && exec \"$@\"",
                                             QString::fromStdString(outbox.string()), "--", program, "--arm",
                                             "--camera", "camera.avi"});
        ASSERT_TRUE(sentivo.waitForFinished(60000));
        const QString err = sentivo.readAllStandardError();
        EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, 0) << err.toStdString();
        std::vector<std::string> pictures;
        for (std::string file; fs::exists(file = "pic_" + std::to_string(pictures.size() + 1) + ".jpg");)
            pictures.push_back(file);
        EXPECT_GE(pictures.size(), 2u) << err.toStdString();
        std::map<std::string, std::string> mailed;
        for (const ReceivedMail& mail : smtp.Messages())
            for (const ReceivedAttachment& attachment : mail.attachments)
                mailed[attachment.fileName] = attachment.bytes;
        for (const std::string& picture : pictures)
            EXPECT_TRUE(mailed.count(picture) && mailed[picture] == dir.ReadFile(picture)) << picture << " not mailed";
        EXPECT_EQ(err.count("mails are kept in memory"), 1) << err.toStdString();
    }
}
