#pragma once
// The control panel (template 102): the program's main window. It owns the state that surveillance
// runs share (PanelSession), shows the delays, the switches, the picture counter and the alert bar,
// and starts and stops the worker.

#include "engine/SurveillanceEnvironment.h"
#include "engine/SurveillanceWorker.h"
#include "ui/dialogs/FrameGrabber.h"
#include "ui/panel/MailServices.h"

#include <QDialog>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class PanelSession;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

class CSentivoDlg : public QDialog {
    Q_OBJECT
public:
    // makeEnvironment gives the parts of each run (camera, detectors, mail, preview).
    explicit CSentivoDlg(SurveillanceEnvironmentFactory makeEnvironment, QWidget* parent = nullptr);
    ~CSentivoDlg() override;

    // Initialises, runs the panel modally, then destroys its window (saving the delays and stopping
    // a run). Answers the modal result.
    int DoModal();

    SessionState& state();
    std::shared_ptr<SessionState> sharedState() const;
    bool emailSettingsValid() const { return emailSettingsValid_; }
    bool workerFinishing() const;
    // The mail sender's parts (before DoModal): the status line below the controls then shows
    // its state about once a second, Email Options tells it when the settings changed, and a
    // credentials file others can read is reported there and in the log. Without it the status
    // line stays empty.
    void SetMailServices(MailServices services);
    // Where pictures go while the Detection dialog names no folder; empty: the working folder.
    void SetDefaultPicturesFolder(std::string folder) { defaultPicturesFolder_ = std::move(folder); }

    // Handlers, public so that tests can reach them the way the controls do.
    void OnInitDialog();
    void OnSysCommand(unsigned commandId);
    void OnStartStop();
    void OnEmailOptions();
    void OnSendEmails();
    void OnDeltaPosLeaveRoom(int delta);
    void OnDeltaPosBeforeAlarm(int delta);
    void OnDeltaPosBetweenSends(int delta);
    void OnRevertDefaults();
    // "&Detection...": sensitivity, light guard, detection area and pictures folder, with one frame
    // of the run's camera to paint the area on.
    void OnDetectionOptions();
    // "&Notifications...": the MQTT and push settings; saved ones restart the channels. Not while
    // a run (or what is left of one) uses them.
    void OnNotifications();
    void DestroyWindow();
    // The panel's context menu: Close, then a separator and the About entry.
    void FillContextMenu(QMenu& menu);

    // What the worker's operations do on the GUI thread (see PanelSession).
    void ShowPicturesTaken(int count);
    void ShowAlertLevel(float seconds);
    void SetAlertRange(int maxMilliseconds);
    void SelectMotionDetect();
    void ShowRunMessage(const std::string& text);
    // How the run goes (or why it ended), first on the status line until the next start.
    void ShowRunStatus(const std::string& text);
    void OnWorkerEnded();

    // "&Quit": reads the delays back from their edits, then ends the modal run.
    void accept() override;
    // "&Quit" asked from outside the window (SIGTERM): dialogs open over the panel are closed
    // first, and a start waiting in its countdown is abandoned.
    void QuitFromOutside();
    // A remote command with the right code (MQTT): arm as Start does, countdown included, or
    // disarm as Stop does, telling "Disarmed remotely". One that asks for what is so is ignored.
    void RemoteCommand(bool arm);

    QLineEdit* leaveRoomEdit = nullptr;
    QLineEdit* betweenSendsEdit = nullptr;
    QLineEdit* beforeAlarmEdit = nullptr;
    QRadioButton* motionDetectRadio = nullptr;
    QRadioButton* faceDetectRadio = nullptr;
    QCheckBox* sendEmailsCheck = nullptr;
    QProgressBar* alertProgress = nullptr;
    QLineEdit* picturesTakenEdit = nullptr;
    QPushButton* startStopButton = nullptr;
    QPushButton* detectionButton = nullptr;
    QPushButton* notificationsButton = nullptr;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // What the Detection dialogs paint on, made on the GUI thread to run off it: one frame of the
    // run's source as RGB888, null when there is none; a null job when there is no source at all.
    CFrameGrabber::Job PrepareFrameGrab();
    void BindControls();
    void ConnectHandlers();
    void ProbeEmailSettings();
    void LoadDelays();
    void ShowDelays();
    void StartSurveillance();
    std::unique_ptr<FrameSource> OpenCamera(const SurveillanceEnvironment& env);
    void StopSurveillance();
    // The run's settings (RunSettings) into its state with the panel's delays and switches, and
    // picture numbers past those in its folder; false, after telling the user which, when an
    // e-mail setting is missing or not valid. Unusable detection settings go on the status line.
    bool ReadRunSettings();
    // Settings that were unusable, logged and shown on the status line until the next start.
    void ShowSettingsProblems(const std::vector<std::string>& problems);
    void EnableSwitches();
    // Waits up to limit for the worker to end, carrying out its control updates meanwhile.
    bool WaitForWorker(std::chrono::milliseconds limit);
    void UpdateStartButton();
    void CheckCredentialsFile();
    void RefreshMailStatus();

    SurveillanceEnvironmentFactory makeEnvironment_;
    std::string defaultPicturesFolder_;
    std::shared_ptr<PanelSession> session_;
    std::unique_ptr<SurveillanceWorker> worker_;
    CFrameGrabber* frameGrabber_ = nullptr;
    QObject* splashFilter_ = nullptr;
    bool emailSettingsValid_ = true;
    // The e-mail gate's verdict on the Start button; a finishing worker also keeps it disabled.
    bool startAllowedByGate_ = true;
    bool initialised_ = false;
    bool destroyed_ = false;
    bool quitting_ = false;
    bool disarmedRemotely_ = false;   // the run's end is told as "Disarmed remotely"
    MailServices mail_;
    QLabel* mailStatusLabel_ = nullptr;
    QTimer* mailStatusTimer_ = nullptr;
    QString credentialsNotice_;   // shown above the mail status
    QString runStatus_;           // shown first; set by the run, kept until the next start
    QStringList settingsNotices_;  // shown after it: what the last reading of settings refused
};
