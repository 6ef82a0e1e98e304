#include "tests/ui/panel/PanelHarness.h"

#include "ui/panel/SentivoDlg.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/SplashWindow.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <gtest/gtest.h>

#include <set>

void StoreSetting(int settingId, const std::string& text)
{
    std::string ignored;
    ReadSetting(settingId, ignored);   // creates the store on a fresh machine
    WriteSetting(settingId, text);
}

void StoreEmailSettings(const std::string& from, const std::string& to, const std::string& server)
{
    StoreSetting(SETTING_FROM_ADDRESS, from);
    StoreSetting(SETTING_TO_ADDRESS, to);
    StoreSetting(SETTING_SMTP_SERVER, server);
}

std::string StoredText(int settingId)
{
    std::string text;
    ReadSetting(settingId, text);
    return text;
}

static std::set<QWidget*> OpenModals()
{
    std::set<QWidget*> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isModal())
            open.insert(w);
    return open;
}

void WhenModalOpens(std::function<void(QWidget*)> answer)
{
    auto before = std::make_shared<std::set<QWidget*>>(OpenModals());
    auto timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, before, answer] {
        for (QWidget* w : OpenModals()) {
            if (before->count(w))
                continue;
            timer->stop();
            timer->deleteLater();
            answer(w);
            return;
        }
    });
    timer->start(10);
}

RejectModals::RejectModals()
    : timer_(new QTimer), count_(std::make_shared<int>(0)), titles_(std::make_shared<QStringList>())
{
    QObject::connect(timer_, &QTimer::timeout, timer_, [count = count_, titles = titles_] {
        for (QWidget* w : OpenModals())
            if (auto* dialog = qobject_cast<QDialog*>(w)) {
                ++*count;
                titles->append(dialog->windowTitle());
                dialog->reject();
            }
    });
    timer_->start(10);
}

RejectModals::~RejectModals() { delete timer_; }

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeout.count())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void ProcessEventsFor(std::chrono::milliseconds duration)
{
    WaitUntil([] { return false; }, duration);
}

std::filesystem::path WriteRoomVideo(const std::filesystem::path& file, int stillFrames, int movingFrames,
                                     int stillAfter, double fps)
{
    const cv::Size size(320, 240);
    cv::VideoWriter writer(file.string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size);
    EXPECT_TRUE(writer.isOpened());
    cv::Mat frame(size, CV_8UC3);
    auto still = [&] {
        frame.setTo(cv::Scalar(90, 90, 90));
        cv::rectangle(frame, cv::Rect(20, 150, 60, 60), cv::Scalar(40, 60, 120), cv::FILLED);   // furniture
    };
    for (int i = 0; i < stillFrames; ++i) {
        still();
        writer.write(frame);
    }
    for (int i = 0; i < movingFrames; ++i) {
        still();
        const int x = (i * 12) % (size.width - 80);
        cv::rectangle(frame, cv::Rect(x, 60, 80, 100), cv::Scalar(255, 255, 255), cv::FILLED);
        writer.write(frame);
    }
    for (int i = 0; i < stillAfter; ++i) {
        still();
        writer.write(frame);
    }
    return file;
}

void InstallCascade(const std::filesystem::path& folder)
{
    std::filesystem::copy_file("/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml",
                               folder / "cascade1.xml", std::filesystem::copy_options::overwrite_existing);
}

void InitPanel(CSentivoDlg& panel)
{
    panel.OnInitDialog();
    panel.show();
    if (CSplashWindow* splash = CSplashWindow::CurrentSplash())
        splash->HideSplashScreen();
}

void ExpectNoWindowLeft()
{
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList left;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            left << (w->metaObject()->className() + QStringLiteral(" ") + w->windowTitle());
    EXPECT_TRUE(left.isEmpty()) << left.join(", ").toStdString();
}
