#include "tests/ui/dialogs/ShellTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

namespace {

// One QApplication for the whole test binary, named after it like the program is.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[12] = "shell_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}   // namespace

void ProcessEvents(int ms)
{
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (clock.elapsed() < ms);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        ProcessEvents(5);
    return done();
}

void WhenModal(std::function<void(QWidget*)> action, bool* seen, int timeoutMs)
{
    if (seen)
        *seen = false;
    auto* poll = new QTimer;
    poll->setInterval(10);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && clock.elapsed() < timeoutMs)
            return;
        poll->stop();
        poll->deleteLater();
        if (modal) {
            if (seen)
                *seen = true;
            action(modal);
        }
    });
    poll->start();
}

int TopLevelCount()
{
    return static_cast<int>(QApplication::topLevelWidgets().size());
}

void GuiTest::TearDown()
{
    ProcessEvents();
    EXPECT_EQ(TopLevelCount(), 0) << "a top-level window was left behind";
}
