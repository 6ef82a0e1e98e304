#pragma once
// The start-up splash: a frameless window showing bitmap 133 for 1.5 s or until the first key or
// mouse-button press anywhere in the application, which it swallows.
#include <QWidget>

class CSplashWindow : public QWidget {
    Q_OBJECT
public:
    static void EnableSplashScreen(bool enable);
    static void ShowSplashScreen(QWidget* parent);
    // Application-wide input filter: true when the event hid the splash and must not be delivered.
    static bool PreTranslateAppMessage(QObject* receiver, QEvent* event);
    static CSplashWindow* CurrentSplash();
    void HideSplashScreen();
    bool Create(QWidget* parent);
};
