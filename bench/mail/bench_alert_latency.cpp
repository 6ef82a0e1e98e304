// How fast an alarm reaches the mail server, and what a mail in progress costs the surveillance
// loop. The real loop (SurveillanceWorker on DefaultSurveillanceEnvironment, frames from memory,
// no preview) hands its pictures to a real MailSender; the server is Debian's aiosmtpd on loopback
// (started here), and the silent one a socket that listens and never answers.
//
// (a) from the alarm frame (and from the hand-over) to the server's acceptance, i.e. the sender's
//     sent count going up; frames come at 30 a second, a picture every 0.25 s;
// (b) the loop's mean frame time (real DetectMotion, 640x480, frames as fast as the loop takes them)
//     with no mail, and while a send hangs on the silent server.
//
// Usage: bench_alert_latency [pictures] [frames]   (default 20 and 600)

#include "app/DefaultSurveillanceEnvironment.h"
#include "engine/NullPreview.h"
#include "engine/MotionDetector.h"
#include "engine/SurveillanceWorker.h"
#include "log/EventLog.h"
#include "mail/MailSender.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <opencv2/imgproc.hpp>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A loopback socket that listens; its port. Never accepted, so a client waits for a greeting forever.
int ListeningSocket(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::exit((std::perror("socket"), 1));
    port = ntohs(address.sin_port);
    return fd;
}

bool Accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

MailSettingsSource Server(int port)
{
    MailSettings settings{"alarm@home.net", "owner@mail.org", {}};
    settings.server.server = "127.0.0.1";
    settings.server.port = port;
    settings.server.security = MailSecurity::None;
    return [settings](std::string&) { return std::optional<MailSettings>(settings); };
}

// The panel's side: notes when each frame ended and stops the run after the frames asked for.
class BenchState final : public SessionState {
public:
    explicit BenchState(int frames) : frames_(frames) {}
    void IncrementPicturesTaken() override { picturesTaken.fetch_add(1); }
    void SetAlertLevel(float) override
    {
        std::lock_guard lock(mutex);
        frameEnds.push_back(Clock::now());
        if (static_cast<int>(frameEnds.size()) >= frames_)
            isRunning = false;
    }
    void FallBackToMotionDetect() override {}
    void SetAlertRange(int) override {}
    void ShowRunMessage(const std::string&) override {}
    void ShowRunStatus(const std::string&) override {}
    void RunEnded() override {}

    std::mutex mutex;
    std::vector<Clock::time_point> frameEnds;

private:
    int frames_;
};

// Frames from memory; paced like a camera when fps > 0. Notes when the last frame came.
class MemorySource final : public FrameSource {
public:
    MemorySource(const std::vector<cv::Mat>& frames, int fps, Clock::time_point& lastFrame)
        : frames_(frames), period_(fps > 0 ? std::chrono::duration_cast<Clock::duration>(1s) / fps : Clock::duration(0)),
          lastFrame_(lastFrame)
    {
    }
    void RequestFrameSize(int, int) override {}
    bool Read(cv::Mat& frame) override
    {
        if (period_.count() > 0) {
            next_ = next_ == Clock::time_point() ? Clock::now() : next_ + period_;
            std::this_thread::sleep_until(next_);
        }
        frame = frames_[n_++ % frames_.size()];
        lastFrame_ = Clock::now();
        return true;
    }

private:
    const std::vector<cv::Mat>& frames_;
    Clock::duration period_;
    Clock::time_point& lastFrame_;
    Clock::time_point next_;
    size_t n_ = 0;
};

std::vector<cv::Mat> MovingFrames()
{
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 8; ++i) {
        cv::Mat frame(480, 640, CV_8UC3, cv::Scalar::all(40));
        cv::rectangle(frame, {i * 64, 120, 128, 240}, cv::Scalar(220, 210, 200), cv::FILLED);
        frames.push_back(frame);
    }
    return frames;
}

struct Run {
    std::shared_ptr<BenchState> state;
    Clock::time_point lastFrame;
    std::mutex mutex;
    std::vector<Clock::time_point> alarmFrames, handedOver;   // per picture
};

// The real parts, with frames from memory, no preview and, unless realDetector, motion in every frame.
SurveillanceEnvironment Environment(Run& run, MailSender& sender, EventLog& log, const std::vector<cv::Mat>& frames,
                                    int fps, bool realDetector)
{
    SurveillanceEnvironment env = DefaultSurveillanceEnvironment("0", {.mail = &sender, .log = &log});
    env.openSource = [&run, &frames, fps] { return std::make_unique<MemorySource>(frames, fps, run.lastFrame); };
    env.makePreview = [] { return std::make_unique<NullPreview>(false); };
    env.loadCascade = [] { return false; };
    if (!realDetector)
        env.detectMotion = [](const cv::Mat&, cv::Mat&, const MotionRules&) { return true; };
    env.queuePicture = [&run, queue = env.queuePicture](const AlarmPicture& picture) {
        {
            std::lock_guard lock(run.mutex);
            run.alarmFrames.push_back(run.lastFrame);
            run.handedOver.push_back(Clock::now());
        }
        queue(picture);
    };
    return env;
}

void Latency(int pictures, const std::vector<cv::Mat>& frames, const QString& folder)
{
    int port = 0;
    ::close(ListeningSocket(port));   // a free port for the server
    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());   // it prints every message it takes
    server.start("/usr/bin/python3", {"-m", "aiosmtpd", "-n", "-l", QString("127.0.0.1:%1").arg(port)});
    for (const auto deadline = Clock::now() + 10s; !Accepts(port);)
        if (Clock::now() > deadline)
            std::exit((std::fprintf(stderr, "aiosmtpd did not start (python3-aiosmtpd)\n"), 1));
        else
            std::this_thread::sleep_for(20ms);

    EventLog log((folder + "/latency.log").toStdString(), false);
    Outbox outbox((folder + "/outbox-latency").toStdString());
    MailSender sender(outbox, Server(port), log);
    sender.Start();
    Run run;
    run.state = std::make_shared<BenchState>(1 << 30);
    run.state->delayBetweenSends = 0.25f;
    run.state->sendEmails = run.state->isRunning = true;
    std::vector<Clock::time_point> accepted;
    {
        SurveillanceWorker worker(run.state, Environment(run, sender, log, frames, 30, false));
        for (int sent = 0; static_cast<int>(accepted.size()) < pictures;) {
            const int now = sender.Status().sent;
            accepted.insert(accepted.end(), std::max(0, now - sent), Clock::now());
            sent = now;
            if (run.state->picturesTaken >= pictures)
                run.state->isRunning = false;
            std::this_thread::sleep_for(200us);
        }
    }
    sender.Stop();
    server.terminate();
    server.waitForFinished();

    std::vector<double> fromFrame, fromHandOver;
    for (int i = 0; i < pictures; ++i) {
        fromFrame.push_back(Ms(accepted[i] - run.alarmFrames[i]));
        fromHandOver.push_back(Ms(accepted[i] - run.handedOver[i]));
    }
    const auto print = [](const char* name, std::vector<double> ms) {
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double m : ms)
            sum += m;
        std::printf("  %-38s median %7.1f ms  mean %7.1f ms  max %7.1f ms\n", name, ms[ms.size() / 2], sum / ms.size(),
                    ms.back());
    };
    std::printf("(a) alert latency, %d pictures 0.25 s apart, aiosmtpd on loopback (target <= 250 ms)\n", pictures);
    print("alarm frame -> accepted by the server", fromFrame);
    print("hand-over (queuePicture) -> accepted", fromHandOver);
}

// Mean frame time over the frames after the warm-up; silentPort > 0: the first frame's picture
// goes to the silent server and hangs there while the frames are timed.
void FrameTime(int frames, const std::vector<cv::Mat>& images, const QString& folder, int silentPort)
{
    const int warmUp = 20;
    EventLog log((folder + "/frames.log").toStdString(), false);
    Outbox outbox((folder + (silentPort ? "/outbox-silent" : "/outbox-none")).toStdString());
    MailSender sender(outbox, Server(silentPort), log);
    sender.Start();
    Run run;
    run.state = std::make_shared<BenchState>(frames + warmUp);
    run.state->delayBetweenSends = silentPort ? 0.0f : 1e9f;   // a picture in the second frame (the first has no time), or never
    run.state->delayBeforeAlarm = silentPort ? 0.0f : 1e9f;
    run.state->sendEmails = run.state->isRunning = true;
    SurveillanceEnvironment env = Environment(run, sender, log, images, 0, true);
    env.queuePicture = [queue = env.queuePicture, state = run.state](const AlarmPicture& picture) {
        state->delayBetweenSends = 1e9f;   // one picture only
        queue(picture);
    };
    bool checked = false, sendingAtStart = false;
    {
        SurveillanceWorker worker(run.state, std::move(env));
        while (!worker.WaitFor(1ms)) {
            std::lock_guard lock(run.state->mutex);
            if (!checked && run.state->frameEnds.size() >= size_t(warmUp))
                checked = true, sendingAtStart = sender.Status().sending;
        }
    }
    const bool sendingAtEnd = sender.Status().sending;
    const auto stopStart = Clock::now();
    sender.Stop();
    const double stopMs = Ms(Clock::now() - stopStart);
    const auto& ends = run.state->frameEnds;
    const double ms = Ms(ends.back() - ends[warmUp - 1]) / frames;
    if (silentPort)
        std::printf("  %-38s %8.3f ms/frame  (send in progress: %s at the start, %s at the end; Stop took %.0f ms)\n",
                    "a send hangs on a silent server", ms, sendingAtStart ? "yes" : "no", sendingAtEnd ? "yes" : "no", stopMs);
    else
        std::printf("  %-38s %8.3f ms/frame\n", "no mail", ms);
}

}  // namespace

int main(int argc, char** argv)
{
    const int pictures = argc > 1 ? std::atoi(argv[1]) : 20;
    const int frames = argc > 2 ? std::atoi(argv[2]) : 600;
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir folder;
    // Settings, outbox, log and pictures stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path() + "/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path() + "/data"));
    QDir::setCurrent(folder.path());
    QApplication app(argc, argv);
    cv::setNumThreads(1);   // one core, as the loop's share of this machine

    const std::vector<cv::Mat> images = MovingFrames();
    Latency(pictures, images, folder.path());
    std::printf("(b) surveillance loop, real DetectMotion, 640x480, %d frames after 20 warm-up frames\n", frames);
    FrameTime(frames, images, folder.path(), 0);
    int silentPort = 0;
    const int silent = ListeningSocket(silentPort);
    FrameTime(frames, images, folder.path(), silentPort);
    ::close(silent);
    return 0;
}
