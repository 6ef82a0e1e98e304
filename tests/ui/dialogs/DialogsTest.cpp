// The small windows: countdown, where the help page opens, Tab order, and the splash.

#include "ui/dialogs/CountdownDlg.h"
#include "ui/dialogs/NotificationsDlg.h"
#include "ui/dialogs/OptionsDlg.h"
#include "ui/dialogs/ProductWebPage.h"
#include "ui/dialogs/SplashWindow.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/panel/SentivoDlg.h"
#include "ui/templates/Resources.h"
#include "tests/support/TestDirectory.h"
#include "tests/support/qt/UrlRecorder.h"

#include <QDesktopServices>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <cmath>
#include <gtest/gtest.h>

static QProgressBar& Bar(const CCountdownDlg& dialog) { return *FindControl<QProgressBar>(dialog, 1016); }

// Ticks are handed in until the countdown closes itself: the closing tick is the first whose
// elapsed time reaches the delay as the float stores it, and the bar's range is the delay in
// whole milliseconds, never cut to 16 bits (70 s would keep 4464), so half-way is half the bar.
TEST(Dialogs, CountdownClosesOnTheTickThatReachesTheStoredDelay)
{
    const struct { float delay; int ticks, rangeMaximum; } cases[] = {
        {10.0f, 100, 10000}, {2.0f, 20, 2000}, {2.05f, 21, 2049}, {0.1f, 2, 100}, {2.2f, 23, 2200},
        {2.3f, 23, 2299},    {2.4f, 25, 2400}, {2.5f, 25, 2500},  {0.0f, 1, 1},   {-3.0f, 1, 1},
        {70.0f, 700, 70000}, {NAN, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delay);
        CCountdownDlg dialog;
        dialog.delaySeconds = c.delay;
        dialog.show();
        EXPECT_EQ(Bar(dialog).maximum(), c.rangeMaximum);
        int sent = 0;
        for (; dialog.isVisible() && sent < 800; ++sent) {
            if (sent == c.ticks / 2) {
                EXPECT_EQ(Bar(dialog).value(), std::min(sent * 100, c.rangeMaximum)) << "at half-way";
            }
            QTimerEvent tick(0);
            QCoreApplication::sendEvent(&dialog, &tick);
            QCoreApplication::sendPostedEvents(&dialog);   // the close it may have posted
        }
        EXPECT_EQ(sent, c.ticks);
        EXPECT_EQ(Bar(dialog).value(), c.rangeMaximum) << "the bar ends full";
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << "it ends as a plain close";
    }
}

// Its own 100 ms timer ends it (0.25 s: on the third tick), or Enter or Esc at once. No close box.
TEST(Dialogs, CountdownEndsOnItsOwnTimerOrAtOnceOnEnterOrEsc)
{
    CCountdownDlg timed;
    timed.delaySeconds = 0.25f;
    EXPECT_FALSE(timed.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(timed.exec(), QDialog::Rejected);
    EXPECT_EQ(Bar(timed).value(), 250);
    for (const auto& [key, result] : {std::pair{Qt::Key_Return, QDialog::Accepted},
                                      std::pair{Qt::Key_Enter, QDialog::Accepted},
                                      std::pair{Qt::Key_Escape, QDialog::Rejected}}) {
        CCountdownDlg dialog;
        dialog.delaySeconds = 60.0f;
        dialog.show();
        QTest::keyClick(&dialog, key);
        EXPECT_FALSE(dialog.isVisible()) << key;
        EXPECT_EQ(dialog.result(), result) << key;
    }
}

// The help buttons of the panel (the link and "H&elp") and of the Options dialog hand the page to
// the desktop; where the desktop has no way to open it (no xdg-open, no browser on the PATH) it
// comes up in a help window of the dialog's own, one however often it is asked for.
TEST(Dialogs, HelpButtonsOpenThePageOnTheDesktopElseInAWindowOfTheirOwn)
{
    TestDirectory dir;   // an empty folder for the PATH
    const std::function<std::unique_ptr<QDialog>()> dialogs[] = {
        [] { return std::make_unique<CSentivoDlg>(SurveillanceEnvironmentFactory()); },
        [] { return std::make_unique<COptionsDlg>(); },
        [] { return std::make_unique<CNotificationsDlg>(); },
    };
    const std::pair<int, int> buttons[] = {{0, 1010}, {0, 1030}, {1, 1015}};
    const QByteArray path = qgetenv("PATH");
    for (const bool desktopHandler : {true, false}) {
        UrlRecorder desktop;
        if (desktopHandler)
            QDesktopServices::setUrlHandler("file", &desktop, "open");
        else
            qputenv("PATH", QFile::encodeName(QString::fromStdString(dir.path().string())));
        for (const auto& [dialogIndex, id] : buttons) {
            SCOPED_TRACE(std::to_string(id) + (desktopHandler ? " with a handler" : " without"));
            const std::unique_ptr<QDialog> dialog = dialogs[dialogIndex]();
            for (int click = 0; click < 2; ++click)
                FindControl<QPushButton>(*dialog, id)->click();
            const auto windows = dialog->findChildren<QTextBrowser*>();
            EXPECT_EQ(desktop.urls.size(), desktopHandler ? 2 : 0);
            EXPECT_TRUE(desktop.urls.count(ProductWebPageUrl()) == desktop.urls.size());
            desktop.urls.clear();
            ASSERT_EQ(windows.size(), desktopHandler ? 0 : 1);
            if (desktopHandler)
                continue;
            EXPECT_TRUE(windows[0]->isWindow() && windows[0]->isVisible());
            EXPECT_EQ(windows[0]->source(), ProductWebPageUrl());
            EXPECT_TRUE(windows[0]->toPlainText().contains("app password"));
        }
        QDesktopServices::unsetUrlHandler("file");
        qputenv("PATH", path);
    }
}

// Tab goes through a dialog as it is read: top to bottom, and left to right along a line.
TEST(Dialogs, TabFollowsTheVisualOrderOfThePanelAndTheOptionsAndNotificationsDialogs)
{
    const std::function<std::unique_ptr<QDialog>()> dialogs[] = {
        [] { return std::make_unique<CSentivoDlg>(SurveillanceEnvironmentFactory()); },
        [] { return std::make_unique<COptionsDlg>(); },
        [] { return std::make_unique<CNotificationsDlg>(); },
    };
    const auto name = [](const QWidget* widget) {
        return widget->objectName() + " " + widget->property("text").toString();
    };
    for (const auto& make : dialogs) {
        const std::unique_ptr<QDialog> dialog = make();
        QList<QWidget*> visual;
        for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if ((child->focusPolicy() & Qt::TabFocus) && child->isEnabled() && child->isVisibleTo(dialog.get()))
                visual << child;
        std::stable_sort(visual.begin(), visual.end(), [](const QWidget* a, const QWidget* b) {
            return std::pair(a->geometry().top(), a->geometry().left()) < std::pair(b->geometry().top(), b->geometry().left());
        });
        QStringList expected, tabbed;
        for (const QWidget* widget : visual)
            expected << name(widget);
        for (QWidget* widget = dialog->nextInFocusChain(); widget != dialog.get(); widget = widget->nextInFocusChain())
            if (visual.contains(widget))
                tabbed << name(widget);
        EXPECT_EQ(tabbed, expected) << dialog->windowTitle().toStdString();
        EXPECT_GE(expected.size(), 10);
    }
}

struct Splash : ::testing::Test {
    Splash()
    {
        qApp->installEventFilter(&filter);   // as the control panel does before it shows the splash
        panel.show();
        CSplashWindow::EnableSplashScreen(true);
    }
    ~Splash() override
    {
        if (CSplashWindow* splash = CSplashWindow::CurrentSplash())
            splash->HideSplashScreen();
        CSplashWindow::EnableSplashScreen(false);
        QTest::qWait(0);
        EXPECT_TRUE(panel.findChildren<CSplashWindow*>().isEmpty()) << "the window object is gone";
    }
    CSplashWindow* Show() { return CSplashWindow::ShowSplashScreen(&panel), CSplashWindow::CurrentSplash(); }

    SplashInputFilter filter;
    QWidget panel;
    QPushButton* button = new QPushButton("&Go", &panel);
};

TEST_F(Splash, ShowsTheBitmapOverItsOwnerOnceForOneAndAHalfSeconds)
{
    QPointer<CSplashWindow> splash = Show();
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible() && (splash->windowFlags() & Qt::FramelessWindowHint));
    EXPECT_LE((splash->frameGeometry().center() - panel.frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(splash->grab().toImage().convertToFormat(QImage::Format_RGB32),
              ResourceBitmap(IDB_SPLASH).toImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(Show(), splash);
    EXPECT_EQ(panel.findChildren<CSplashWindow*>().size(), 1);
    EXPECT_FALSE(QTest::qWaitFor([&] { return splash.isNull(); }, 1300));
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, 5000));
}

// The press that ends it reaches neither the button under it nor a shortcut; with the splash
// gone, the same input acts again.
TEST_F(Splash, AnyKeyOrButtonPressEndsItAndGoesNowhereElse)
{
    QShortcut shortcut(QKeySequence(Qt::Key_F5), &panel);
    shortcut.setContext(Qt::ApplicationShortcut);   // the splash may take the activation
    QSignalSpy clicked(button, &QPushButton::clicked), activated(&shortcut, &QShortcut::activated);
    QMouseEvent titleBar(QEvent::NonClientAreaMouseButtonPress, QPointF(6, 6), QPointF(6, 6), Qt::MiddleButton,
                         Qt::MiddleButton, Qt::NoModifier);
    const std::function<void()> presses[] = {
        [&] { QTest::keyClick(button, Qt::Key_Space); },
        [&] { QTest::keyClick(&panel, Qt::Key_F5); },
        [&] { QTest::mouseClick(button, Qt::LeftButton); },
        [&] { QTest::mouseClick(CSplashWindow::CurrentSplash(), Qt::RightButton); },
        [&] { QApplication::sendEvent(&panel, &titleBar); },
    };
    for (const auto& press : presses) {
        panel.activateWindow();   // key input needs a focus window
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
        ASSERT_NE(Show(), nullptr);
        press();
        EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
        QTest::qWait(0);
    }
    EXPECT_EQ(clicked.count() + activated.count(), 0);
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    QTest::keyClick(button, Qt::Key_Space);
    QTest::keyClick(&panel, Qt::Key_F5);
    EXPECT_EQ(clicked.count() + activated.count(), 2);
}

// Showing a window runs the event loop once, so input queued before the splash came can take it
// down while ShowSplashScreen is still making it; it must not be used after that.
TEST_F(Splash, InputQueuedBeforeItComesEndsItWhileItIsBeingShown)
{
    QCoreApplication::postEvent(&panel, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    EXPECT_EQ(Show(), nullptr);
}

// Without its bitmap there is no splash: the compiled-in resources are taken away for a moment.
TEST_F(Splash, MissingBitmapShowsNothing)
{
    ResourceBitmap(IDB_SPLASH);   // registers them first
    Q_CLEANUP_RESOURCE(res);
    EXPECT_TRUE(ResourceBitmap(IDB_SPLASH).isNull());
    EXPECT_EQ(Show(), nullptr);
    Q_INIT_RESOURCE(res);
}
