// The three delays: spin steps in single precision with their minimums, loading with atof's
// reading, revert, and what the store holds after the panel closes.
#include "settings/DelayText.h"
#include "ui/panel/SentivoDlg.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/SplashWindow.h"
#include "tests/ui/panel/PanelHarness.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <clocale>

namespace {

class PanelDelays : public testing::Test {
protected:
    void TearDown() override { ExpectNoWindowLeft(); }
    void SetUp() override { StoreEmailSettings("alarm@home.net", "owner@mail.org", "smtp.home.net"); }

    TestDirectory dir;
    MessageBoxCapture messages;
};

constexpr int kUp = -1;     // the up arrow of a default-range spin control reports a negative delta
constexpr int kDown = 1;

TEST(DelayText, StepsInSinglePrecisionAndHoldsTheMinimum)
{
    EXPECT_EQ(FormatDelay(StepDelay(2.0f, kUp, 1.0f)), "2.1");
    EXPECT_EQ(StepDelay(1.0f, kDown, 1.0f), 1.0f);
    EXPECT_EQ(StepDelay(2.1f, kDown, 2.0f), 2.0f);
    EXPECT_EQ(StepDelay(0.5f, kUp, 2.0f), 2.0f);
    EXPECT_EQ(StepDelay(0.5f, kDown, 2.0f), 2.0f);
    EXPECT_EQ(StepDelay(5.0f, 0, 2.0f), 5.0f + 0.1f) << "a zero delta raises, as any non-positive one";
    float delay = 10.0f;
    for (int i = 0; i < 10; ++i)
        delay = StepDelay(delay, kUp, 2.0f);
    EXPECT_EQ(FormatDelay(delay), "11.0");
    EXPECT_EQ(FormatDelay(StepDelay(120.0f, kUp, 2.0f)), "120.1") << "no ceiling";
}

TEST(DelayText, ReadsAsAtofDoesWhateverTheLocale)
{
    EXPECT_EQ(ParseDelay("abc"), 0.0f);
    EXPECT_EQ(ParseDelay("12abc"), 12.0f);
    EXPECT_EQ(ParseDelay("  -3.5e1x"), -35.0f);
    EXPECT_EQ(ParseDelay(""), 0.0f);
    EXPECT_EQ(FormatDelay(0.05f), "0.1");
    // A desktop with a decimal comma must not change the stored texts.
    const char* previous = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(ParseDelay("10.5"), 10.5f);
    EXPECT_EQ(FormatDelay(2.5f), "2.5");
    if (previous)
        std::setlocale(LC_NUMERIC, "C");
}

TEST_F(PanelDelays, SpinControlsStepTheirOwnDelay)
{
    CSentivoDlg panel;
    InitPanel(panel);
    panel.OnDeltaPosBetweenSends(kUp);
    EXPECT_EQ(panel.betweenSendsEdit->text(), "2.1");
    for (int i = 0; i < 20; ++i)
        panel.OnDeltaPosBetweenSends(kDown);
    EXPECT_EQ(panel.betweenSendsEdit->text(), "1.0");
    for (int i = 0; i < 10; ++i)
        panel.OnDeltaPosBeforeAlarm(kUp);
    EXPECT_EQ(panel.beforeAlarmEdit->text(), "11.0");
    EXPECT_EQ(panel.leaveRoomEdit->text(), "10.0") << "the other delays stay";
    EXPECT_FLOAT_EQ(panel.state().delayBeforeAlarm.load(), 11.0f);
}

TEST_F(PanelDelays, StoredTextsLoadAsAtofReadsThem)
{
    StoreSetting(SETTING_DELAY_TO_LEAVE_ROOM, "abc");
    StoreSetting(SETTING_DELAY_BETWEEN_SENDS, "");
    StoreSetting(SETTING_DELAY_BEFORE_ALARM, "12abc");
    CSentivoDlg panel;
    InitPanel(panel);
    EXPECT_EQ(panel.leaveRoomEdit->text(), "0.0");
    EXPECT_EQ(panel.betweenSendsEdit->text(), "2.0") << "an empty text keeps the default";
    EXPECT_EQ(panel.beforeAlarmEdit->text(), "12.0");
}

TEST_F(PanelDelays, AValueBelowTheMinimumIsTakenThenSteppedToTheMinimum)
{
    StoreSetting(SETTING_DELAY_BEFORE_ALARM, "0.5");
    CSentivoDlg panel;
    InitPanel(panel);
    EXPECT_EQ(panel.beforeAlarmEdit->text(), "0.5");
    panel.OnDeltaPosBeforeAlarm(kUp);
    EXPECT_EQ(panel.beforeAlarmEdit->text(), "2.0");
}

TEST_F(PanelDelays, RevertShowsTheDefaultsAndSavesNothing)
{
    StoreSetting(SETTING_DELAY_BETWEEN_SENDS, "7.0");
    CSentivoDlg panel;
    InitPanel(panel);
    panel.OnRevertDefaults();
    EXPECT_EQ(panel.leaveRoomEdit->text(), "10.0");
    EXPECT_EQ(panel.betweenSendsEdit->text(), "2.0");
    EXPECT_EQ(panel.beforeAlarmEdit->text(), "10.0");
    EXPECT_FLOAT_EQ(panel.state().delayBetweenSends.load(), 2.0f);
    EXPECT_EQ(StoredText(SETTING_DELAY_BETWEEN_SENDS), "7.0");
}

TEST_F(PanelDelays, QuitSavesOneDecimalTexts)
{
    {
        CSentivoDlg panel;
        WhenModalOpens([&](QWidget*) {
            if (auto* splash = CSplashWindow::CurrentSplash())
                splash->HideSplashScreen();
            panel.OnDeltaPosLeaveRoom(kUp);
            panel.accept();   // "&Quit"
        });
        panel.DoModal();
    }
    EXPECT_EQ(StoredText(SETTING_DELAY_TO_LEAVE_ROOM), "10.1");
    EXPECT_EQ(StoredText(SETTING_DELAY_BETWEEN_SENDS), "2.0");
    EXPECT_EQ(StoredText(SETTING_DELAY_BEFORE_ALARM), "10.0");
}

TEST_F(PanelDelays, EscapeSavesTheFieldsAsTheyAre)
{
    StoreSetting(SETTING_DELAY_BEFORE_ALARM, "3.25");
    {
        CSentivoDlg panel;
        WhenModalOpens([&](QWidget*) {
            if (auto* splash = CSplashWindow::CurrentSplash())
                splash->HideSplashScreen();
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&panel, &escape);
        });
        panel.DoModal();
    }
    EXPECT_EQ(StoredText(SETTING_DELAY_TO_LEAVE_ROOM), "10.0");
    EXPECT_EQ(StoredText(SETTING_DELAY_BETWEEN_SENDS), "2.0");
    EXPECT_EQ(StoredText(SETTING_DELAY_BEFORE_ALARM), "3.2") << "formatted %.1f from the float";
}

}  // namespace
