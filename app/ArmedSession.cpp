#include "app/ArmedSession.h"

#include "app/DefaultSurveillanceEnvironment.h"
#include "app/RunJournal.h"
#include "app/RunOutlets.h"
#include "engine/ApplyRunSettings.h"
#include "engine/Milliseconds.h"
#include "engine/PictureNumbering.h"
#include "engine/SurveillanceWorker.h"
#include "journal/Journal.h"
#include "log/EventLog.h"
#include "mail/MailSender.h"
#include "mail/PushChannel.h"
#include "mqtt/MqttChannel.h"
#include "settings/AppPaths.h"
#include "settings/MailSettingsCodec.h"
#include "settings/RunSettings.h"
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
// What is due for the phone when the program ends by itself (a failed arming) gets this long.
constexpr std::chrono::milliseconds kPushGrace{5000};

// The e-mail settings a run needs, checked in the panel's order; false (after saying which one on
// standard error) when one is missing or invalid.
bool MailSettingsUsable(const RunSettings& settings)
{
    const StoredMailSetting* unusable = settings.FirstUnusableMail();
    if (!unusable)
        return true;
    const char* what = unusable->settingId == SETTING_FROM_ADDRESS ? "From email address"
                     : unusable->settingId == SETTING_SMTP_SERVER  ? "SMTP server"
                                                                   : "To email address";
    const std::string problem = unusable->text.empty() ? " not set." : " \"" + unusable->text + "\" is not valid.";
    std::fprintf(stderr, "sentivo: %s%s Set it with \"Options\" in the control panel (sentivo without --arm).\n", what,
                 problem.c_str());
    return false;
}

// What could not be used goes to the event log (and so to standard error), as the panel shows it:
// the settings' problems, and a login the mails cannot use.
void LogProblems(const RunSettings& settings, EventLog& log)
{
    for (const auto* group : {&settings.delayProblems, &settings.detectionProblems, &settings.choiceProblems})
        for (const std::string& problem : *group)
            log.Write(problem);
    if (const CredentialsRead login = ResolveLogin(); settings.sendEmails && !login.problem.empty())
        log.Write("mail login not usable: " + login.problem + "; mails wait until it is mended");
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

using Wake = ArmedSession::Wake;

// The leave-room countdown, then one run until a signal, the run's own end or a remote disarming;
// answers which of them.
Wake ArmedRun(ArmedSession& s, const std::shared_ptr<ArmedSession>& session, SurveillanceEnvironment& env,
              std::unique_ptr<FrameSource> camera)
{
    s.ForgetRunEnd();
    const float leaveRoom = s.delayToLeaveRoom.load();
    std::fprintf(stderr, "Leave the room: surveillance starts in %g s\n", leaveRoom);
    env.record({.kind = "arming"});
    const auto countdownEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(ToMilliseconds(leaveRoom));
    for (Wake wake; (wake = s.WaitFor(std::chrono::duration_cast<std::chrono::milliseconds>(
                         countdownEnd - std::chrono::steady_clock::now()))) != Wake::TimedOut;)
        if (wake == Wake::StopRequested || wake == Wake::RemoteDisarm) {
            env.record({.kind = "run ended", .note = wake == Wake::StopRequested ? "stopped" : "disarmed remotely"});
            return wake;
        }
    SurveillanceWorker worker(session, std::move(env), std::move(camera));
    Wake wake;
    while ((wake = s.WaitFor(std::chrono::hours(1))) == Wake::TimedOut || wake == Wake::RemoteArm) {
    }
    // The run ends after its current frame, its picture complete.
    worker.RequestStop();
    while (!worker.WaitFor(kStopWait)) {
    }
    return wake;
}

// Disarmed remotely: waits for a signal or the next remote arming.
Wake WaitDisarmed(ArmedSession& s)
{
    std::fprintf(stderr, "Disarmed remotely: waiting for a remote arming\n");
    s.ForgetRunEnd();
    Wake wake;
    while ((wake = s.WaitFor(std::chrono::hours(1))) != Wake::StopRequested && wake != Wake::RemoteArm) {
    }
    return wake;
}

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

void ArmedSession::RequestRemote(bool arm)
{
    std::lock_guard lock(mutex_);
    remote_ = arm;
    changed_.notify_all();
}

void ArmedSession::ForgetRunEnd()
{
    std::lock_guard lock(mutex_);
    ended_ = false;
}

ArmedSession::Wake ArmedSession::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return stopRequested_ || remote_ || ended_; });
    if (stopRequested_)
        return Wake::StopRequested;
    if (const std::optional<bool> remote = std::exchange(remote_, std::nullopt))
        return *remote ? Wake::RemoteArm : Wake::RemoteDisarm;
    return ended_ ? Wake::RunEnded : Wake::TimedOut;
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
    RunSettings settings = ReadRunSettings();
    if (settings.sendEmails && !MailSettingsUsable(settings))
        return 1;
    if (line.detect != CommandLine::Detect::Stored)
        settings.faceDetect = line.detect == CommandLine::Detect::Face;
    // Picture numbers go on past those already in the folder.
    ApplyRunSettings(settings, DefaultPicturesFolder(line.fromMenu).string(), s);
    LogProblems(settings, log);
    s.faceDetectAvailable.store(true);

    const StopSignalWaiter signalWaiter(s, stopSignals);

    const JournalOpening journal = Journal::Open(DefaultJournalFile(), &log);
    if (!journal.note.empty())
        log.Write(journal.note);
    Outbox outbox(DataFolder() / "outbox");
    MailSender sender(outbox, CurrentMailSettings, log, JournalDeliveryReport(journal.journal.get(), kMailChannel));
    const AlertChannels channels =
        StartAlertChannels(outbox, log, journal.journal.get(), [&s](bool arm) { s.RequestRemote(arm); }, line.room);
    PushChannel* const push = channels.push.get();
    const RunOutlets outlets{&outbox, &sender, channels.mqtt.get(), push, &log, journal.journal.get()};
    // The camera before the countdown: a recording that cannot be read is told before anyone
    // leaves; a camera or stream missing now is waited for by the run, as a lost one.
    SurveillanceEnvironment env = DefaultSurveillanceEnvironment(line.cameraSource, outlets, false);
    std::unique_ptr<FrameSource> camera = env.openSource();
    if (!camera && !env.sourceIsLive) {
        s.ShowRunMessage(kNoCameraMessage);
        if (env.record)
            env.record({.kind = "arming failed", .note = kNoCameraMessage});
        if (push)
            push->Finish(kPushGrace);
        return 3;
    }
    sender.Start();   // mails an earlier run left go out during the countdown too
    // Armed at once; disarmed remotely, it waits for the next remote arming or a signal.
    for (bool armed = true;;) {
        const Wake wake = armed ? ArmedRun(s, session, env, std::move(camera)) : WaitDisarmed(s);
        if (wake == Wake::StopRequested || wake == Wake::RunEnded)
            break;
        armed = wake == Wake::RemoteArm;
        if (armed) {   // a run of its own: its detectors and camera afresh
            env = DefaultSurveillanceEnvironment(line.cameraSource, outlets, false);
            camera = env.openSource();
        }
    }
    sender.Stop();   // within about a second; what was not sent waits in the outbox
    if (push)
        push->Finish(kPushGrace);
    return s.MessageShown() ? 3 : 0;
}
