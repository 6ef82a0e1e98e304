// The real program, its command line without a display and driven on an X display of its own with xdotool.
#include "tests/app/InstalledProgram.h"
#include "tests/ui/panel/PanelHarness.h"
#include "settings/SmtpCredentials.h"
#include "tests/support/SmtpTestServer.h"
#include "ui/templates/DialogBuilder.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <csignal>
#include <optional>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// In a ThreadSanitizer build: Qt starts a process with a clone that shares this one's memory, which
// the sanitizer takes for a fork of a multi-threaded process, and would end the test at its next
// thread. The races that matter are the program's, and it reads its own options from the environment.
extern "C" const char* __tsan_default_options() { return "die_after_fork=0"; }

static const QString kProgram = QString::fromStdString((BinaryDir() / "app" / "sentivo").string());


// Every picture the server accepted (their story sheets left out), in the order the messages came.
static std::vector<ReceivedAttachment> Attachments(const std::optional<SmtpTestServer>& smtp)
{
    std::vector<ReceivedAttachment> attachments;
    for (const ReceivedMail& mail : smtp ? smtp->Messages() : std::vector<ReceivedMail>{}) {
        EXPECT_EQ(mail.authenticatedUser, "alarm");
        std::copy_if(mail.attachments.begin(), mail.attachments.end(), std::back_inserter(attachments),
                     [](const ReceivedAttachment& a) { return IsPictureName(a.fileName); });
    }
    return attachments;
}

TEST(Program, RunsAndQuitsAsAUserDrivesIt)
{
    const char *const kPanel = "^Sentivo V3.2$", *const kPreview = "^Sentivo$", *const kNoFrames =
        "the video file ended";
    struct Step { const char *keys, *window; bool open; };   // keys pressed on the panel, then the window awaited
    struct Row { int stillFrames, intruderFrames, signal; std::vector<Step> steps; const char *delays, *ended; };
    const Row rows[] = {
        // 3 s of a still room (longer than the alarm delay), then 6 s of an intruder crossing it;
        // the video's end ends the run; "&Quit" once the mails are in.
        {60, 120, 0, {{"alt+s", kPreview, true}, {"", kPreview, false}}, "2.0 2.0 1.0", kNoFrames},
        // "&Revert to default settings" makes the countdown 10 s; the signal comes during it.
        {400, 0, SIGTERM, {{"alt+r alt+s", "^Please exit the room", true}}, "10.0 10.0 2.0", nullptr},
        // During a run, with the Options dialog open over the panel.
        {400, 0, SIGINT, {{"alt+s", kPreview, true}, {"alt+r alt+o", "^Options$", true}}, "10.0 10.0 2.0", "stopped"},
        // The first run with the mail server down, killed after it: the next start, unarmed, mails the pictures.
        {60, 120, SIGKILL, {{"alt+s", kPreview, true}, {"", kPreview, false}}, "2.0 2.0 1.0", kNoFrames},
    };
    QDialog layout;   // where "Motion detect" sits: the program lays out the same template
    BuildDialog(layout, 102);
    const QPoint motionDetect = FindControl(layout, 1027)->geometry().center();
    for (const Row& row : rows) {
        TestDirectory dir;
        const bool killed = row.signal == SIGKILL;
        std::optional<SmtpTestServer> smtp;   // demands the login saved below
        const int port = killed ? SmtpTestServer().port() : smtp.emplace(SmtpTestServer::Options{.requireAuth = true}).port();
        StoreArmedSettings(port, "2.0", "2.0", nullptr);
        std::string reason;
        ASSERT_TRUE(WriteSmtpCredentials("alarm", "secret", reason)) << reason;
        WriteRoomVideo("camera.avi", row.stillFrames, row.intruderFrames);   // the program's camera

        std::optional<VirtualDisplay> display(std::in_place);
        QProcessEnvironment env = display->Environment();
        const auto XDo = [&](const QStringList& arguments) { return display->Run("xdotool", arguments); };
        QProcess sentivo;
        sentivo.setProcessEnvironment(env);
        sentivo.setProcessChannelMode(QProcess::ForwardedChannels);
        sentivo.start(kProgram, {"--camera", "camera.avi"});
        const QString panel = XDo({"search", "--sync", "--name", kPanel}).section('\n', 0, 0);
        ASSERT_FALSE(panel.isEmpty()) << "the control panel did not appear";
        QTest::qWait(2500);   // the splash takes the first key or click for 1.5 s
        XDo({"windowfocus", "--sync", panel, "mousemove", "--window", panel, QString::number(motionDetect.x()),
                  QString::number(motionDetect.y()), "click", "1"});
        for (const Step& step : row.steps) {
            if (*step.keys)
                XDo(QStringList{"windowfocus", "--sync", panel, "key", "--clearmodifiers"}
                             + QString(step.keys).split(' '));
            const auto shown = [&] { return !XDo({"search", "--onlyvisible", "--name", step.window}).isEmpty(); };
            ASSERT_TRUE(QTest::qWaitFor([&] { return shown() == step.open; }, 60000)) << step.window;
        }
        std::vector<std::string> pictures;
        while (fs::exists("pic_" + std::to_string(pictures.size() + 1) + ".jpg"))
            pictures.push_back("pic_" + std::to_string(pictures.size() + 1) + ".jpg");
        EXPECT_GE(pictures.size(), row.intruderFrames ? 2u : 0u)
            << "an intruder seen for 6 s fires the alarm more than once";
        // The event log, time stamps left out, and the pictures its "sent" lines name.
        const auto events = [&] {
            return QString::fromStdString(dir.ReadFile("data/Corvane/Sentivo/events.log"))
                .remove(QRegularExpression("^.{19}  ", QRegularExpression::MultilineOption)).split('\n', Qt::SkipEmptyParts);
        };
        const auto sent = [&] {
            QStringList numbers;
            for (const QString& line : events().filter(QRegularExpression("^mail for pictures? .* sent$")))
                numbers << line.section(' ', 3).chopped(5).split(", ");
            return numbers;
        };
        const auto mailed = [&] { return QTest::qWaitFor([&] { return sent().size() >= qsizetype(pictures.size()); }, 30000); };
        EXPECT_TRUE(killed || mailed()) << "the pictures are mailed as they are taken";
        if (row.signal)
            ::kill(sentivo.processId(), row.signal);
        else
            XDo({"windowfocus", "--sync", panel, "key", "--clearmodifiers", "alt+q"});
        // A sanitizer build reports its findings through the exit code.
        EXPECT_TRUE(sentivo.waitForFinished(10000)
                    && sentivo.exitStatus() == (killed ? QProcess::CrashExit : QProcess::NormalExit)
                    && (killed || sentivo.exitCode() == 0));
        display.reset();
        EXPECT_EQ(StoredText(SETTING_DELAY_TO_LEAVE_ROOM) + " " + StoredText(SETTING_DELAY_BEFORE_ALARM) + " "
                      + StoredText(SETTING_DELAY_BETWEEN_SENDS), row.delays);
        if (killed) {   // no display is needed to send what waits
            smtp.emplace(SmtpTestServer::Options{.requireAuth = true, .port = port});
            env.insert("QT_QPA_PLATFORM", "offscreen");
            sentivo.setProcessEnvironment(env);
            sentivo.start(kProgram, {"--camera", "camera.avi"});
            EXPECT_TRUE(mailed()) << "the mails that waited in the outbox";
            sentivo.terminate();
            EXPECT_TRUE(sentivo.waitForFinished(10000) && sentivo.exitStatus() == QProcess::NormalExit
                        && sentivo.exitCode() == 0);
        }

        // Each picture once, byte for byte and in order, across as many messages as the sender made.
        const std::vector<ReceivedAttachment> attachments = Attachments(smtp);
        ASSERT_EQ(attachments.size(), pictures.size());
        for (size_t i = 0; i < pictures.size(); ++i) {
            cv::Mat white;   // the intruder, not the still room, raised the alarm
            cv::inRange(cv::imread(pictures[i]), cv::Scalar::all(220), cv::Scalar::all(255), white);
            EXPECT_GT(cv::countNonZero(white), 2000) << pictures[i];
            EXPECT_EQ(attachments[i].fileName, pictures[i]);
            EXPECT_EQ(attachments[i].bytes, dir.ReadFile(pictures[i])) << pictures[i];
        }
        // The event log tells the run in order, the sender's lines anywhere between.
        QStringList expected;
        if (row.ended) {
            expected << "surveillance armed: motion detection";
            for (size_t n = 1; n <= pictures.size(); ++n)
                expected << QString("picture %1 saved as pic_%1.jpg").arg(n) << QString("mail for picture %1 queued").arg(n);
            expected << "run ended: " + QString(row.ended);
        }
        if (killed)
            expected << QString("outbox: %1 mails waiting").arg(2 * pictures.size());   // each picture and its story
        const QStringList log = events();
        auto next = log.begin();
        for (const QString& line : expected)
            ASSERT_NE(next = std::find(next, log.end(), line), log.end()) << line.toStdString() << " in\n"
                                                                           << log.join('\n').toStdString();
        EXPECT_EQ(sent().size(), qsizetype(pictures.size())) << "every picture's mail logged as sent";
        EXPECT_EQ(log.count("surveillance armed: motion detection"), row.ended ? 1 : 0) << "once, and only by a start";
    }
}

// The installed sentivo --arm without a display: settings checked first; the video's end or a SIGTERM
// ends it with status 0, each picture whole; the face cascade found; --from-menu uses ~/Pictures/Sentivo.
TEST(Program, RunsArmedWithoutAWindow)
{
    const QString program = InstalledProgram();
    ASSERT_FALSE(program.isEmpty()) << "cmake --install failed";
    struct Row { const char *from, *mode; int signal, exitCode; const char* stderrHas; bool fromMenu; } const rows[] = {
        {"alarm@home.net", "--motion", 0, 0, "run ended: the video file ended", true},
        {"alarm@home.net", nullptr, SIGTERM, 0, "run ended: stopped", false},
        {"alarm@@home", nullptr, 0, 1, "From email address \"alarm@@home\" is not valid", false},
        {"alarm@home.net", "--face", 0, 0, "surveillance armed: face detection", false}};
    for (const Row& row : rows) {
        TestDirectory dir;
        QProcessEnvironment env = NoDisplay();
        SmtpTestServer smtp;
        StoreArmedSettings(smtp.port(), "2.0", "2.0", nullptr, "127.0.0.1", row.from);
        WriteRoomVideo("camera.avi", 60, row.signal ? 400 : 120);
        WriteNamedSetting("DETECT_MODE", "MOTION");   // the panel's last choice: the stopped run's detector
        QStringList arguments{"--arm", "--camera", "camera.avi"};
        if (row.mode)
            arguments << row.mode;
        const std::string pictureFolder = row.fromMenu ? "Pictures/Sentivo/" : "";
        if (row.fromMenu) {
            env.insert("HOME", QString::fromStdString(dir.path().string()));
            arguments << "--from-menu";
        }
        QProcess sentivo;
        sentivo.setProcessEnvironment(env);
        sentivo.start(program, arguments);
        if (row.signal) {   // while the intruder is seen, pictures being taken
            ASSERT_TRUE(QTest::qWaitFor([] { return fs::exists("pic_2.jpg"); }, 30000) && sentivo.processId() > 0);
            ::kill(sentivo.processId(), row.signal);
        }
        EXPECT_TRUE(sentivo.waitForFinished(row.signal ? 2000 : 60000)) << "ends within 2 s of a SIGTERM";
        const QString err = sentivo.readAllStandardError();
        EXPECT_EQ(sentivo.exitStatus() == QProcess::NormalExit ? sentivo.exitCode() : -1, row.exitCode) << err.toStdString();
        EXPECT_TRUE(err.contains(row.stderrHas)) << err.toStdString();
        EXPECT_FALSE(err.contains("face cascade missing")) << "the installed cascade is found from any folder";
        if (row.exitCode != 0)
            continue;
        std::vector<std::string> pictures;
        for (std::string name; fs::exists(name = pictureFolder + "pic_" + std::to_string(pictures.size() + 1) + ".jpg");)
            pictures.push_back(dir.ReadFile(name));
        for (const std::string& jpeg : pictures)
            EXPECT_TRUE(jpeg.ends_with("\xFF\xD9")) << "a picture written whole, also when stopped";
        if (std::string_view(row.mode ? row.mode : "") == "--face")
            continue;   // an empty room shows no face
        EXPECT_GE(pictures.size(), 2u) << "an intruder seen for 6 s fires the alarm more than once";
        // Mailed as taken; what the stop left unsent waits in the outbox.
        const std::vector<ReceivedMail> mails = smtp.Messages();
        EXPECT_FALSE(mails.empty());
        for (const ReceivedMail& mail : mails)
            for (const ReceivedAttachment& attachment : mail.attachments)
                EXPECT_EQ(attachment.bytes, dir.ReadFile(pictureFolder + attachment.fileName)) << attachment.fileName;
    }
}
