#pragma once
// What the tests of the installed program share: the program installed into a prefix of its own (once
// per test binary), its environment without a display, a quick armed run's settings, a tmpfs check.
#include "tests/support/TestDirectory.h"
#include "tests/ui/panel/PanelHarness.h"

#include <QProcess>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>
#include <utility>
#include <vector>

// An alarm picture's attachment, "pic_N.jpg" (not its story sheet, not an alert's frame).
inline bool IsPictureName(const std::string& name)
{
    return name.starts_with("pic_") && name.ends_with(".jpg") && !name.ends_with("-story.jpg");
}

inline QString InstalledProgram()
{
    static QTemporaryDir prefix;
    static const int status = QProcess::execute("cmake", {"--install", QString::fromStdString(BinaryDir().string()),
                                                           "--prefix", prefix.path()});
    return status == 0 ? prefix.path() + "/bin/sentivo" : QString();
}

// Whether this machine lets a test mount a tmpfs of its own (a user and mount namespace).
inline bool CanMountTmpfs()
{
    return QProcess::execute("unshare", {"-rm", "sh", "-c", "mount -t tmpfs -o size=40k tmpfs /mnt"}) == 0;
}

// The test's environment (its XDG folders) with no display at all.
inline QProcessEnvironment NoDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    return env;
}

// The installed sentivo --arm on camera (a video in the test folder, or a stream's address) with no display.
inline void StartArmed(QProcess& sentivo, const QString& camera = "camera.avi", const QStringList& more = {})
{
    sentivo.setProcessEnvironment(NoDisplay());
    sentivo.start(InstalledProgram(), QStringList{"--arm", "--camera", camera} + more);
}

// A furnished room at 20 frames a second (shelves and frames on the walls), a white square crossing
// it during each of the frame ranges [from, to).
inline void WriteCrossings(const std::filesystem::path& file, const std::vector<std::pair<int, int>>& crossings, int frames)
{
    cv::VideoWriter writer(file.string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 20.0, cv::Size(320, 240));
    cv::Mat room(240, 320, CV_8UC3, cv::Scalar::all(90));
    for (int x = 0; x < 320; x += 40)
        for (int y = 0; y < 240; y += 30)
            cv::rectangle(room, cv::Rect(x + 6, y + 5, 22, 16), cv::Scalar::all(40 + (x * 7 + y * 3) % 150), cv::FILLED);
    for (int i = 0; i < frames; ++i) {
        cv::Mat frame = room.clone();
        for (const auto [from, to] : crossings)
            if (i >= from && i < to)
                cv::rectangle(frame, cv::Rect(i * 12 % 240, 60, 80, 100), cv::Scalar::all(255), cv::FILLED);
        writer.write(frame);
    }
}
inline void WriteCrossing(const std::filesystem::path& file, int from, int to, int frames)
{
    WriteCrossings(file, {{from, to}}, frames);
}

// Mail through server:port without encryption (the test server has none), short delays; mode
// (nullptr: left as stored) is the detector.
inline void StoreArmedSettings(int port, const char* leaveRoom = "2.0", const char* beforeAlarm = "2.0",
                               const char* mode = "MOTION", const std::string& server = "127.0.0.1",
                               const std::string& from = "alarm@home.net")
{
    StoreEmailSettings(from, "owner@mail.org", server);
    WriteNamedSetting(SETTING_SMTP_PORT, std::to_string(port));
    WriteNamedSetting(SETTING_SMTP_SECURITY, "NONE");
    if (mode)
        WriteNamedSetting("DETECT_MODE", mode);
    for (auto [setting, text] : {std::pair{SETTING_DELAY_TO_LEAVE_ROOM, leaveRoom}, {SETTING_DELAY_BEFORE_ALARM, beforeAlarm},
                                 {SETTING_DELAY_BETWEEN_SENDS, "1.0"}})
        StoreSetting(setting, text);
}

// An X server of its own (so the test needs no display and disturbs none), ended with the object.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        xvfb_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (xvfb_.waitForReadyRead(10000))
            env_.insert("DISPLAY", ":" + QString(xvfb_.readAllStandardOutput()).trimmed());
        env_.insert("QT_QPA_PLATFORM", "xcb");
    }
    ~VirtualDisplay()
    {
        xvfb_.terminate();
        xvfb_.waitForFinished();
    }
    const QProcessEnvironment& Environment() const { return env_; }
    // Runs a tool (xdotool, xclip) on this display; answers what it printed.
    QString Run(const QString& tool, const QStringList& arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(env_);
        process.start(tool, arguments);
        process.waitForFinished(60000);
        return QString(process.readAllStandardOutput()).trimmed();
    }

private:
    QProcess xvfb_;
    QProcessEnvironment env_ = NoDisplay();
};
