#include "ui/dialogs/SplashWindow.h"

#include "ui/templates/Resources.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>

bool CSplashWindow::splashEnabled = false;
CSplashWindow* CSplashWindow::currentSplash = nullptr;

void CSplashWindow::EnableSplashScreen(bool enable)
{
    splashEnabled = enable;
}

void CSplashWindow::ShowSplashScreen(QWidget* parent)
{
    if (!splashEnabled || currentSplash)
        return;
    auto* splash = new CSplashWindow;
    currentSplash = splash;
    if (splash->Create(parent)) {
        // On screen before the caller goes on initialising, unless showing it already let an
        // event take it down again.
        if (currentSplash == splash)
            splash->repaint();
        return;
    }
    delete currentSplash;   // the destructor clears currentSplash
}

CSplashWindow* CSplashWindow::CurrentSplash()
{
    return currentSplash;
}

bool CSplashWindow::Create(QWidget* parent)
{
    splashBitmap = ResourceBitmap(IDB_SPLASH);
    if (splashBitmap.isNull())
        return false;
    owner = parent;
    // A child of the parent as a window of its own: it goes with its owner at the latest.
    setParent(parent, Qt::SplashScreen | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_OpaquePaintEvent);   // the bitmap covers every pixel
    setCursor(Qt::ArrowCursor);
    setFixedSize(splashBitmap.deviceIndependentSize().toSize());
    CentreWindow(parent);
    timer.start(1500, this);
    show();
    return true;
}

// Over the owner when it is on screen, otherwise over the screen's work area.
void CSplashWindow::CentreWindow(QWidget* parentWidget)
{
    QRect area;
    if (parentWidget && parentWidget->isVisible()) {
        area = parentWidget->frameGeometry();
    } else {
        QScreen* screen = parentWidget ? parentWidget->screen() : QGuiApplication::primaryScreen();
        if (screen)
            area = screen->availableGeometry();
    }
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

CSplashWindow::~CSplashWindow()
{
    if (currentSplash == this)
        currentSplash = nullptr;
}

void CSplashWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, splashBitmap);
}

void CSplashWindow::timerEvent(QTimerEvent*)
{
    HideSplashScreen();
}

bool CSplashWindow::PreTranslateAppMessage(QObject*, QEvent* event)
{
    if (!currentSplash)
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Taken by the splash, so a mnemonic or shortcut key does not act before its key press
        // arrives; the key press then hides the splash and is swallowed.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::NonClientAreaMouseButtonPress:
        currentSplash->HideSplashScreen();
        return true;
    default:
        return false;
    }
}

void CSplashWindow::HideSplashScreen()
{
    if (currentSplash == this)
        currentSplash = nullptr;
    timer.stop();
    hide();
    // The event being filtered may be addressed to this very window: delete it once that event
    // is done with, never under it.
    deleteLater();
    if (owner && owner->isVisible())
        owner->repaint();
}

bool SplashInputFilter::eventFilter(QObject* watched, QEvent* event)
{
    return CSplashWindow::PreTranslateAppMessage(watched, event);
}
