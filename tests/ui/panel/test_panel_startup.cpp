// The control panel from start-up: initial state, the e-mail probe, the Start button's e-mail gate
// and the operations the worker calls from its own thread.
#include "ui/panel/SentivoDlg.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/dialogs/ProductWebPage.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/MessageBox.h"
#include "tests/ui/panel/PanelHarness.h"
#include "tests/support/TestDirectory.h"
#include "tests/support/qt/UrlRecorder.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <thread>

namespace {

class PanelStartup : public testing::Test {
protected:
    void TearDown() override { ExpectNoWindowLeft(); }
    TestDirectory dir;
    MessageBoxCapture messages;
};

void StoreValidEmail() { StoreEmailSettings("alarm@home.net", "owner@mail.org", "smtp.home.net"); }

TEST_F(PanelStartup, ValidSettingsAndNoDelaysGiveTheDefaults)
{
    StoreValidEmail();
    RejectModals modals;
    CSentivoDlg panel;
    InitPanel(panel);
    EXPECT_EQ(modals.rejected(), 0) << "no Options dialog with valid settings";
    EXPECT_TRUE(panel.sendEmailsCheck->isChecked());
    EXPECT_TRUE(panel.faceDetectRadio->isChecked());
    EXPECT_FALSE(panel.motionDetectRadio->isChecked());
    EXPECT_EQ(panel.picturesTakenEdit->text(), "0");
    EXPECT_EQ(panel.leaveRoomEdit->text(), "10.0");
    EXPECT_EQ(panel.beforeAlarmEdit->text(), "10.0");
    EXPECT_EQ(panel.betweenSendsEdit->text(), "2.0");
    EXPECT_EQ(panel.alertProgress->value(), 0);
    EXPECT_TRUE(panel.startStopButton->isEnabled());
    EXPECT_EQ(panel.startStopButton->text(), "&Start Surveillance");
    EXPECT_EQ(panel.windowTitle(), "Sentivo V3.2");
    EXPECT_EQ(panel.state().capturePropertyValue.load(), 640480);
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(PanelStartup, MissingToAddressOpensOptionsBeforeThePanelShows)
{
    StoreEmailSettings("alarm@home.net", "", "smtp.home.net");
    CSentivoDlg panel;
    bool panelVisibleWhenOptionsOpened = true;
    QString optionsTitle;
    WhenModalOpens([&](QWidget* dialog) {
        panelVisibleWhenOptionsOpened = panel.isVisible();
        optionsTitle = dialog->windowTitle();
        qobject_cast<QDialog*>(dialog)->reject();
    });
    InitPanel(panel);
    EXPECT_EQ(optionsTitle, "Options");
    EXPECT_FALSE(panelVisibleWhenOptionsOpened);
    EXPECT_FALSE(panel.emailSettingsValid());
    EXPECT_FALSE(panel.sendEmailsCheck->isChecked());
    EXPECT_TRUE(panel.startStopButton->isEnabled());
}

TEST_F(PanelStartup, SendEmailsClosesTheGateWhileSettingsAreInvalid)
{
    RejectModals modals;   // the start-up Options dialog is cancelled
    CSentivoDlg panel;
    InitPanel(panel);
    ASSERT_FALSE(panel.emailSettingsValid());
    panel.sendEmailsCheck->click();
    EXPECT_TRUE(panel.sendEmailsCheck->isChecked());
    EXPECT_FALSE(panel.startStopButton->isEnabled());
    panel.sendEmailsCheck->click();
    EXPECT_TRUE(panel.startStopButton->isEnabled());
}

TEST_F(PanelStartup, CancelledOptionsDisableStartWhileSendEmailsIsChecked)
{
    StoreValidEmail();
    CSentivoDlg panel;
    InitPanel(panel);
    ASSERT_TRUE(panel.sendEmailsCheck->isChecked());
    {
        RejectModals modals;
        panel.OnEmailOptions();
    }
    EXPECT_FALSE(panel.emailSettingsValid());
    EXPECT_FALSE(panel.startStopButton->isEnabled());

    // Confirming valid settings opens the gate again.
    WhenModalOpens([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->accept(); });
    panel.OnEmailOptions();
    EXPECT_TRUE(panel.emailSettingsValid());
    EXPECT_TRUE(panel.startStopButton->isEnabled());
    EXPECT_TRUE(messages.texts().isEmpty());
}

// Runs one worker operation on a thread of its own, as the worker does; the operation waits
// for the GUI thread, which keeps processing events meanwhile.
void FromWorkerThread(const std::function<void()>& operation)
{
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        operation();
        finished.store(true);
    });
    EXPECT_TRUE(WaitUntil([&] { return finished.load(); }, std::chrono::seconds(5)));
    worker.join();
}

TEST_F(PanelStartup, WorkerOperationsUpdateTheControls)
{
    StoreValidEmail();
    CSentivoDlg panel;
    InitPanel(panel);
    SessionState& state = panel.state();

    FromWorkerThread([&] { state.SetAlertRange(10000); });
    EXPECT_EQ(panel.alertProgress->maximum(), 10000);
    FromWorkerThread([&] { state.SetAlertLevel(2.5f); });
    EXPECT_EQ(panel.alertProgress->value(), 2500);
    FromWorkerThread([&] { state.SetAlertLevel(0.0009f); });
    EXPECT_EQ(panel.alertProgress->value(), 0);
    FromWorkerThread([&] { state.SetAlertLevel(12.0f); });
    EXPECT_EQ(panel.alertProgress->value(), 10000) << "a level above the threshold shows full";

    for (const char* expected : {"1", "2", "3"}) {
        FromWorkerThread([&] { state.IncrementPicturesTaken(); });
        EXPECT_EQ(panel.picturesTakenEdit->text(), expected);
    }
    EXPECT_EQ(state.picturesTaken.load(), 3);

    FromWorkerThread([&] { state.FallBackToMotionDetect(); });
    EXPECT_TRUE(panel.motionDetectRadio->isChecked());
    EXPECT_FALSE(state.faceDetectMode.load());
    EXPECT_FALSE(state.faceDetectAvailable.load());
}

TEST_F(PanelStartup, AWorkerWaitingOnThePanelIsReleasedWhenThePanelGoes)
{
    StoreValidEmail();
    auto panel = std::make_unique<CSentivoDlg>();
    InitPanel(*panel);
    std::shared_ptr<SessionState> state = panel->sharedState();
    std::atomic<bool> returned{false};
    // The GUI thread processes no events from here on, so the update can only end by release.
    std::thread worker([&] {
        state->IncrementPicturesTaken();
        state->SetAlertLevel(1.0f);
        returned.store(true);
    });
    panel.reset();
    worker.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(state->picturesTaken.load(), 1) << "the count still advances: it numbers the files";
    QApplication::processEvents();   // the dropped updates find no panel
}

TEST_F(PanelStartup, HelpAndLinkButtonsOpenTheHelpPageAndHelpCommandDoesNothing)
{
    StoreValidEmail();
    CSentivoDlg panel;
    InitPanel(panel);
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    for (int id : {1010, 1030, 57670})
        FindControl<QPushButton>(panel, id)->click();
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(recorder.urls, (QList<QUrl>{ProductWebPageUrl(), ProductWebPageUrl()}));
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(PanelStartup, ContextMenuEndsWithTheAboutEntryThatOpensTheAboutBox)
{
    StoreValidEmail();
    CSentivoDlg panel;
    InitPanel(panel);
    QMenu menu;
    panel.FillContextMenu(menu);
    const QList<QAction*> actions = menu.actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), "&About Sentivo...");
    QString opened;
    WhenModalOpens([&](QWidget* dialog) {
        opened = dialog->windowTitle();
        qobject_cast<QDialog*>(dialog)->accept();
    });
    actions.back()->trigger();
    EXPECT_EQ(opened, "About Sentivo");
    EXPECT_TRUE(panel.isVisible());
}

}  // namespace

