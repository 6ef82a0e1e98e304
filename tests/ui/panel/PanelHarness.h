#pragma once
// Helpers for the panel's and the program's tests: settings as the program stores them, one
// answerer for modal dialogs, a video of a room for a camera, the panel opened as DoModal opens it.
#include "app/DefaultSurveillanceEnvironment.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestDirectory.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/SplashWindow.h"
#include "ui/panel/SentivoDlg.h"
#include "ui/templates/DialogBuilder.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

inline std::string StoredText(int settingId)
{
    std::string text;
    ReadSetting(settingId, text);   // the first read on a fresh machine creates the store
    return text;
}

inline void StoreSetting(int settingId, const std::string& text) { StoredText(settingId); WriteSetting(settingId, text); }

inline void StoreEmailSettings(const std::string& from, const std::string& to, const std::string& server)
{
    StoreSetting(SETTING_FROM_ADDRESS, from);
    StoreSetting(SETTING_TO_ADDRESS, to);
    StoreSetting(SETTING_SMTP_SERVER, server);
}

inline QString StatusLine(const CSentivoDlg& panel) { return FindControl<QLabel>(panel, 1031)->text(); }

inline void HideSplash() { if (CSplashWindow* splash = CSplashWindow::CurrentSplash()) splash->HideSplashScreen(); }

// Hands each modal dialog that opens while the answerer lives to answer, once. A modal dialog runs
// an event loop of its own, so a timer is the way in. The splash, which swallows a key, goes first.
[[nodiscard]] inline std::unique_ptr<QTimer> AnswerModals(std::function<void(QDialog*)> answer)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [answer, last = QPointer<QDialog>()]() mutable {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal && modal != last) {
            last = modal;
            HideSplash();
            answer(modal);
        }
    });
    timer->start(10);
    return timer;
}

// A still grey room at 20 frames a second; from frame stillFrames on, a white square crosses it.
inline std::filesystem::path WriteRoomVideo(const std::filesystem::path& file, int stillFrames, int movingFrames)
{
    cv::VideoWriter writer(file.string(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 20.0, cv::Size(320, 240));
    for (int i = 0; i < stillFrames + movingFrames; ++i) {
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(90));
        if (i >= stillFrames)
            cv::rectangle(frame, cv::Rect(i * 12 % 240, 60, 80, 100), cv::Scalar::all(255), cv::FILLED);
        writer.write(frame);
    }
    return file;
}

// Its runs use the real parts on camera, as change leaves them.
inline std::unique_ptr<CSentivoDlg> OpenPanel(const std::filesystem::path& camera = "no-camera.avi",
                                              std::function<void(SurveillanceEnvironment&)> change = [](auto&) {})
{
    auto panel = std::make_unique<CSentivoDlg>([camera, change] {
        SurveillanceEnvironment env = DefaultSurveillanceEnvironment(camera.string());
        change(env);
        return env;
    });
    panel->OnInitDialog();
    panel->show();
    HideSplash();
    return panel;
}

// Valid e-mail settings in a folder of its own; no message and no window left after the test.
class PanelTest : public testing::Test {
protected:
    void SetUp() override { StoreEmailSettings("alarm@home.net", "owner@mail.org", "smtp.home.net"); }
    void TearDown() override
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
        EXPECT_EQ(messages.texts(), QStringList());
    }

    TestDirectory dir;
    MessageBoxCapture messages;
};
