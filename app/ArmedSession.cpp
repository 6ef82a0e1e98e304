#include "app/ArmedSession.h"

#include "app/CurrentMailSettings.h"
#include "app/DefaultSurveillanceEnvironment.h"
#include "engine/Milliseconds.h"
#include "engine/PictureNumbering.h"
#include "engine/SurveillanceWorker.h"
#include "log/EventLog.h"
#include "mail/MailSender.h"
#include "settings/AppPaths.h"
#include "settings/DelayText.h"
#include "settings/DetectionSettings.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <pthread.h>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kStopWait{1000};

// The e-mail settings a run needs, checked in the panel's order; false (after saying which one on
// standard error) when one is missing or invalid.
bool ReadMailAddresses(SessionState& s)
{
    const struct { int id; const char* what; std::string* into; } settings[] = {
        {SETTING_FROM_ADDRESS, "From email address", &s.fromAddress},
        {SETTING_SMTP_SERVER, "SMTP server", &s.smtpServer},
        {SETTING_TO_ADDRESS, "To email address", &s.toAddress}};
    for (const auto& setting : settings) {
        if (ReadSetting(setting.id, *setting.into))
            continue;
        const std::string problem = setting.into->empty() ? " not set." : " \"" + *setting.into + "\" is not valid.";
        std::fprintf(stderr, "sentivo: %s%s Set it with \"Options\" in the control panel (sentivo without --arm).\n",
                     setting.what, problem.c_str());
        return false;
    }
    return true;
}

// The delays and the detection settings as the panel reads them; what could not be used is logged
// (and so printed on standard error). Picture numbers go on past those already in the folder.
void ReadRunSettings(SessionState& s, EventLog& log, bool startedFromMenu)
{
    std::vector<std::string> problems;
    s.delayToLeaveRoom.store(ReadStoredDelay(SETTING_DELAY_TO_LEAVE_ROOM, problems));
    s.delayBetweenSends.store(ReadStoredDelay(SETTING_DELAY_BETWEEN_SENDS, problems));
    s.delayBeforeAlarm.store(ReadStoredDelay(SETTING_DELAY_BEFORE_ALARM, problems));
    const DetectionSettings settings = ReadDetectionSettings(problems);
    s.sensitivity = settings.sensitivity;
    s.lightGuard = settings.lightGuard;
    s.maskFile = settings.maskFile;
    s.picturesFolder = settings.picturesDir.empty() ? DefaultPicturesFolder(startedFromMenu).string() : settings.picturesDir;
    s.minFreeBytes = static_cast<std::uint64_t>(settings.minFreeMb) * 1024 * 1024;
    s.pictureNumberBase = HighestPictureNumber(s.picturesFolder.empty() ? "." : s.picturesFolder);
    for (const std::string& problem : problems)
        log.Write(problem);
}

// Takes SIGINT and SIGTERM (blocked in every thread) on a thread of its own and asks the session
// to stop; when it goes, it wakes that thread with one more signal and waits for it.
class StopSignalWaiter {
public:
    StopSignalWaiter(ArmedSession& session, const sigset_t& stopSignals) : signals_(stopSignals)
    {
        thread_ = std::thread([this, &session] {
            for (int signal = 0; sigwait(&signals_, &signal) == 0 && !finished_.load();)
                session.RequestStop();
        });
    }
    ~StopSignalWaiter()
    {
        finished_.store(true);
        pthread_kill(thread_.native_handle(), SIGTERM);
        thread_.join();
    }
    StopSignalWaiter(const StopSignalWaiter&) = delete;
    StopSignalWaiter& operator=(const StopSignalWaiter&) = delete;

private:
    const sigset_t signals_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace

void ArmedSession::ShowRunMessage(const std::string& text)
{
    messageShown_.store(true);
    log_.Write(text);
}

void ArmedSession::RunEnded()
{
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

void ArmedSession::RequestStop()
{
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
    changed_.notify_all();
}

ArmedSession::Wake ArmedSession::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return stopRequested_ || ended_; });
    return stopRequested_ ? Wake::StopRequested : ended_ ? Wake::RunEnded : Wake::TimedOut;
}

int RunArmed(int& argc, char** argv, const CommandLine& line)
{
    // Blocked before any thread exists, so every thread inherits it and only the waiting thread
    // below takes the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    QCoreApplication app(argc, argv);   // no GUI: works without a display

    EventLog log(DataFolder() / "events.log");
    auto session = std::make_shared<ArmedSession>(log);
    ArmedSession& s = *session;
    const std::optional<std::string> sendEmails = ReadNamedSetting(SETTING_SEND_EMAILS);
    s.sendEmails.store(sendEmails.value_or("1") != "0");
    if (s.sendEmails.load() && !ReadMailAddresses(s))
        return 1;
    ReadRunSettings(s, log, line.fromMenu);
    s.faceDetectMode.store(line.detect == CommandLine::Detect::Stored ? ReadNamedSetting(SETTING_DETECT_MODE) != "MOTION"
                                                                      : line.detect == CommandLine::Detect::Face);
    s.faceDetectAvailable.store(true);

    const StopSignalWaiter signalWaiter(s, stopSignals);

    Outbox outbox(DataFolder() / "outbox");
    MailSender sender(outbox, CurrentMailSettings, log);
    // The camera before the countdown: a recording that cannot be read is told before anyone
    // leaves; a camera or stream missing now is waited for by the run, as a lost one.
    SurveillanceEnvironment env = DefaultSurveillanceEnvironment(line.cameraSource, &sender, &log, false);
    std::unique_ptr<FrameSource> camera = env.openSource();
    if (!camera && !env.sourceIsLive) {
        s.ShowRunMessage(kNoCameraMessage);
        return 3;
    }
    sender.Start();   // mails an earlier run left go out during the countdown too
    const float leaveRoom = s.delayToLeaveRoom.load();
    std::fprintf(stderr, "Leave the room: surveillance starts in %g s\n", leaveRoom);
    if (s.WaitFor(std::chrono::milliseconds(ToMilliseconds(leaveRoom))) == ArmedSession::Wake::StopRequested)
        return 0;

    SurveillanceWorker worker(session, std::move(env), std::move(camera));
    while (s.WaitFor(std::chrono::hours(1)) == ArmedSession::Wake::TimedOut) {
    }
    // Stopped or ended by itself: the run ends after its current frame, its picture complete.
    worker.RequestStop();
    while (!worker.WaitFor(kStopWait)) {
    }
    sender.Stop();   // within about a second; what was not sent waits in the outbox
    return s.MessageShown() ? 3 : 0;
}
