// The splash: shown once, sized by its bitmap, centred, taken down by the timer or by the first
// key or mouse-button press (which goes nowhere else), and left up by other input.

#include "ui/dialogs/SplashWindow.h"
#include "ui/templates/Resources.h"
#include "tests/ui/dialogs/ShellTestSupport.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

class SplashWindowTest : public GuiTest {
protected:
    void SetUp() override
    {
        CSplashWindow::EnableSplashScreen(false);
        panel = std::make_unique<QDialog>();
        panel->resize(400, 300);
        button = new QPushButton("&Go", panel.get());
        button->setGeometry(20, 20, 100, 30);
        panel->show();
        qApp->installEventFilter(&filter);
    }
    void TearDown() override
    {
        if (CSplashWindow* splash = CSplashWindow::CurrentSplash())
            splash->HideSplashScreen();
        qApp->removeEventFilter(&filter);
        CSplashWindow::EnableSplashScreen(false);
        panel.reset();
        GuiTest::TearDown();
    }
    // Shows the splash over the panel and answers it (null when none came).
    CSplashWindow* ShowSplash()
    {
        CSplashWindow::EnableSplashScreen(true);
        CSplashWindow::ShowSplashScreen(panel.get());
        return CSplashWindow::CurrentSplash();
    }
    // Sends a mouse event of this type at (6, 6) in the receiver.
    static void SendMouse(QWidget* receiver, QEvent::Type type, Qt::MouseButton button = Qt::LeftButton,
                          Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QMouseEvent event(type, QPointF(6, 6), QPointF(6, 6), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(receiver, &event);
    }

    SplashInputFilter filter;
    std::unique_ptr<QDialog> panel;
    QPushButton* button = nullptr;
};

TEST_F(SplashWindowTest, ShowsTheBitmapFramelessAndCentredOverItsVisibleOwner)
{
    CSplashWindow* splash = ShowSplash();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(splash->isWindow());
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash->size(), QSize(350, 325));
    const QPoint offset = splash->frameGeometry().center() - panel->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
    EXPECT_EQ(splash->grab().toImage().convertToFormat(QImage::Format_RGB32),
              ResourceBitmap(IDB_SPLASH).toImage().convertToFormat(QImage::Format_RGB32));
}

// The key press goes nowhere else: neither to the focused button nor to a shortcut. Once the
// splash is gone, both work again.
TEST_F(SplashWindowTest, KeyPressHidesItAndIsSwallowed)
{
    QPointer<CSplashWindow> splash = ShowSplash();
    ASSERT_TRUE(splash);
    QSignalSpy clicked(button, &QPushButton::clicked);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
    EXPECT_EQ(clicked.count(), 0);
    ProcessEvents();
    EXPECT_TRUE(splash.isNull()) << "the window object is gone";
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 1);

    QShortcut shortcut(QKeySequence(Qt::Key_F5), panel.get());
    QSignalSpy activated(&shortcut, &QShortcut::activated);
    ASSERT_NE(ShowSplash(), nullptr);
    ProcessEvents(50);
    panel->activateWindow();   // shortcuts act in the active window only
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == panel.get(); }, 2000));
    QTest::keyClick(panel.get(), Qt::Key_F5);
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
    EXPECT_EQ(activated.count(), 0);
    QTest::keyClick(panel.get(), Qt::Key_F5);
    EXPECT_EQ(activated.count(), 1);
}

// Any button, on any window or its title bar; the click does not reach the button below.
TEST_F(SplashWindowTest, MouseButtonPressHidesItAndIsSwallowed)
{
    ASSERT_NE(ShowSplash(), nullptr);
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
    EXPECT_EQ(clicked.count(), 0);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);

    ASSERT_NE(ShowSplash(), nullptr);
    QTest::mouseClick(CSplashWindow::CurrentSplash(), Qt::RightButton);
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
    ProcessEvents();
    ASSERT_NE(ShowSplash(), nullptr);
    SendMouse(panel.get(), QEvent::NonClientAreaMouseButtonPress, Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
}

TEST_F(SplashWindowTest, ReleasesMovesAndDoubleClicksLeaveItUp)
{
    CSplashWindow* splash = ShowSplash();
    ASSERT_NE(splash, nullptr);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(panel.get(), &release);
    SendMouse(button, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    SendMouse(button, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    SendMouse(splash, QEvent::MouseButtonDblClick);
    ProcessEvents();
    EXPECT_EQ(CSplashWindow::CurrentSplash(), splash);
    EXPECT_TRUE(splash->isVisible());
}

TEST_F(SplashWindowTest, GoesByItselfAfterOneAndAHalfSeconds)
{
    QElapsedTimer clock;
    clock.start();
    QPointer<CSplashWindow> splash = ShowSplash();
    ASSERT_TRUE(splash);
    ProcessEvents(200);
    EXPECT_TRUE(splash && splash->isVisible()) << "still up shortly after it came";
    ASSERT_TRUE(WaitUntil([&] { return splash.isNull(); }, 5000));
    EXPECT_GE(clock.elapsed(), 1400);
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
}

TEST_F(SplashWindowTest, InputQueuedBeforeItComesHidesItWhileItIsBeingShown)
{
    // Showing a splash window runs the event loop once, so input (and timers) queued before
    // it can take the splash down while ShowSplashScreen is still creating it.
    QCoreApplication::postEvent(panel.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    CSplashWindow::EnableSplashScreen(true);
    CSplashWindow::ShowSplashScreen(panel.get());
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
    ProcessEvents();
    EXPECT_TRUE(panel->findChildren<CSplashWindow*>().isEmpty());

    QTimer::singleShot(0, [] {
        if (CSplashWindow* splash = CSplashWindow::CurrentSplash())
            splash->HideSplashScreen();
    });
    CSplashWindow::ShowSplashScreen(panel.get());
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
}

// Without a splash up, input passes through the filter untouched.
TEST_F(SplashWindowTest, AtMostOneAndOnlyWhenEnabled)
{
    CSplashWindow::ShowSplashScreen(panel.get());
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr) << "not enabled";
    EXPECT_EQ(TopLevelCount(), 1);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    EXPECT_FALSE(CSplashWindow::PreTranslateAppMessage(panel.get(), &press));
    CSplashWindow* first = ShowSplash();
    ASSERT_NE(first, nullptr);
    CSplashWindow::ShowSplashScreen(panel.get());
    CSplashWindow::ShowSplashScreen(nullptr);
    EXPECT_EQ(CSplashWindow::CurrentSplash(), first);
    EXPECT_EQ(panel->findChildren<CSplashWindow*>().size(), 1);
    EXPECT_EQ(TopLevelCount(), 2);
}

TEST_F(SplashWindowTest, MissingBitmapGivesNoSplashAndOtherSizesAreKept)
{
    {
        ResourceBitmapOverride missing(IDB_SPLASH, "/nonexistent/splash.bmp");
        EXPECT_EQ(ShowSplash(), nullptr);
        EXPECT_EQ(TopLevelCount(), 1) << "only the panel";
        EXPECT_TRUE(panel->findChildren<CSplashWindow*>().isEmpty());
    }
    TestDirectory dir;
    QImage other(200, 90, QImage::Format_RGB888);
    other.fill(Qt::darkGreen);
    const QString path = QString::fromStdString((dir.path() / "other.bmp").string());
    ASSERT_TRUE(other.save(path));
    ResourceBitmapOverride replaced(IDB_SPLASH, path);
    CSplashWindow* splash = ShowSplash();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->size(), QSize(200, 90));
}

TEST_F(SplashWindowTest, WithoutAVisibleOwnerItIsCentredOnTheScreen)
{
    CSplashWindow::EnableSplashScreen(true);
    CSplashWindow::ShowSplashScreen(nullptr);
    CSplashWindow* splash = CSplashWindow::CurrentSplash();
    ASSERT_NE(splash, nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((splash->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    QTest::keyClick(panel.get(), Qt::Key_A);
    ProcessEvents();
    EXPECT_EQ(CSplashWindow::CurrentSplash(), nullptr);
}
