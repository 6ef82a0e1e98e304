#pragma once
// SIGINT and SIGTERM end the program as "&Quit" does (the delays saved, a run stopped within its
// bound) instead of killing it on the spot. The handler only writes a byte to a socket pair; the
// GUI thread reads it through a QSocketNotifier and calls quit there.

#include <QObject>

#include <functional>

class QSocketNotifier;

class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; quit runs on this object's thread at each signal.
    explicit QuitOnSignal(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitOnSignal() override;   // puts the default handlers back

private:
    std::function<void()> quit_;
    QSocketNotifier* notifier_ = nullptr;
};
