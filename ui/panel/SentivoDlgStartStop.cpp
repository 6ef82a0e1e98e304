// Starting and stopping surveillance from the control panel. A start checks the e-mail settings
// and opens the camera (off the GUI thread) before anyone is asked to leave the room. Runs never
// overlap: a start waits (with the Start button disabled) until a worker that outlived its stop has
// ended. While the panel is up, the GUI thread waits for a worker at most 100 ms at a time; a worker
// that takes longer to end (a picture being saved) tells the panel when it has, through RunEnded.
#include "ui/panel/SentivoDlg.h"

#include "engine/ApplyRunSettings.h"
#include "engine/SourceOpener.h"
#include "ui/panel/PanelSession.h"
#include "settings/RunSettings.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/CountdownDlg.h"
#include "ui/dialogs/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

constexpr std::chrono::milliseconds kStopWait{100};
constexpr int kOpenPollMs = 20;   // how often the GUI looks whether the camera has opened

const char* const kFromMissing = "From email address not set. Click \"Options\" to set.";
const char* const kSmtpMissing =
    "SMTP server not set. Click \"Options\" to set. This value can be provided by your Internet "
    "Service Provider (ISP).";
const char* const kToMissing = "To email address not set. Click \"Options\" to set.";

}  // namespace

bool CSentivoDlg::workerFinishing() const
{
    return worker_ && !session_->isRunning.load(std::memory_order_relaxed);
}

bool CSentivoDlg::WaitForWorker(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        session_->DeliverPending();
        if (worker_->WaitFor(std::chrono::milliseconds(5)))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
}

void CSentivoDlg::OnStartStop()
{
    if (session_->isRunning.load(std::memory_order_relaxed))
        StopSurveillance();
    else if (!worker_)
        StartSurveillance();
}

void CSentivoDlg::StopSurveillance()
{
    if (worker_)
        worker_->RequestStop();
    if (worker_ && WaitForWorker(kStopWait))
        worker_.reset();
    startStopButton->setText(tr("&Start Surveillance"));
    EnableSwitches();
    UpdateStartButton();
}

void CSentivoDlg::EnableSwitches()
{
    faceDetectRadio->setEnabled(session_->faceDetectAvailable.load(std::memory_order_relaxed));
    motionDetectRadio->setEnabled(true);
    sendEmailsCheck->setEnabled(true);
}

void CSentivoDlg::StartSurveillance()
{
    SessionState& s = *session_;
    disarmedRemotely_ = false;
    ShowRunStatus({});   // the last run's end is old news now
    if (!ReadRunSettings())
        return;
    // The last choice, for sentivo --arm.
    WriteNamedSetting(SETTING_SEND_EMAILS, sendEmailsCheck->isChecked() ? "1" : "0");
    WriteNamedSetting(SETTING_DETECT_MODE, faceDetectRadio->isChecked() ? "FACE" : "MOTION");
    faceDetectRadio->setEnabled(false);
    motionDetectRadio->setEnabled(false);
    sendEmailsCheck->setEnabled(false);
    detectionButton->setEnabled(false);
    notificationsButton->setEnabled(false);

    SurveillanceEnvironment env = makeEnvironment_();
    std::unique_ptr<FrameSource> camera = OpenCamera(env);
    if (!camera && !quitting_) {
        if (env.record)
            env.record({.kind = "arming failed", .note = kNoCameraMessage});
        AppMessageBox(QString::fromLatin1(kNoCameraMessage));
    }
    if (camera && !quitting_) {
        if (env.record)
            env.record({.kind = "arming"});
        CCountdownDlg countdown;
        countdown.delaySeconds = s.delayToLeaveRoom.load(std::memory_order_relaxed);
        countdown.exec();
        if (quitting_ && env.record)
            env.record({.kind = "run ended", .note = "quit during the countdown"});
    }
    if (!camera || quitting_) {
        EnableSwitches();
        UpdateStartButton();
        return;
    }
    startStopButton->setText(tr("&Stop Surveillance"));
    worker_ = std::make_unique<SurveillanceWorker>(session_, std::move(env), std::move(camera));
}

// Opens the run's camera on a thread of its own while the panel's events go on (a stream can take
// seconds); Start stays disabled meanwhile. Null when there is none.
std::unique_ptr<FrameSource> CSentivoDlg::OpenCamera(const SurveillanceEnvironment& env)
{
    startStopButton->setEnabled(false);
    SourceOpener opener(env.openSource);
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (opener.Done())
            loop.quit();
    });
    poll.start(kOpenPollMs);
    if (!opener.Done())
        loop.exec();
    return opener.Take();
}

void CSentivoDlg::RemoteCommand(bool arm)
{
    const bool running = session_->isRunning.load(std::memory_order_relaxed);
    if (arm && !running && !worker_ && !quitting_) {
        StartSurveillance();
    } else if (!arm && running) {
        disarmedRemotely_ = true;   // until the next start
        StopSurveillance();
        ShowRunStatus("Disarmed remotely");
    }
}

void CSentivoDlg::QuitFromOutside()
{
    quitting_ = true;
    // Each dialog over the panel is asked once to close; one that first ends its work (the Options
    // dialog stopping a test e-mail) closes a moment later, and the panel's run ends after it.
    QWidget* asked = nullptr;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == this || modal == asked)
            break;
        asked = modal;
        modal->close();
    }
    accept();
}

bool CSentivoDlg::ReadRunSettings()
{
    RunSettings settings = ::ReadRunSettings();
    if (const StoredMailSetting* unusable = settings.FirstUnusableMail()) {
        AppMessageBox(QString::fromLatin1(unusable->settingId == SETTING_FROM_ADDRESS ? kFromMissing
                                          : unusable->settingId == SETTING_SMTP_SERVER ? kSmtpMissing
                                                                                       : kToMissing));
        return false;
    }
    // The panel's controls hold the delays and the two switches, whatever the store says.
    SessionState& s = *session_;
    settings.delayToLeaveRoom = s.delayToLeaveRoom.load(std::memory_order_relaxed);
    settings.delayBetweenSends = s.delayBetweenSends.load(std::memory_order_relaxed);
    settings.delayBeforeAlarm = s.delayBeforeAlarm.load(std::memory_order_relaxed);
    settings.sendEmails = sendEmailsCheck->isChecked();
    settings.faceDetect = faceDetectRadio->isChecked();
    ApplyRunSettings(settings, defaultPicturesFolder_, s);
    ShowSettingsProblems(settings.detectionProblems);
    return true;
}

void CSentivoDlg::OnWorkerEnded()
{
    if (!worker_)
        return;
    // The worker's last act was to post this; it is about to return, so the wait is short. Should
    // it not have returned yet, the panel looks again a moment later.
    if (!WaitForWorker(kStopWait)) {
        QTimer::singleShot(kStopWait, this, [this, worker = worker_.get()] {
            if (worker_.get() == worker)
                OnWorkerEnded();
        });
        return;
    }
    // Not stopped: the run ended by itself (a key in the preview, end of the video).
    const bool endedByItself = session_->isRunning.load(std::memory_order_relaxed);
    worker_.reset();
    if (endedByItself) {
        // Back to idle at once rather than offering to stop a run that no longer exists.
        startStopButton->setText(tr("&Start Surveillance"));
        EnableSwitches();
    }
    UpdateStartButton();
}
