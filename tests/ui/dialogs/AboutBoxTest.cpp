// The About box and the system command that opens it.

#include "ui/dialogs/AboutBox.h"
#include "ui/templates/DialogBuilder.h"
#include "tests/ui/dialogs/ShellTestSupport.h"

#include <QLabel>
#include <QPushButton>

namespace {

// Runs the command; if an About box comes up, checks it and closes it with OK.
bool RunCommand(unsigned id, bool* boxShown)
{
    WhenModal(
        [](QWidget* modal) {
            EXPECT_TRUE(modal->inherits("CAboutBox"));
            EXPECT_EQ(modal->windowTitle(), "About Sentivo");
            FindControl<QPushButton>(*modal, 1)->click();
        },
        boxShown, 300);
    const bool handled = RunAboutForSysCommand(id);
    if (!handled)
        ProcessEvents(400);   // a box that came up late would show here; lets the poll run out
    return handled;
}

}   // namespace

class AboutBoxTest : public GuiTest {};

TEST_F(AboutBoxTest, ShowsVersionIconAndOk)
{
    CAboutBox about;
    const QList<QWidget*> controls = TemplateControls(about);
    ASSERT_EQ(controls.size(), 3);
    auto* icon = qobject_cast<QLabel*>(controls[0]);
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
    EXPECT_EQ(icon->property("iconResource").toInt(), 128);
    EXPECT_EQ(qobject_cast<QLabel*>(controls[1])->text(), "Sentivo Version 3.2");
    EXPECT_TRUE(FindControl<QPushButton>(about, 1)->isDefault());
    EXPECT_TRUE(about.windowFlags() & Qt::WindowCloseButtonHint);
}

// 16..31 (after the 0xFFF0 mask) open a fresh box; others are left to the default handling.
TEST_F(AboutBoxTest, CommandIdsSixteenToThirtyOneOpenAFreshBox)
{
    std::vector<unsigned> ids{0u, 15u, 32u, 0xF060u, 0xF010u};
    for (unsigned id = 16; id <= 31; ++id)
        ids.push_back(id);
    for (unsigned id : ids) {
        const bool expected = id >= 16 && id <= 31;
        bool shown = !expected;
        EXPECT_EQ(RunCommand(id, &shown), expected) << id;
        EXPECT_EQ(shown, expected) << id;
    }
}
