// The control panel's three delays: spin steps, revert, load at initialisation (an unusable stored
// value gives the default and a note, and is left in the file), read-back on "&Quit" and save when
// the window is destroyed.
#include "ui/panel/SentivoDlg.h"

#include "settings/DelayText.h"
#include "ui/panel/PanelSession.h"
#include "settings/SettingsStore.h"

#include <QLineEdit>
#include <QTimer>

namespace {

constexpr float kMinimumLeaveRoom = 2.0f;
constexpr float kMinimumBeforeAlarm = 2.0f;
constexpr float kMinimumBetweenSends = 1.0f;

float Load(const std::atomic<float>& delay) { return delay.load(std::memory_order_relaxed); }
void Store(std::atomic<float>& delay, float value) { delay.store(value, std::memory_order_relaxed); }

void Show(QLineEdit* edit, float delay) { edit->setText(QString::fromStdString(FormatDelay(delay))); }

void StepAndShow(std::atomic<float>& delay, int delta, float minimum, QLineEdit* edit)
{
    Store(delay, StepDelay(Load(delay), delta, minimum));
    Show(edit, Load(delay));
}

}  // namespace

void CSentivoDlg::OnDeltaPosLeaveRoom(int delta)
{
    StepAndShow(session_->delayToLeaveRoom, delta, kMinimumLeaveRoom, leaveRoomEdit);
}

void CSentivoDlg::OnDeltaPosBeforeAlarm(int delta)
{
    StepAndShow(session_->delayBeforeAlarm, delta, kMinimumBeforeAlarm, beforeAlarmEdit);
}

void CSentivoDlg::OnDeltaPosBetweenSends(int delta)
{
    StepAndShow(session_->delayBetweenSends, delta, kMinimumBetweenSends, betweenSendsEdit);
}

void CSentivoDlg::OnRevertDefaults()
{
    Store(session_->delayToLeaveRoom, DefaultDelay(SETTING_DELAY_TO_LEAVE_ROOM));
    Store(session_->delayBetweenSends, DefaultDelay(SETTING_DELAY_BETWEEN_SENDS));
    Store(session_->delayBeforeAlarm, DefaultDelay(SETTING_DELAY_BEFORE_ALARM));
    ShowDelays();
}

void CSentivoDlg::ShowDelays()
{
    Show(leaveRoomEdit, Load(session_->delayToLeaveRoom));
    Show(betweenSendsEdit, Load(session_->delayBetweenSends));
    Show(beforeAlarmEdit, Load(session_->delayBeforeAlarm));
}

void CSentivoDlg::LoadDelays()
{
    std::vector<std::string> problems;
    Store(session_->delayToLeaveRoom, ReadStoredDelay(SETTING_DELAY_TO_LEAVE_ROOM, problems));
    Store(session_->delayBetweenSends, ReadStoredDelay(SETTING_DELAY_BETWEEN_SENDS, problems));
    Store(session_->delayBeforeAlarm, ReadStoredDelay(SETTING_DELAY_BEFORE_ALARM, problems));
    ShowDelays();
    ShowSettingsProblems(problems);
}

void CSentivoDlg::accept()
{
    Store(session_->delayToLeaveRoom, ParseDelay(leaveRoomEdit->text().toStdString()));
    Store(session_->delayBetweenSends, ParseDelay(betweenSendsEdit->text().toStdString()));
    Store(session_->delayBeforeAlarm, ParseDelay(beforeAlarmEdit->text().toStdString()));
    QDialog::accept();
}

void CSentivoDlg::DestroyWindow()
{
    if (!initialised_ || destroyed_)
        return;
    destroyed_ = true;
    mailStatusTimer_->stop();
    WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, FormatDelay(Load(session_->delayToLeaveRoom)));
    WriteSetting(SETTING_DELAY_BETWEEN_SENDS, FormatDelay(Load(session_->delayBetweenSends)));
    WriteSetting(SETTING_DELAY_BEFORE_ALARM, FormatDelay(Load(session_->delayBeforeAlarm)));
    hide();
    // The window is gone, and with it the need to answer at once: a run still going is stopped and
    // given up to a second, carrying out its control updates meanwhile (the destructor waits the rest).
    if (session_->isRunning.load(std::memory_order_relaxed)) {
        session_->isRunning.store(false, std::memory_order_relaxed);
        if (worker_)
            WaitForWorker(std::chrono::milliseconds(1000));
    }
}
