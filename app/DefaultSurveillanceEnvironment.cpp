#include "app/DefaultSurveillanceEnvironment.h"

#include "engine/FaceDetector.h"
#include "engine/MotionDetector.h"
#include "engine/NullPreview.h"
#include "engine/PictureNumbering.h"
#include "log/EventLog.h"
#include "mail/MailSender.h"
#include "settings/AppPaths.h"
#include "settings/SettingsStore.h"
#include "ui/preview/PreviewWindow.h"

#include <QDateTime>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

// The outbox entry of one alarm picture, with the addresses stored now (the sender mails with the
// settings current when it sends).
OutboxEntry PictureEntry(const AlarmPicture& picture)
{
    OutboxEntry entry;
    entry.kind = "picture";
    entry.pictureNumber = picture.number;
    entry.pictureName = picture.fileName;
    entry.takenAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    ReadSetting(SETTING_FROM_ADDRESS, entry.fromAddress);
    ReadSetting(SETTING_TO_ADDRESS, entry.toAddress);
    ReadSetting(SETTING_SMTP_SERVER, entry.smtpServer);
    entry.pictureBytes = picture.jpegBytes;
    return entry;
}

}  // namespace

SurveillanceEnvironment DefaultSurveillanceEnvironment(const std::string& cameraSource, MailSender* mail, EventLog* log,
                                                       bool withPreview)
{
    using Clock = std::chrono::steady_clock;
    SurveillanceEnvironment env;
    env.openSource = [cameraSource] { return OpenCaptureSource(cameraSource); };
    env.readCounter = [] { return static_cast<std::int64_t>(Clock::now().time_since_epoch().count()); };
    env.counterFrequency = Clock::period::den / Clock::period::num;
    env.detectMotion = [](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
        DetectorState& state = detectorState();
        return DetectMotionWith(state, frame, overlay, rules, state.ClockSeconds());
    };
    env.detectFaces = [](cv::Mat& image, const cv::Mat&) { return DetectFaces(image); };
    env.forgetHistory = [] { ForgetMotionHistory(detectorState()); };
    // A cascade1.xml in the working folder comes first; else the one installed with the program.
    env.loadCascade = [] {
        const char* local = "cascade1.xml";
        return LoadFaceCascade(std::filesystem::exists(local) ? local : FindResource(local).string());
    };
    env.savePicture = SavePicture;
    env.logEvent = [log](const std::string& event) {
        if (log)
            log->Write(event);
    };
    // Queue stores the entry and logs it; the sender thread does the rest.
    env.queueMail = [mail, log](const AlarmPicture& picture) {
        std::string reason;
        if (mail && !mail->Queue(PictureEntry(picture), reason) && log)
            log->Write("mail for picture " + std::to_string(picture.number) + " could not be queued: " + reason);
    };
    if (!withPreview) {
        env.makePreview = [] { return std::make_unique<NullPreview>(true); };
        return env;
    }
    // The preview's host is made here, on the GUI thread that starts the run.
    auto host = PreviewHost::Create();
    env.starterThreadParts = host;
    env.makePreview = [host] { return std::make_unique<PreviewWindow>(host); };
    return env;
}
