// The panel from start-up: the e-mail settings probe, Start's gate on them, the three delays.
#include "tests/ui/panel/PanelHarness.h"

constexpr int kUp = -1;   // the up arrow reports a negative delta, as a default-range up-down control
constexpr int kDown = 1;

TEST_F(PanelTest, StartUpAsksForMissingEmailSettingsAndSendEmailsGatesStartOnThem)
{
    for (const char* to : {"owner@mail.org", ""}) {
        StoreEmailSettings("alarm@home.net", to, "smtp.home.net");
        QStringList opened;
        const auto answerer = AnswerModals([&](QDialog* options) { opened << options->windowTitle(); options->reject(); });
        auto panel = OpenPanel();
        const bool valid = *to;
        EXPECT_EQ(opened, valid ? QStringList() : QStringList{"Options"});
        EXPECT_EQ(panel->sendEmailsCheck->isChecked(), valid);
        EXPECT_TRUE(panel->faceDetectRadio->isChecked());
        EXPECT_EQ(panel->picturesTakenEdit->text(), "0");
        EXPECT_EQ(panel->leaveRoomEdit->text() + " " + panel->beforeAlarmEdit->text() + " " + panel->betweenSendsEdit->text(),
                  "10.0 10.0 2.0");
        EXPECT_TRUE(panel->startStopButton->isEnabled());
        panel->sendEmailsCheck->click();   // "Send emails" on with invalid settings closes the gate
        EXPECT_EQ(panel->startStopButton->isEnabled(), valid);
        panel->sendEmailsCheck->click();
        EXPECT_TRUE(panel->startStopButton->isEnabled());
        if (!valid)   // Cancel in Email Options changes nothing stored, so it leaves the gate as it was
            panel->sendEmailsCheck->click();
        panel->OnEmailOptions();
        EXPECT_EQ(panel->startStopButton->isEnabled(), valid) << to;
        EXPECT_EQ(panel->emailSettingsValid(), valid);
    }
}

// The detector and "Send emails" come up as the last start saved them (what `sentivo --arm`
// takes); unknown or absent values give face detection, and mails whenever the settings allow.
TEST_F(PanelTest, StartsWithTheStoredDetectorAndSendEmailsChoice)
{
    const struct { const char *mode, *send; bool motion, sendEmails; } rows[] = {
        {nullptr, nullptr, false, true}, {"MOTION", "0", true, false}, {"FACE", "1", false, true},
        {"MOTION", "1", true, true},     {"motion", "no", false, true},
    };
    for (const auto& row : rows) {   // the first finds neither stored
        if (row.mode)
            WriteNamedSetting(SETTING_DETECT_MODE, row.mode), WriteNamedSetting(SETTING_SEND_EMAILS, row.send);
        auto panel = OpenPanel();
        SCOPED_TRACE(row.mode ? row.mode : "none");
        EXPECT_EQ(panel->motionDetectRadio->isChecked(), row.motion);
        EXPECT_EQ(panel->faceDetectRadio->isChecked(), !row.motion);
        EXPECT_EQ(panel->state().faceDetectMode, !row.motion);
        EXPECT_EQ(panel->sendEmailsCheck->isChecked(), row.sendEmails);
        EXPECT_TRUE(panel->startStopButton->isEnabled());
    }
}

TEST_F(PanelTest, DelaysReadAsAtofReadsRefuseWhatIsNoDelayAndStepDownToTheirMinimums)
{
    // The text stored for a delay, the steps made, what the panel shows; a refused text gives the
    // default and a note, and stays in the file: the user's own value is saved only on Quit.
    struct Row { int setting; const char* text; int delta, times; const char* shown; bool refused = false; } const rows[] = {
        {SETTING_DELAY_TO_LEAVE_ROOM, "abc", kUp, 0, "10.0", true}, {SETTING_DELAY_BEFORE_ALARM, "nan", kUp, 0, "10.0", true},
        {SETTING_DELAY_BETWEEN_SENDS, "inf", kUp, 0, "2.0", true},  {SETTING_DELAY_TO_LEAVE_ROOM, "-5", kUp, 0, "10.0", true},
        {SETTING_DELAY_BEFORE_ALARM, "0", kUp, 0, "0.0"},           {SETTING_DELAY_BEFORE_ALARM, "12abc", kUp, 0, "12.0"},
        {SETTING_DELAY_BETWEEN_SENDS, "", kUp, 0, "2.0"},           {SETTING_DELAY_BETWEEN_SENDS, "", kUp, 1, "2.1"},
        {SETTING_DELAY_BETWEEN_SENDS, "", kDown, 20, "1.0"},        {SETTING_DELAY_TO_LEAVE_ROOM, "10", kUp, 10, "11.0"},
        {SETTING_DELAY_TO_LEAVE_ROOM, "2.0", kDown, 1, "2.0"},      {SETTING_DELAY_BEFORE_ALARM, "0.5", kDown, 1, "2.0"},
    };
    void (CSentivoDlg::*const steps[])(int) = {&CSentivoDlg::OnDeltaPosLeaveRoom, &CSentivoDlg::OnDeltaPosBetweenSends,
                                               &CSentivoDlg::OnDeltaPosBeforeAlarm};
    for (const Row& row : rows) {
        StoreSetting(row.setting, row.text);
        auto panel = OpenPanel();
        const int delay = row.setting - SETTING_DELAY_TO_LEAVE_ROOM;   // the settings' order: leave, between, before
        for (int i = 0; i < row.times; ++i)
            ((*panel).*steps[delay])(row.delta);
        const QLineEdit* edits[] = {panel->leaveRoomEdit, panel->betweenSendsEdit, panel->beforeAlarmEdit};
        EXPECT_EQ(edits[delay]->text(), row.shown) << row.text << " " << row.times;
        const char* const names[] = {"DELAY_TO_LEAVE_ROOM", "DELAY_BETWEEN_SENDS", "DELAY_BEFORE_ALARM"};
        const QString note = QString("%1 \"%2\" is not a valid delay: %3 used").arg(names[delay], row.text, row.shown);
        EXPECT_EQ(StatusLine(*panel), row.refused ? note : "") << row.text;
        EXPECT_EQ(StoredText(row.setting), row.text);
    }
}

TEST_F(PanelTest, QuitEscapeAndTheCloseBoxSaveTheDelays)
{
    const std::function<void(CSentivoDlg&)> closers[] = {
        [](CSentivoDlg& panel) { panel.accept(); },   // "&Quit"
        [](CSentivoDlg& panel) { QTest::keyClick(&panel, Qt::Key_Escape); },
        [](CSentivoDlg& panel) { panel.close(); },
    };
    for (const auto& close : closers) {
        StoreSetting(SETTING_DELAY_TO_LEAVE_ROOM, "5.0");
        CSentivoDlg panel([] { return SurveillanceEnvironment(); });
        const auto answerer = AnswerModals([&](QDialog*) { panel.OnDeltaPosLeaveRoom(kUp); close(panel); });
        panel.DoModal();
        EXPECT_EQ(StoredText(SETTING_DELAY_TO_LEAVE_ROOM) + " " + StoredText(SETTING_DELAY_BETWEEN_SENDS) + " "
                      + StoredText(SETTING_DELAY_BEFORE_ALARM), "5.1 2.0 10.0");
    }
}
