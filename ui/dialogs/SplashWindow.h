#pragma once
// The start-up splash: a frameless window showing bitmap 133 for 1.5 s or until the first key or
// mouse-button press anywhere in the application, which it swallows.
#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>

class CSplashWindow : public QWidget {
    Q_OBJECT
public:
    static void EnableSplashScreen(bool enable);
    static void ShowSplashScreen(QWidget* parent);
    // Application-wide input filter, while a splash is up: a key or mouse-button press hides it;
    // true for that press and for the shortcut override before a key press, neither of which
    // may be delivered.
    static bool PreTranslateAppMessage(QObject* receiver, QEvent* event);
    static CSplashWindow* CurrentSplash();
    void HideSplashScreen();

    ~CSplashWindow() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    CSplashWindow() = default;   // always on the heap, made by ShowSplashScreen
    // False, showing nothing, when the bitmap cannot be had.
    bool Create(QWidget* parent);
    void CentreWindow(QWidget* owner);

    QPixmap splashBitmap;
    QBasicTimer timer;
    QWidget* owner = nullptr;   // repainted at once when the splash goes

    static bool splashEnabled;
    static CSplashWindow* currentSplash;
};

// The application-wide event filter that routes every event through PreTranslateAppMessage.
// The control panel makes one as its child and installs it on the application before it shows
// the splash; destroying the filter removes it.
class SplashInputFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
