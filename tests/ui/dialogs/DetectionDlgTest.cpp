// The Detection dialog and its Detection area dialog: what drags save, and what OK and Cancel store.

#include "ui/dialogs/DetectionAreaDlg.h"
#include "ui/dialogs/DetectionDlg.h"
#include "ui/dialogs/FrameGrabber.h"
#include "settings/DetectionSettings.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/templates/DialogBuilder.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

constexpr int IDOK = 1, IDCANCEL = 2, IDC_SENSE = 1040, IDC_LIGHT = 1041, IDC_AREA = 1042, IDC_DRAW = 1043,
              IDC_WHOLE = 1044, IDC_FOLDER = 1045, IDC_NOTE = 1047, IDC_WATCH_NONE = 1054;
static void Click(QWidget& dialog, int id) { FindControl<QPushButton>(dialog, id)->click(); }
static auto Tie(DetectionSettings s) { return std::tuple(s.sensitivity, s.lightGuard, s.maskFile, s.picturesDir); }

// After "Watch none" (OK refused: it would never alarm) a left-drag paints, a right-drag erases, on
// a picture shown between bars. Pixels two away from every edge must be exact.
TEST(DetectionArea, DragsPaintAndEraseRectanglesInPicturePixels)
{
    TestDirectory dir;
    const QImage frame = QImage((SourceDir() / "res" / "sentivo.jpg").c_str()).scaled(640, 360);
    CDetectionAreaDlg dialog(frame, {});
    MessageBoxCapture messages;
    Click(dialog, IDC_WATCH_NONE), Click(dialog, IDOK);
    EXPECT_EQ(messages.texts().size(), 1);
    QWidget* canvas = dialog.canvas();
    const QPoint a = canvas->rect().bottomRight() * 0.3, b = canvas->rect().bottomRight() * 0.7, m = (a + b) / 2;
    for (const auto& [button, to] : {std::pair{Qt::LeftButton, b}, {Qt::RightButton, m}})
        QTest::mousePress(canvas, button, {}, a), QTest::mouseMove(canvas, to),
            QTest::mouseRelease(canvas, button, {}, to);
    Click(dialog, IDOK);
    const QImage saved(dialog.savedFile());
    ASSERT_EQ(saved.size(), frame.size()) << messages.texts().join(" | ").toStdString();
    const double scale = std::min(canvas->width() / 640.0, canvas->height() / 360.0);
    const QPointF origin((canvas->width() - 640 * scale) / 2, (canvas->height() - 360 * scale) / 2);
    const QRectF painted((a - origin) / scale, (b - origin) / scale), erased((a - origin) / scale, (m - origin) / scale);
    int wrong = 0;
    for (int i = 0; i < 640 * 360; ++i) {
        const QPointF p(i % 640 + 0.5, i / 640 + 0.5);
        const auto in = [&](const QRectF& r, double d) { return r.adjusted(d, d, -d, -d).contains(p); };
        const int value = qGray(saved.pixel(i % 640, i / 640)), sure = in(painted, 2) && !in(erased, -2) ? 255 : 0;
        wrong += value % 255 != 0 || ((sure || !in(painted, -2) || in(erased, 2)) && value != sure);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(CDetectionAreaDlg(frame, dialog.savedFile()).mask(), saved) << "the stored area comes back";
}

static bool RunDetection(const std::function<void(QWidget&)>& act)
{
    QTimer::singleShot(0, qApp, [&] { act(*QApplication::activeModalWidget()); });
    CFrameGrabber noCamera({});
    return RunDetectionOptions(nullptr, noCamera);
}

// Starts from the stored values (the light guard: on), naming bad ones; OK stores what it shows, Cancel nothing.
TEST(DetectionDialog, OkStoresWhatItShowsAndCancelNothing)
{
    TestDirectory dir;
    std::string text, folder = dir.path().string(), mask = DefaultMaskFile();
    ReadSetting(SETTING_FROM_ADDRESS, text);   // the first read makes the store
    WriteNamedSetting(SETTING_SENSITIVITY, "abc");
    EXPECT_TRUE(RunDetection([&](QWidget& dialog) {
        EXPECT_TRUE(FindControl<QLabel>(dialog, IDC_NOTE)->text().contains("SENSITIVITY"));
        FindControl<QComboBox>(dialog, IDC_SENSE)->setCurrentIndex(4);
        FindControl<QLineEdit>(dialog, IDC_FOLDER)->setText(QString::fromStdString(folder));
        QTimer::singleShot(0, &dialog, [] { Click(*QApplication::activeModalWidget(), IDOK); });
        Click(dialog, IDC_DRAW);
        EXPECT_EQ(FindControl<QLineEdit>(dialog, IDC_AREA)->text().toStdString(), mask);
        Click(dialog, IDOK);
    }));
    std::vector<std::string> problems;
    EXPECT_EQ(Tie(ReadDetectionSettings(problems)), std::tuple(5, true, mask, folder));
    for (const int button : {IDCANCEL, IDOK}) {
        EXPECT_EQ(RunDetection([&](QWidget& dialog) {
            FindControl<QCheckBox>(dialog, IDC_LIGHT)->setChecked(false), Click(dialog, IDC_WHOLE), Click(dialog, button);
        }), button == IDOK);
        EXPECT_EQ(Tie(ReadDetectionSettings(problems)), std::tuple(5, button != IDOK, button == IDOK ? "" : mask, folder));
    }
    EXPECT_TRUE(problems.empty());
}
