// Arming as the installed program does it: the camera opened before the countdown, the area kept, pictures never lost.
#include "app/DefaultSurveillanceEnvironment.h"
#include "log/EventLog.h"
#include "mail/MailSender.h"
#include "settings/AppPaths.h"
#include "tests/app/InstalledProgram.h"
#include "tests/support/MjpegTestServer.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/ui/panel/PanelHarness.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <csignal>
#include <iostream>

namespace fs = std::filesystem;

namespace {

void StoreRunSettings(const SmtpTestServer* smtp, const char* leaveRoom = "0.5")
{
    StoreArmedSettings(smtp ? smtp->port() : 9, leaveRoom, "1.0");
    WriteNamedSetting(SETTING_SEND_EMAILS, smtp ? "1" : "0");
}

// Waits until the program's standard error, gathered into err, holds text.
bool WaitForOutput(QProcess& program, QString& err, const QString& text, int ms)
{
    return QTest::qWaitFor([&] { return (err += program.readAllStandardError()).contains(text); }, ms);
}

std::vector<std::string> Subjects(const SmtpTestServer& smtp)
{
    std::vector<std::string> subjects;
    for (const ReceivedMail& mail : smtp.Messages())
        subjects.push_back(mail.subject);
    return subjects;
}

// The whole entries waiting in outbox, oldest first.
std::vector<OutboxEntry> Waiting(const Outbox& outbox)
{
    std::vector<OutboxEntry> entries;
    for (const std::string& id : outbox.Ids()) {
        std::string problem;
        if (std::optional<OutboxEntry> entry = outbox.Read(id, problem))
            entries.push_back(std::move(*entry));
    }
    return entries;
}

// A recording that cannot be read is told at once: no countdown, exit status 3.
TEST(Arming, AnUnreadableRecordingEndsTheProgramBeforeTheCountdown)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    for (const char* camera : {"broken.avi", "missing.avi"}) {
        TestDirectory dir;
        dir.WriteFile("broken.avi", std::string(50000, '\x5a'));
        StoreRunSettings(nullptr, "30.0");   // a countdown the test would notice
        QProcess sentivo;
        sentivo.setProcessEnvironment(NoDisplay());
        sentivo.start(program, {"--arm", "--camera", camera});
        ASSERT_TRUE(sentivo.waitForFinished(20000)) << camera << ": counted down";
        const QString err = sentivo.readAllStandardError();
        EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, 3) << err.toStdString();
        EXPECT_TRUE(err.contains("Could not find camera! Please plug a camera in and try again.")) << err.toStdString();
        EXPECT_FALSE(err.contains("Leave the room")) << err.toStdString();
    }
}

// A service started before its camera: armed on a stream nobody serves yet, it says the camera is lost (log,
// one mail), arms when the stream appears, and takes and mails pictures of what moves in it.
TEST(Arming, AStreamThatAppearsLaterIsWaitedForAndWatched)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    SmtpTestServer smtp;
    StoreRunSettings(&smtp);
    MjpegTestServer camera;
    camera.Stop();   // its port is known; nobody serves it yet
    QProcess sentivo;
    sentivo.setProcessEnvironment(NoDisplay());
    sentivo.start(program, {"--arm", "--camera", QString::fromStdString(camera.url())});
    QString err;
    ASSERT_TRUE(WaitForOutput(sentivo, err, "Camera lost since", 30000)) << err.toStdString();
    EXPECT_TRUE(err.contains("Leave the room")) << "a live camera missing at the start does not stop the arming";
    camera.Start();
    ASSERT_TRUE(WaitForOutput(sentivo, err, "camera back at", 30000)) << err.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([] { return fs::exists("pic_2.jpg"); }, 30000)) << "no pictures of the stream";
    ASSERT_TRUE(QTest::qWaitFor([&] { return smtp.Messages().size() >= 3; }, 30000)) << "lost, back, a picture";
    ::kill(sentivo.processId(), SIGTERM);
    ASSERT_TRUE(sentivo.waitForFinished(10000));
    err += sentivo.readAllStandardError();
    EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, 0) << err.toStdString();
    const std::vector<std::string> subjects = Subjects(smtp);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "Sentivo: camera lost"), 1);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), "Sentivo: camera back"), 1);
}

// A room video whose only motion is in its right third (a square moving there at 20 frames a second).
void WriteRightSideVideo(const fs::path& file)
{
    cv::VideoWriter writer(file.string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 20.0, cv::Size(320, 240));
    for (int i = 0; i < 140; ++i) {
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(90));
        if (i >= 20)
            cv::rectangle(frame, cv::Rect(220 + i * 7 % 40, 60 + i * 5 % 60, 50, 60), cv::Scalar::all(255), cv::FILLED);
        writer.write(frame);
    }
}

// sentivo --arm watches the detection area (MASK_FILE) as the panel does: motion only outside it takes no
// picture, motion inside it does.
TEST(Arming, KeepsTheDetectionArea)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    const struct { const char* name; cv::Rect watched; bool pictures; } rows[] = {
        {"the left half watched", {0, 0, 160, 240}, false},
        {"the right half watched", {160, 0, 160, 240}, true},
    };
    for (const auto& row : rows) {
        TestDirectory dir;
        StoreRunSettings(nullptr);
        WriteRightSideVideo("camera.avi");
        cv::Mat area(240, 320, CV_8UC1, cv::Scalar(0));
        area(row.watched).setTo(255);
        cv::imwrite("area.png", area);
        WriteNamedSetting("MASK_FILE", (dir.path() / "area.png").string());
        QProcess sentivo;
        sentivo.setProcessEnvironment(NoDisplay());
        sentivo.start(program, {"--arm", "--camera", "camera.avi"});
        ASSERT_TRUE(sentivo.waitForFinished(60000)) << row.name;
        const QString err = sentivo.readAllStandardError();
        EXPECT_TRUE(err.contains("run ended: the video file ended")) << err.toStdString();
        EXPECT_FALSE(err.contains("detection area")) << "the area was read: " << err.toStdString();
        EXPECT_EQ(fs::exists("pic_1.jpg"), row.pictures) << row.name << ": " << err.toStdString();
    }
}

// The pictures the log names ("picture 3 saved as", "picture 4 could not be saved").
QStringList LoggedPictures(const QString& err)
{
    static const QRegularExpression logged("(?<!of )picture (\\d+) (saved as|could not be saved)");
    QStringList names;
    for (const QRegularExpressionMatch& match : logged.globalMatch(err))
        names << "pic_" + match.captured(1) + ".jpg";
    return names;
}

// The pictures folder on a tmpfs that is full (a picture at most fits) or read-only: every picture is still
// mailed, from the bytes the run encoded, and the folder holds only whole pictures. The tmpfs lives in the
// program's namespace: its files are copied out when the program has ended.
TEST(Arming, APicturesFolderThatRefusesPicturesLosesNoMail)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    if (!CanMountTmpfs()) {
        std::cout << "[  SKIPPED ] this machine lets no test mount a tmpfs\n";
        return;
    }
    const struct { const char *name, *mount; } rows[] = {
        {"full", "mount -t tmpfs -o size=12k tmpfs pics && head -c 8192 /dev/zero >pics/filler"},
        {"read-only", "mount -t tmpfs -o ro,size=40k tmpfs pics"},
    };
    for (const auto& row : rows) {
        TestDirectory dir;
        SmtpTestServer smtp;
        StoreRunSettings(&smtp);
        WriteRoomVideo("camera.avi", 20, 120);
        fs::create_directory("pics");
        fs::create_directory("left");
        WriteNamedSetting("PICTURES_DIR", (dir.path() / "pics").string());
        const QString script = QString(row.mount) + " && { \"$@\"; status=$?; cp -a pics/. left/; exit $status; }";
        QProcess sentivo;
        sentivo.setProcessEnvironment(NoDisplay());
        sentivo.start("unshare", QStringList{"-rm", "sh", "-c", script, "sh", program, "--arm", "--camera", "camera.avi"});
        ASSERT_TRUE(sentivo.waitForFinished(60000)) << row.name;
        const QString err = sentivo.readAllStandardError();
        EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, 0) << err.toStdString();
        EXPECT_TRUE(err.contains("could not be saved")) << row.name << ": " << err.toStdString();
        const QStringList pictures = LoggedPictures(err);
        EXPECT_GE(pictures.size(), 2) << err.toStdString();
        QStringList mailed;   // or waiting in the outbox, when the video's end came first
        for (const ReceivedMail& mail : smtp.Messages())
            for (const ReceivedAttachment& attachment : mail.attachments) {
                if (IsPictureName(attachment.fileName))
                    mailed << QString::fromStdString(attachment.fileName);
                EXPECT_TRUE(attachment.bytes.starts_with("\xFF\xD8") && attachment.bytes.ends_with("\xFF\xD9"))
                    << attachment.fileName << " mailed whole";
            }
        for (const OutboxEntry& entry : Waiting(Outbox(DataFolder() / "outbox")))
            if (entry.kind == "picture")
                mailed << QString::fromStdString(entry.pictureName);
        mailed.sort();
        QStringList expected = pictures;
        expected.sort();
        EXPECT_EQ(mailed, expected) << row.name << ": every picture mailed, saved or not";
        for (const auto& entry : fs::directory_iterator("left")) {
            const std::string name = entry.path().filename().string(), bytes = dir.ReadFile("left/" + name);
            if (name == "filler" || name.starts_with("clip_"))
                continue;
            EXPECT_TRUE((name.starts_with("pic_") || name.starts_with("near_")) && bytes.starts_with("\xFF\xD8")
                        && bytes.ends_with("\xFF\xD9"))
                << row.name << ": " << name << " left with " << bytes.size() << " bytes";
        }
    }
}

// A picture the folder refused goes to the outbox with its bytes and a note saying why it was not saved.
TEST(Arming, ARefusedPictureIsQueuedWithItsReason)
{
    TestDirectory dir;
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "127.0.0.1");
    EventLog log(DataFolder() / "events.log");
    Outbox outbox(DataFolder() / "outbox");
    MailSender sender(outbox, [](std::string& reason) -> std::optional<MailSettings> { reason = "not sent here"; return {}; },
                      log);
    const SurveillanceEnvironment env = DefaultSurveillanceEnvironment("0", {.outbox = &outbox, .mail = &sender, .log = &log}, false);
    env.queuePicture({7, "pic_7.jpg", "pics/pic_7.jpg", "\xFF\xD8\xFFjpeg\xFF\xD9", "No space left on device"});
    env.queuePicture({8, "pic_8.jpg", "pics/pic_8.jpg", "\xFF\xD8\xFFjpeg\xFF\xD9", ""});
    const std::vector<OutboxEntry> waiting = Waiting(outbox);
    ASSERT_EQ(waiting.size(), 2u);
    EXPECT_EQ(waiting[0].pictureBytes, "\xFF\xD8\xFFjpeg\xFF\xD9");
    EXPECT_EQ(waiting[0].note, "could not be saved: No space left on device");
    EXPECT_EQ(waiting[1].note, "");
}

}  // namespace
