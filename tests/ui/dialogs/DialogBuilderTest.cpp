// The four dialog templates as the builder makes them: every control with its id, kind, caption
// and place, the dialog-unit conversion, tab order, mnemonics and the OK/Cancel wiring.

#include "ui/templates/DialogBuilder.h"
#include "ui/templates/SpinButton.h"
#include "tests/ui/dialogs/ShellTestSupport.h"

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
#include <map>
#include <stdexcept>

namespace {

// The Qt class each template kind is built as.
const char* QtClassOf(const QString& kind)
{
    static const std::map<QString, const char*> classes = {
        {"groupbox", "QGroupBox"}, {"label", "QLabel"},     {"icon", "QLabel"},
        {"edit", "QLineEdit"},     {"spin", "CSpinButton"}, {"button", "QPushButton"},
        {"defbutton", "QPushButton"}, {"checkbox", "QCheckBox"}, {"radio", "QRadioButton"},
        {"progress", "QProgressBar"},
    };
    const auto found = classes.find(kind);
    return found == classes.end() ? "unknown kind" : found->second;
}

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

// Every control of the template's data is built with its kind, caption and id, in its place.
void ExpectTemplate(int resourceId, const QString& caption, QSize units, int controlCount)
{
    SCOPED_TRACE(resourceId);
    const DialogTemplate data = LoadDialogTemplate(resourceId);
    EXPECT_EQ(data.caption, caption);
    EXPECT_EQ(data.size, units);
    ASSERT_EQ(data.controls.size(), std::size_t(controlCount));
    QDialog dialog;
    BuildDialog(dialog, resourceId);
    EXPECT_EQ(dialog.windowTitle(), caption);
    EXPECT_EQ(dialog.font().pointSize(), 8);
    EXPECT_EQ(dialog.size(), Pixels(QRect(QPoint(), units), dialog.font()).size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";
    const QList<QWidget*> controls = TemplateControls(dialog);
    ASSERT_EQ(controls.size(), controlCount);
    for (int i = 0; i < controlCount; ++i) {
        const ControlTemplate& want = data.controls[std::size_t(i)];
        QWidget* widget = controls[i];
        SCOPED_TRACE(testing::Message() << i << " " << want.caption.toStdString());
        EXPECT_TRUE(widget->inherits(QtClassOf(want.kind))) << widget->metaObject()->className();
        EXPECT_EQ(CaptionOf(widget), want.caption);
        if (want.id != -1) {
            EXPECT_EQ(FindControl(dialog, want.id), widget);
        }
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->isReadOnly(), want.has("readonly"));
            EXPECT_EQ(edit->hasFrame(), !want.has("noborder"));
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->isFlat(), want.has("flat"));
            EXPECT_EQ(button->isDefault(), want.kind == "defbutton" || want.has("default"));
        }
        const QRect pixels = Pixels(want.rect, dialog.font());
        if (want.kind == "icon") {
            EXPECT_EQ(widget->pos(), pixels.topLeft());
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
    ExpectTemplate(100, "About Sentivo", {235, 55}, 3);
    ExpectTemplate(134, "Please exit the room. Surveillance will begin shortly.", {223, 33}, 1);
    ExpectTemplate(131, "Options", {231, 207}, 13);
    ExpectTemplate(102, "Sentivo V3.2", {226, 180}, 25);
}

// Options: tab order and label buddies as the template orders them, OK and Cancel end the dialog; ids find only their own control, an unknown template throws.
TEST_F(DialogBuilderTest, OptionsWiringFollowsTheTemplate)
{
    QDialog dialog;
    EXPECT_THROW(BuildDialog(dialog, 999), std::runtime_error);
    BuildDialog(dialog, 131);
    EXPECT_EQ(FindControl(dialog, 4242), nullptr);
    EXPECT_EQ(FindControl(dialog, -1), nullptr) << "labels have no id to be found by";
    EXPECT_EQ(FindControl<QLineEdit>(dialog, 1015), nullptr) << "1015 is a button";
    const int order[] = {1007, 1009, 1008, 1014, 1015, 1, 2};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(NextTabStop(FindControl(dialog, order[i])), FindControl(dialog, order[i + 1])) << order[i];
    const QList<QWidget*> controls = TemplateControls(dialog);
    for (int i : {0, 1, 2})
        EXPECT_EQ(qobject_cast<QLabel*>(controls[2 * i])->buddy(), FindControl(dialog, order[i])) << i;

    for (const auto& [id, result] : {std::pair{1, QDialog::Accepted}, std::pair{2, QDialog::Rejected}}) {
        WhenModal([id](QWidget* modal) { FindControl<QPushButton>(*modal, id)->click(); });
        EXPECT_EQ(dialog.exec(), result) << id;
    }
}

TEST_F(DialogBuilderTest, PanelRadiosAreOnePair)
{
    QDialog dialog;
    BuildDialog(dialog, 102);
    EXPECT_FALSE(FindControl<QProgressBar>(dialog, 1017)->isTextVisible());
    // The two radios are one pair; the check box is not part of it.
    FindControl<QRadioButton>(dialog, 1026)->click();
    FindControl<QRadioButton>(dialog, 1027)->click();
    FindControl<QCheckBox>(dialog, 1025)->click();
    EXPECT_FALSE(FindControl<QRadioButton>(dialog, 1026)->isChecked());
    EXPECT_TRUE(FindControl<QRadioButton>(dialog, 1027)->isChecked());
    EXPECT_TRUE(FindControl<QCheckBox>(dialog, 1025)->isChecked());
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
    ASSERT_EQ(deltas.size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(deltas.at(i).at(0).toInt(), i % 2 ? 1 : -1) << i;
}
