// The leave-the-room countdown: ticks counted, the bar's range and last position, the closing
// tick for the awkward float delays, and Enter/Esc.

#include "ui/dialogs/CountdownDlg.h"
#include "tests/ui/dialogs/ShellTestSupport.h"

#include <QKeyEvent>
#include <QProgressBar>
#include <QTest>
#include <QTimerEvent>
#include <cmath>
#include <limits>

namespace {

struct Outcome {
    int ticks = 0;
    int lastPosition = 0;
    int rangeMaximum = 0;
    int barValue = 0;
};

// Shows the dialog and hands it timer ticks until it has closed itself (a tick's id is not
// looked at, so any QTimerEvent counts).
Outcome RunTicks(float delay, int limit = 100000)
{
    CCountdownDlg dialog;
    dialog.delaySeconds = delay;
    dialog.show();
    Outcome outcome;
    outcome.rangeMaximum = dialog.ProgressBar()->maximum();
    while (dialog.isVisible() && dialog.TicksCounted() < limit) {
        QTimerEvent tick(0);
        QCoreApplication::sendEvent(&dialog, &tick);
        QCoreApplication::sendPostedEvents(&dialog);   // the close it may have posted
    }
    outcome.ticks = dialog.TicksCounted();
    outcome.lastPosition = dialog.LastPositionSent();
    outcome.barValue = dialog.ProgressBar()->value();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << "closing is the ordinary close request";
    return outcome;
}

struct Case {
    float delay;
    int ticks;
    int rangeMaximum;
};

}   // namespace

class CountdownDlgTest : public GuiTest {};

TEST_F(CountdownDlgTest, ClosesOnTheFirstTickThatReachesTheStoredDelay)
{
    const Case cases[] = {
        {10.0f, 100, 10000}, {2.0f, 20, 2000}, {2.05f, 21, 2049}, {0.1f, 2, 100},  {2.2f, 23, 2200},
        {2.3f, 23, 2299},    {2.4f, 25, 2400}, {2.5f, 25, 2500},  {0.0f, 1, 1},    {-3.0f, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delay);
        const Outcome outcome = RunTicks(c.delay);
        EXPECT_EQ(outcome.ticks, c.ticks);
        EXPECT_EQ(outcome.lastPosition, c.ticks * 100);
        EXPECT_EQ(outcome.rangeMaximum, c.rangeMaximum);
        EXPECT_EQ(outcome.barValue, outcome.rangeMaximum) << "the bar ends full";
    }
}

TEST_F(CountdownDlgTest, LongDelayFillsTheBarOverTheWholeDelay)
{
    CCountdownDlg dialog;
    dialog.delaySeconds = 70.0f;
    dialog.show();
    EXPECT_EQ(dialog.ProgressBar()->maximum(), 70000) << "no 16-bit range (70000 would keep 4464)";
    for (int i = 0; i < 350; ++i) {
        QTimerEvent tick(0);
        QCoreApplication::sendEvent(&dialog, &tick);
    }
    EXPECT_EQ(dialog.ProgressBar()->value(), 35000) << "half the delay, half the bar";
    dialog.close();
    const Outcome outcome = RunTicks(70.0f);
    EXPECT_EQ(outcome.ticks, 700);
    EXPECT_EQ(outcome.lastPosition, 70000);

    // Delays without an integer count end at once or hold the range.
    EXPECT_EQ(RunTicks(std::numeric_limits<float>::quiet_NaN()).ticks, 1) << "not a number counts as over";
    const Outcome infinite = RunTicks(std::numeric_limits<float>::infinity(), 5);
    EXPECT_EQ(infinite.rangeMaximum, std::numeric_limits<int>::max());
    EXPECT_EQ(infinite.ticks, 5) << "still counting";
}

// A real 100 ms timer drives the modal countdown; the window offers no close box.
TEST_F(CountdownDlgTest, RealTimerRunsTheModalCountdown)
{
    CCountdownDlg dialog;
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowTitleHint);
    dialog.delaySeconds = 0.25f;   // exact: closes on the third tick
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.TicksCounted(), 3);
    EXPECT_EQ(dialog.LastPositionSent(), 300);
    EXPECT_EQ(dialog.ProgressBar()->value(), 250);
}

TEST_F(CountdownDlgTest, EnterAndEscEndItAtOnce)
{
    for (const auto& [key, result] : {std::pair{Qt::Key_Return, QDialog::Accepted},
                                      std::pair{Qt::Key_Enter, QDialog::Accepted},
                                      std::pair{Qt::Key_Escape, QDialog::Rejected}}) {
        CCountdownDlg dialog;
        dialog.delaySeconds = 60.0f;
        WhenModal([key](QWidget* modal) { QTest::keyClick(modal, key); });
        EXPECT_EQ(dialog.exec(), result) << key;
        EXPECT_LT(dialog.TicksCounted(), 600);
    }
}
