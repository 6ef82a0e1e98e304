// The one message box helper: the real box's caption, icon and button, and the test capture.

#include "ui/dialogs/MessageBox.h"
#include "tests/ui/dialogs/ShellTestSupport.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>

class MessageBoxTest : public GuiTest {};

TEST_F(MessageBoxTest, RealBoxIsAWarningWithOkCaptionedWithTheProgramName)
{
    EXPECT_EQ(QCoreApplication::applicationName(), "shell_tests");
    bool seen = false;
    WhenModal(
        [](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), "shell_tests");
            EXPECT_EQ(box->text(), "\"To\" email is invalid");
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        },
        &seen);
    AppMessageBox("\"To\" email is invalid");
    EXPECT_TRUE(seen);
}

TEST_F(MessageBoxTest, InnermostCaptureTakesTheTextsInOrder)
{
    MessageBoxCapture outer;
    AppMessageBox("first");
    {
        MessageBoxCapture inner;
        AppMessageBox("second");
        AppMessageBox("third");
        EXPECT_EQ(inner.texts(), (QStringList{"second", "third"}));
    }
    AppMessageBox("fourth");
    EXPECT_EQ(outer.texts(), (QStringList{"first", "fourth"}));
    EXPECT_EQ(TopLevelCount(), 0) << "nothing was shown";
}
