#include "ui/panel/SentivoDlg.h"

#include "engine/Milliseconds.h"
#include "engine/SurveillanceThread.h"
#include "journal/Journal.h"
#include "log/EventLog.h"
#include "ui/panel/PanelSession.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"
#include "ui/templates/SpinButton.h"
#include "ui/dialogs/OptionsDlg.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/AboutBox.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/NotificationsDlg.h"
#include "ui/dialogs/ProductWebPage.h"
#include "ui/dialogs/SplashWindow.h"
#include "ui/history/HistoryWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr unsigned kCloseCommand = 0xF060;   // the window manager's close command
constexpr std::chrono::seconds kFinalWorkerWait{10};

bool StoredEmailSettingsValid()
{
    std::string ignored;
    return ReadSetting(SETTING_FROM_ADDRESS, ignored) && ReadSetting(SETTING_TO_ADDRESS, ignored)
           && ReadSetting(SETTING_SMTP_SERVER, ignored);
}

}  // namespace

CSentivoDlg::CSentivoDlg(SurveillanceEnvironmentFactory makeEnvironment, QWidget* parent)
    : QDialog(parent), makeEnvironment_(std::move(makeEnvironment)), session_(std::make_shared<PanelSession>(this)),
      frameGrabber_(new CFrameGrabber([this] { return PrepareFrameGrab(); }, this))
{
    BuildDialog(*this, IDD_SENTIVO_DIALOG);
    // A dialog of its own on the task bar, with a close box but no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    BindControls();
    ConnectHandlers();
}

CSentivoDlg::~CSentivoDlg()
{
    DestroyWindow();
    // From here on the worker's control updates are dropped; it may still finish its last frame
    // (a picture being saved, say, or a stalled stream's 5 s read), and that is waited for, so
    // the run's pictures are in the outbox before the sender stops. A worker stuck beyond that (a
    // disk that no longer answers) would hold the program forever and cannot be left running
    // without the sender and the log it uses: the program ends without it.
    session_->Detach();
    if (worker_ && !worker_->WaitFor(kFinalWorkerWait)) {
        const std::string event = "surveillance run did not end within " + std::to_string(kFinalWorkerWait.count())
                                  + " s of closing: Sentivo ends without it";
        if (mail_.log)
            mail_.log->Write(event);
        else
            std::fprintf(stderr, "sentivo: %s\n", event.c_str());
        std::_Exit(EXIT_FAILURE);
    }
    worker_.reset();
    if (splashFilter_)
        qApp->removeEventFilter(splashFilter_);
}

SessionState& CSentivoDlg::state() { return *session_; }

std::shared_ptr<SessionState> CSentivoDlg::sharedState() const { return session_; }

void CSentivoDlg::BindControls()
{
    leaveRoomEdit = RequiredControl<QLineEdit>(*this, 1018);
    betweenSendsEdit = RequiredControl<QLineEdit>(*this, 1022);
    beforeAlarmEdit = RequiredControl<QLineEdit>(*this, 1020);
    motionDetectRadio = RequiredControl<QRadioButton>(*this, 1027);
    faceDetectRadio = RequiredControl<QRadioButton>(*this, 1026);
    sendEmailsCheck = RequiredControl<QCheckBox>(*this, 1025);
    alertProgress = RequiredControl<QProgressBar>(*this, 1017);
    picturesTakenEdit = RequiredControl<QLineEdit>(*this, 1013);
    startStopButton = RequiredControl<QPushButton>(*this, 1000);
    detectionButton = RequiredControl<QPushButton>(*this, 1036);
    notificationsButton = RequiredControl<QPushButton>(*this, 1038);
    mailStatusLabel_ = RequiredControl<QLabel>(*this, 1031);
}

void CSentivoDlg::ConnectHandlers()
{
    connect(startStopButton, &QPushButton::clicked, this, [this] { OnStartStop(); });
    connect(RequiredControl<QPushButton>(*this, 1009), &QPushButton::clicked, this, [this] { OnEmailOptions(); });
    connect(sendEmailsCheck, &QCheckBox::clicked, this, [this] { OnSendEmails(); });
    connect(RequiredControl<QPushButton>(*this, 1024), &QPushButton::clicked, this, [this] { OnRevertDefaults(); });
    connect(detectionButton, &QPushButton::clicked, this, [this] { OnDetectionOptions(); });
    connect(notificationsButton, &QPushButton::clicked, this, [this] { OnNotifications(); });
    // What the runs recorded, this one's too, read from the journal every run writes.
    connect(RequiredControl<QPushButton>(*this, 1037), &QPushButton::clicked, this,
            [this] { ShowHistoryWindow(this, DefaultJournalFile()); });
    for (int id : {1010, 1030})
        connect(RequiredControl<QPushButton>(*this, id), &QPushButton::clicked, this, [this] { OpenProductWebPage(this); });
    connect(RequiredControl<CSpinButton>(*this, 1019), &CSpinButton::deltaPos, this,
            [this](int delta) { OnDeltaPosLeaveRoom(delta); });
    connect(RequiredControl<CSpinButton>(*this, 1021), &CSpinButton::deltaPos, this,
            [this](int delta) { OnDeltaPosBeforeAlarm(delta); });
    connect(RequiredControl<CSpinButton>(*this, 1023), &CSpinButton::deltaPos, this,
            [this](int delta) { OnDeltaPosBetweenSends(delta); });
    // "&Help" (57670) has no handler: pressing it changes nothing.
    mailStatusTimer_ = new QTimer(this);
    connect(mailStatusTimer_, &QTimer::timeout, this, [this] { RefreshMailStatus(); });
}

int CSentivoDlg::DoModal()
{
    OnInitDialog();
    // A quit asked while the start-up dialogs were up (SIGTERM) ends the program before it shows.
    const int result = quitting_ ? QDialog::Accepted : exec();
    DestroyWindow();
    return result;
}

void CSentivoDlg::OnInitDialog()
{
    initialised_ = true;
    setWindowIcon(AppIcon());
    SessionState& s = *session_;
    s.capturePropertyValue.store(640480, std::memory_order_relaxed);
    // The detector and "Send emails" of the last start, as `sentivo --arm` takes them.
    const bool motion = ReadNamedSetting(SETTING_DETECT_MODE) == "MOTION";
    (motion ? motionDetectRadio : faceDetectRadio)->setChecked(true);
    s.faceDetectAvailable.store(true, std::memory_order_relaxed);
    s.faceDetectMode.store(!motion, std::memory_order_relaxed);
    picturesTakenEdit->setText(QStringLiteral("0"));
    alertProgress->setValue(0);
    s.picturesTaken.store(0, std::memory_order_relaxed);
    emailSettingsValid_ = true;
    ProbeEmailSettings();
    LoadDelays();
    // Mails are offered only with settings to send them; a stored "0" keeps them off.
    sendEmailsCheck->setChecked(emailSettingsValid_ && ReadNamedSetting(SETTING_SEND_EMAILS) != "0");
    CheckCredentialsFile();
    splashFilter_ = new SplashInputFilter(this);
    qApp->installEventFilter(splashFilter_);
    CSplashWindow::EnableSplashScreen(true);
    CSplashWindow::ShowSplashScreen(this);
}

void CSentivoDlg::ProbeEmailSettings()
{
    if (!StoredEmailSettingsValid())
        emailSettingsValid_ = RunEmailOptions(mail_.settingsChanged);
}

void CSentivoDlg::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    FillContextMenu(menu);
    menu.exec(event->globalPos());
}

void CSentivoDlg::FillContextMenu(QMenu& menu)
{
    // The window manager owns the title-bar menu here, so the About entry lives in the panel's
    // own context menu, routed as the system command it would be.
    menu.addAction(tr("&Close"), this, [this] { OnSysCommand(kCloseCommand); });
    const QString about = ResourceString(IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        menu.addSeparator();
        menu.addAction(about, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    }
}

void CSentivoDlg::OnSysCommand(unsigned commandId)
{
    if (RunAboutForSysCommand(commandId))
        return;
    if ((commandId & 0xFFF0) == kCloseCommand)
        close();
}

void CSentivoDlg::OnEmailOptions()
{
    // A cancelled dialog leaves the stored settings as they were, and with them the verdict.
    emailSettingsValid_ = RunEmailOptions(mail_.settingsChanged) || StoredEmailSettingsValid();
    // Valid settings open the gate again, also after "Send emails" had closed it.
    startAllowedByGate_ = emailSettingsValid_ || !sendEmailsCheck->isChecked();
    UpdateStartButton();
}

void CSentivoDlg::OnSendEmails()
{
    if (emailSettingsValid_)
        return;
    startAllowedByGate_ = !sendEmailsCheck->isChecked();
    UpdateStartButton();
}

void CSentivoDlg::UpdateStartButton()
{
    startStopButton->setEnabled(startAllowedByGate_ && !workerFinishing());
    // The detection dialog opens the camera: not while a run (or what is left of one) has it.
    detectionButton->setEnabled(!worker_);
    notificationsButton->setEnabled(!worker_);
}

void CSentivoDlg::OnNotifications()
{
    // A copy: the restart hands the panel new services, this function among them.
    const std::function<void()> restart = mail_.restartChannels;
    RunNotifications(this, restart);
}

void CSentivoDlg::ShowPicturesTaken(int count)
{
    picturesTakenEdit->setText(QString::asprintf("%d", count));
}

void CSentivoDlg::ShowAlertLevel(float seconds)
{
    // The bar shows full above its range (the level may wait above the threshold for the spacing
    // rule); Qt would ignore a value outside it.
    alertProgress->setValue(std::clamp(ToMilliseconds(seconds), alertProgress->minimum(), alertProgress->maximum()));
}

void CSentivoDlg::SetAlertRange(int maxMilliseconds)
{
    alertProgress->setRange(0, std::max(0, maxMilliseconds));
}

void CSentivoDlg::SelectMotionDetect()
{
    motionDetectRadio->setChecked(true);
}

void CSentivoDlg::ShowRunMessage(const std::string& text)
{
    AppMessageBox(QString::fromStdString(text));
}
