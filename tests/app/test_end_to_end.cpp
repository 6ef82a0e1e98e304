// The real program, end to end: a virtual X display, the sentivo executable with a video file for
// a camera and a loopback SMTP server, driven by key presses as a user would drive it.
#include "ui/templates/DialogBuilder.h"
#include "settings/SettingsStore.h"
#include "tests/ui/panel/PanelHarness.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDirectory.h"

#include <QDialog>
#include <QProcess>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// An X server of its own, so the test needs no display and disturbs none.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        server_.setProgram("Xvfb");
        server_.setArguments({"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        server_.start();
        if (server_.waitForStarted(10000) && server_.waitForReadyRead(10000))
            name_ = ":" + QString::fromLatin1(server_.readAllStandardOutput()).trimmed();
    }
    ~VirtualDisplay()
    {
        server_.terminate();
        if (!server_.waitForFinished(5000))
            server_.kill();
        server_.waitForFinished(5000);
    }
    QString name() const { return name_; }

private:
    QProcess server_;
    QString name_;
};

// Runs xdotool on the display; answers its standard output.
QString XDoTool(const QString& display, const QStringList& arguments, int timeoutMs = 20000)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    tool.setProcessEnvironment(env);
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
    }
    return QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
}

// The picture shows the white intruder of the video, not the still room.
bool ShowsTheIntruder(const fs::path& picture)
{
    const cv::Mat image = cv::imread(picture.string());
    if (image.empty())
        return false;
    cv::Mat white;
    cv::inRange(image, cv::Scalar(220, 220, 220), cv::Scalar(255, 255, 255), white);
    return cv::countNonZero(white) > 2000;
}

// Where the "Motion detect" radio button sits in the panel's window: the program lays out its
// template the same way.
QStringList MotionDetectRadioPosition()
{
    QDialog panel;
    BuildDialog(panel, 102);
    const QPoint centre = FindControl(panel, 1027)->geometry().center();
    return {QString::number(centre.x()), QString::number(centre.y())};
}

std::vector<fs::path> Pictures(const fs::path& folder)
{
    std::vector<fs::path> pictures;
    for (int n = 1; fs::exists(folder / ("pic_" + std::to_string(n) + ".jpg")); ++n)
        pictures.push_back(folder / ("pic_" + std::to_string(n) + ".jpg"));
    return pictures;
}

TEST(EndToEnd, ArmedProgramSavesAndMailsPicturesOfAnIntruderOnly)
{
    TestDirectory dir;
    SmtpTestServer smtp;
    StoreEmailSettings("alarm@home.net", "owner@mail.org", "127.0.0.1");
    StoreSetting(SETTING_DELAY_TO_LEAVE_ROOM, "2.0");
    StoreSetting(SETTING_DELAY_BEFORE_ALARM, "2.0");
    StoreSetting(SETTING_DELAY_BETWEEN_SENDS, "1.0");
    InstallCascade(dir.path());
    // 3 s of a still room (longer than the alarm delay), then 6 s of an intruder crossing it.
    // Every picture must show the intruder: the still room alone never fires the alarm.
    const fs::path video = WriteRoomVideo(dir.path() / "camera.avi", 60, 120, 0, 20.0);

    VirtualDisplay display;
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";
    QProcess sentivo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display.name());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.configHome().string()));
    env.insert("SENTIVO_SMTP_PORT", QString::number(smtp.port()));
    env.insert("SENTIVO_SMTP_TLS", "off");
    sentivo.setProcessEnvironment(env);
    sentivo.setWorkingDirectory(QString::fromStdString(dir.path().string()));
    sentivo.setProcessChannelMode(QProcess::ForwardedChannels);
    sentivo.start(QString::fromStdString((BinaryDir() / "app" / "sentivo").string()),
                  {"--camera", QString::fromStdString(video.string())});
    ASSERT_TRUE(sentivo.waitForStarted(10000));

    const QString panel = XDoTool(display.name(), {"search", "--sync", "--name", "^Sentivo V3.2$"}, 60000)
                              .split('\n').value(0);
    ASSERT_FALSE(panel.isEmpty()) << "the control panel did not appear";
    std::this_thread::sleep_for(2500ms);   // the splash takes the first key press for 1.5 s
    XDoTool(display.name(), {"windowfocus", "--sync", panel});
    XDoTool(display.name(), QStringList{"mousemove", "--window", panel} + MotionDetectRadioPosition()
                                + QStringList{"click", "1"});
    XDoTool(display.name(), {"key", "--clearmodifiers", "alt+s"});   // "&Start Surveillance"

    // Countdown (2 s), then the whole video (9 s), whose end ends the run; then every picture's
    // mail has arrived.
    const auto started = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - started < 60s) {
        std::this_thread::sleep_for(500ms);
        const size_t pictures = Pictures(dir.path()).size();
        if (std::chrono::steady_clock::now() - started > 13s && pictures > 0
            && smtp.Messages().size() == pictures)
            break;
    }
    XDoTool(display.name(), {"windowfocus", "--sync", panel});
    XDoTool(display.name(), {"key", "--clearmodifiers", "alt+q"});   // "&Quit"
    ASSERT_TRUE(sentivo.waitForFinished(30000)) << "the program did not quit";
    EXPECT_EQ(sentivo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sentivo.exitCode(), 0) << "a sanitizer build reports its findings through the exit code";

    const std::vector<fs::path> pictures = Pictures(dir.path());
    ASSERT_GE(pictures.size(), 2u) << "an intruder seen for 6 s fires the alarm more than once";
    for (const fs::path& picture : pictures)
        EXPECT_TRUE(ShowsTheIntruder(picture)) << picture << ": the still room raised an alarm";

    const std::vector<ReceivedMail> received = smtp.WaitForMessages(pictures.size(), 10s);
    ASSERT_EQ(received.size(), pictures.size()) << "one e-mail per picture";
    for (size_t i = 0; i < pictures.size(); ++i) {
        const ReceivedMail& mail = received[i];
        EXPECT_EQ(mail.envelopeFrom, "alarm@home.net");
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_EQ(mail.attachments[0].fileName, pictures[i].filename().string());
        std::ifstream file(pictures[i], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(mail.attachments[0].bytes, bytes) << pictures[i];
    }

    EXPECT_EQ(StoredText(SETTING_DELAY_TO_LEAVE_ROOM), "2.0");
    EXPECT_EQ(StoredText(SETTING_DELAY_BEFORE_ALARM), "2.0");
    EXPECT_EQ(StoredText(SETTING_DELAY_BETWEEN_SENDS), "1.0");
}

TEST(EndToEnd, CommandLineTellsItsUsageAndVersion)
{
    const QString program = QString::fromStdString((BinaryDir() / "app" / "sentivo").string());
    QProcess sentivo;
    sentivo.start(program, {"--version"});
    ASSERT_TRUE(sentivo.waitForFinished(30000));
    EXPECT_EQ(sentivo.exitCode(), 0);
    EXPECT_TRUE(sentivo.readAllStandardOutput().contains("3.2"));
    sentivo.start(program, {"--help"});
    ASSERT_TRUE(sentivo.waitForFinished(30000));
    EXPECT_TRUE(sentivo.readAllStandardOutput().contains("--camera <SOURCE>"));
}

}  // namespace
