// The four dialog templates as the builder makes them: every control with its id, kind, caption
// and place, the dialog-unit conversion, tab order, mnemonics and the OK/Cancel wiring.

#include "res/DialogBuilder.h"
#include "res/SpinButton.h"
#include "tests/shell/ShellTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <stdexcept>

namespace {

struct Expected {
    int id;
    const char* qtClass;
    QString caption;
    QRect units;
};

const QString q = QStringLiteral("\"");

const std::vector<Expected> kAbout = {
    {-1, "QLabel", "", {11, 17, 20, 20}},
    {-1, "QLabel", "Sentivo Version 3.2", {40, 10, 119, 8}},
    {1, "QPushButton", "OK", {178, 7, 50, 14}},
};

const std::vector<Expected> kCountdown = {
    {1016, "QProgressBar", "", {7, 10, 209, 16}},
};

const std::vector<Expected> kOptions = {
    {-1, "QLabel", q + "&From" + q + " email address:", {7, 14, 70, 8}},
    {1007, "QLineEdit", "", {82, 11, 142, 14}},
    {-1, "QLabel", q + "&To" + q + " email address:", {7, 30, 63, 8}},
    {1009, "QLineEdit", "", {82, 27, 142, 14}},
    {-1, "QLabel", "SMTP &server:", {7, 46, 46, 8}},
    {1008, "QLineEdit", "", {82, 43, 142, 14}},
    {-1, "QLabel", "Enter in the " + q + "From" + q + " email box the email you use in your email application. This must not be a web-based email account like Hotmail or Yahoo for reasons explained in Help.", {7, 65, 144, 37}},
    {-1, "QLabel", "Enter in the " + q + "To" + q + " email box an email to access subsequent surveillance photos. This should not be the same as your " + q + "From" + q + " email just in case the burglar steals your computer and gets access to your email application.", {7, 105, 148, 45}},
    {-1, "QLabel", "The SMTP server address to use can be given to you by your Internet Service Provider (ISP). This should be on their website. It should also be in the account properties of your email application.", {7, 153, 149, 45}},
    {1014, "QPushButton", "Send a test &email", {161, 65, 63, 27}},
    {1015, "QPushButton", "&Help", {161, 98, 63, 27}},
    {1, "QPushButton", "&OK", {161, 131, 63, 27}},
    {2, "QPushButton", "&Cancel", {161, 164, 63, 27}},
};

const std::vector<Expected> kPanel = {
    {-1, "QGroupBox", "Delay Settings [seconds]", {7, 7, 154, 86}},
    {-1, "QLabel", "Time to allow to leave room:", {11, 22, 89, 8}},
    {1018, "QLineEdit", "", {110, 18, 30, 14}},
    {1019, "CSpinButton", "", {141, 18, 11, 14}},
    {-1, "QLabel", "Time to allow before alarm*:", {11, 40, 88, 8}},
    {1020, "QLineEdit", "", {110, 37, 30, 14}},
    {1021, "CSpinButton", "", {141, 37, 11, 14}},
    {-1, "QLabel", "Time to allow between emails:", {11, 58, 95, 8}},
    {1022, "QLineEdit", "", {110, 56, 30, 14}},
    {1023, "CSpinButton", "", {141, 56, 11, 14}},
    {1024, "QPushButton", "&Revert to default settings", {9, 74, 84, 14}},
    {-1, "QLabel", "*Not applicable in " + q + "Face detect" + q + " mode", {94, 72, 64, 19}},
    {-1, "QLabel", "Num pictures taken:", {7, 97, 64, 8}},
    {1013, "QLineEdit", "", {78, 97, 28, 14}},
    {1025, "QCheckBox", "Send emails", {7, 112, 54, 10}},
    {-1, "QLabel", "Alert state:", {9, 129, 34, 8}},
    {1026, "QRadioButton", "Face detect", {106, 115, 54, 10}},
    {1027, "QRadioButton", "Motion detect", {106, 128, 59, 10}},
    {1017, "QProgressBar", "", {7, 142, 158, 14}},
    {1000, "QPushButton", "&Start Surveillance", {169, 7, 50, 31}},
    {1009, "QPushButton", "Email &Options", {169, 46, 50, 31}},
    {1, "QPushButton", "&Quit", {169, 85, 50, 31}},
    {57670, "QPushButton", "&Help", {144, 98, 18, 12}},
    {1010, "QPushButton", "Sentivo help and e-mail set-up", {7, 159, 212, 14}},
    {1030, "QPushButton", "H&elp", {169, 124, 50, 31}},
};

QString CaptionOf(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    return {};
}

// Dialog units to pixels, worked out here from the font rather than taken from the builder.
QRect Pixels(const QRect& units, const QFont& font)
{
    // The native measure of the average character: (advance of the 52 letters / 26 + 1) / 2.
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const double cx = ((letters / 26 + 1) / 2) / 4.0;
    const double cy = metrics.height() / 8.0;
    return QRect(int(std::lround(units.x() * cx)), int(std::lround(units.y() * cy)),
                 int(std::lround(units.width() * cx)), int(std::lround(units.height() * cy)));
}

void ExpectTemplate(int resourceId, const QString& caption, QSize units, const std::vector<Expected>& expected)
{
    SCOPED_TRACE(resourceId);
    QDialog dialog;
    BuildDialog(dialog, resourceId);
    EXPECT_EQ(dialog.windowTitle(), caption);
    EXPECT_EQ(dialog.font().pointSize(), 8);
    EXPECT_EQ(dialog.size(), Pixels(QRect(QPoint(), units), dialog.font()).size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";
    const QList<QWidget*> controls = TemplateControls(dialog);
    ASSERT_EQ(controls.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Expected& want = expected[i];
        QWidget* widget = controls[static_cast<qsizetype>(i)];
        SCOPED_TRACE(i);
        EXPECT_TRUE(widget->inherits(want.qtClass)) << widget->metaObject()->className();
        EXPECT_EQ(CaptionOf(widget), want.caption);
        if (want.id != -1) {
            EXPECT_EQ(FindControl(dialog, want.id), widget);
        }
        const QRect pixels = Pixels(want.units, dialog.font());
        if (widget->inherits("QLabel") && want.caption.isEmpty()) {
            EXPECT_EQ(widget->pos(), pixels.topLeft()) << "icon";
            EXPECT_EQ(widget->size(), QSize(32, 32)) << "icons size themselves to the image";
        } else {
            EXPECT_EQ(widget->geometry(), pixels);
        }
    }
}

QWidget* NextTabStop(QWidget* widget)
{
    do
        widget = widget->nextInFocusChain();
    while ((widget->focusPolicy() & Qt::TabFocus) != Qt::TabFocus);
    return widget;
}

void ShowActive(QWidget& window)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

}   // namespace

class DialogBuilderTest : public GuiTest {};

TEST_F(DialogBuilderTest, EveryTemplateHasItsControlsWhereTheTablesPutThem)
{
    ExpectTemplate(100, "About Sentivo", {235, 55}, kAbout);
    ExpectTemplate(134, "Please exit the room. Surveillance will begin shortly.", {223, 33}, kCountdown);
    ExpectTemplate(131, "Options", {231, 207}, kOptions);
    ExpectTemplate(102, "Sentivo V3.2", {226, 180}, kPanel);
}

TEST_F(DialogBuilderTest, UnknownTemplateThrowsAndUnknownIdFindsNothing)
{
    QDialog dialog;
    EXPECT_THROW(BuildDialog(dialog, 999), std::runtime_error);
    BuildDialog(dialog, 131);
    EXPECT_EQ(FindControl(dialog, 4242), nullptr);
    EXPECT_EQ(FindControl(dialog, -1), nullptr) << "labels have no id to be found by";
    EXPECT_EQ(FindControl<QLineEdit>(dialog, 1015), nullptr) << "1015 is a button";
    EXPECT_NE(FindControl<QPushButton>(dialog, 1015), nullptr);
}

TEST_F(DialogBuilderTest, OptionsTabOrderAndMnemonicsFollowTheTemplate)
{
    QDialog dialog;
    BuildDialog(dialog, 131);
    QWidget* expectedOrder[] = {FindControl(dialog, 1007), FindControl(dialog, 1009), FindControl(dialog, 1008),
                                FindControl(dialog, 1014), FindControl(dialog, 1015), FindControl(dialog, 1),
                                FindControl(dialog, 2)};
    for (std::size_t i = 0; i + 1 < std::size(expectedOrder); ++i)
        EXPECT_EQ(NextTabStop(expectedOrder[i]), expectedOrder[i + 1]) << i;
    const QList<QWidget*> controls = TemplateControls(dialog);
    EXPECT_EQ(qobject_cast<QLabel*>(controls[0])->buddy(), FindControl(dialog, 1007)) << "&From";
    EXPECT_EQ(qobject_cast<QLabel*>(controls[2])->buddy(), FindControl(dialog, 1009)) << "&To";
    EXPECT_EQ(qobject_cast<QLabel*>(controls[4])->buddy(), FindControl(dialog, 1008)) << "SMTP &server";
    EXPECT_TRUE(FindControl<QPushButton>(dialog, 1)->isDefault());
    EXPECT_FALSE(FindControl<QPushButton>(dialog, 2)->isDefault());
}

TEST_F(DialogBuilderTest, OkAndCancelEndTheDialog)
{
    for (const auto& [id, result] : {std::pair{1, QDialog::Accepted}, std::pair{2, QDialog::Rejected}}) {
        QDialog dialog;
        BuildDialog(dialog, 131);
        WhenModal([id](QWidget* modal) { FindControl<QPushButton>(*modal, id)->click(); });
        EXPECT_EQ(dialog.exec(), result) << id;
    }
}

TEST_F(DialogBuilderTest, PanelControlsCarryTheirStyles)
{
    QDialog dialog;
    BuildDialog(dialog, 102);
    for (int id : {1018, 1020, 1022, 1013})
        EXPECT_TRUE(FindControl<QLineEdit>(dialog, id)->isReadOnly()) << id;
    EXPECT_TRUE(FindControl<QLineEdit>(dialog, 1018)->hasFrame());
    EXPECT_FALSE(FindControl<QLineEdit>(dialog, 1013)->hasFrame()) << "the counter has no border";
    for (int id : {1024, 1000, 1009, 1, 57670, 1010, 1030})
        EXPECT_TRUE(FindControl<QPushButton>(dialog, id)->isFlat()) << id;
    EXPECT_TRUE(FindControl<QPushButton>(dialog, 1)->isDefault()) << "&Quit";
    EXPECT_FALSE(FindControl<QProgressBar>(dialog, 1017)->isTextVisible());
    EXPECT_EQ(FindControl<QProgressBar>(dialog, 1017)->value(), 0);

    auto* face = FindControl<QRadioButton>(dialog, 1026);
    auto* motion = FindControl<QRadioButton>(dialog, 1027);
    face->click();
    motion->click();
    EXPECT_FALSE(face->isChecked()) << "the two radios are one pair";
    EXPECT_TRUE(motion->isChecked());
    auto* sendEmails = FindControl<QCheckBox>(dialog, 1025);
    sendEmails->click();
    EXPECT_TRUE(sendEmails->isChecked());
    EXPECT_TRUE(motion->isChecked()) << "the check box is not part of the pair";
}

TEST_F(DialogBuilderTest, MultiLineButtonKeepsItsCaptionAndMnemonic)
{
    QDialog dialog;
    BuildDialog(dialog, 102);
    ShowActive(dialog);
    auto* start = FindControl<QPushButton>(dialog, 1000);
    QSignalSpy clicked(start, &QPushButton::clicked);
    start->setText("&Stop Surveillance");
    EXPECT_EQ(start->text(), "&Stop Surveillance");
    QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(WaitUntil([&] { return clicked.count() == 1; }, 2000))
        << "Alt+S presses the multi-line button (after the press animation)";
    EXPECT_FALSE(start->grab().isNull());
}

TEST_F(DialogBuilderTest, SpinButtonReportsUpAsMinusOneAndDownAsPlusOne)
{
    QDialog dialog;
    BuildDialog(dialog, 102);
    dialog.show();
    auto* spin = FindControl<CSpinButton>(dialog, 1019);
    ASSERT_NE(spin, nullptr);
    QSignalSpy deltas(spin, &CSpinButton::deltaPos);
    spin->StepUp();
    spin->StepDown();
    QTest::mouseClick(spin->findChild<QToolButton*>("up"), Qt::LeftButton);
    QTest::mouseClick(spin->findChild<QToolButton*>("down"), Qt::LeftButton);
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(spin, Qt::Key_Down);
    QList<int> seen;
    for (const QList<QVariant>& call : deltas)
        seen.append(call.at(0).toInt());
    EXPECT_EQ(seen, (QList<int>{-1, 1, -1, 1, -1, 1}));
}
