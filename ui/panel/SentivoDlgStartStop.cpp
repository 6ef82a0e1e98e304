// Starting and stopping surveillance from the control panel. A start checks the e-mail settings
// before anyone is asked to leave the room. Runs never overlap: a start waits (with the Start
// button disabled) until a worker that outlived its stop has ended. While the panel is up, the GUI
// thread waits for a worker at most 100 ms at a time; a worker that takes longer to end (a
// picture being saved) tells the panel when it has, through RunEnded.
#include "ui/panel/SentivoDlg.h"

#include "ui/panel/PanelSession.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/CountdownDlg.h"
#include "ui/dialogs/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

constexpr std::chrono::milliseconds kStopWait{100};

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
    session_->isRunning.store(false, std::memory_order_relaxed);
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
    ShowRunStatus({});   // the last run's end is old news now
    if (!ReadRunSettings())
        return;
    ReadDetectionSettingsForRun();
    s.sendEmails.store(sendEmailsCheck->isChecked(), std::memory_order_relaxed);
    s.faceDetectMode.store(faceDetectRadio->isChecked(), std::memory_order_relaxed);
    // The last choice, for sentivo --arm.
    WriteNamedSetting(SETTING_SEND_EMAILS, sendEmailsCheck->isChecked() ? "1" : "0");
    WriteNamedSetting(SETTING_DETECT_MODE, faceDetectRadio->isChecked() ? "FACE" : "MOTION");
    faceDetectRadio->setEnabled(false);
    motionDetectRadio->setEnabled(false);
    sendEmailsCheck->setEnabled(false);
    detectionButton->setEnabled(false);

    CCountdownDlg countdown;
    countdown.delaySeconds = s.delayToLeaveRoom.load(std::memory_order_relaxed);
    countdown.exec();

    if (quitting_) {
        EnableSwitches();
        UpdateStartButton();
        return;
    }
    s.isRunning.store(true, std::memory_order_relaxed);
    startStopButton->setText(tr("&Stop Surveillance"));
    worker_ = std::make_unique<SurveillanceWorker>(session_, makeEnvironment_());
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
    SessionState& s = *session_;
    std::string text;
    if (!ReadSetting(SETTING_FROM_ADDRESS, text)) {
        AppMessageBox(QString::fromLatin1(kFromMissing));
        return false;
    }
    s.fromAddress = text;
    if (!ReadSetting(SETTING_SMTP_SERVER, text)) {
        AppMessageBox(QString::fromLatin1(kSmtpMissing));
        return false;
    }
    s.smtpServer = text;
    if (!ReadSetting(SETTING_TO_ADDRESS, text)) {
        AppMessageBox(QString::fromLatin1(kToMissing));
        return false;
    }
    s.toAddress = text;
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
    worker_.reset();
    if (session_->isRunning.load(std::memory_order_relaxed)) {
        // The run ended by itself (no camera, a key in the preview, end of the video): back to
        // idle at once rather than offering to stop a run that no longer exists.
        session_->isRunning.store(false, std::memory_order_relaxed);
        startStopButton->setText(tr("&Start Surveillance"));
        EnableSwitches();
    }
    UpdateStartButton();
}
