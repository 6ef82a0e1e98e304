#include "app/DefaultSurveillanceEnvironment.h"

#include "app/RunJournal.h"
#include "engine/FaceDetector.h"
#include "engine/FaceScanner.h"
#include "engine/MotionDetector.h"
#include "engine/NullPreview.h"
#include "engine/PictureFile.h"
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

// An outbox entry of kind, taken now, with the addresses stored now (the sender mails with the
// settings current when it sends).
OutboxEntry Entry(const std::string& kind, const std::string& pictureName, const std::string& pictureBytes)
{
    OutboxEntry entry;
    entry.kind = kind;
    entry.pictureName = pictureName;
    entry.takenAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
    ReadSetting(SETTING_FROM_ADDRESS, entry.fromAddress);
    ReadSetting(SETTING_TO_ADDRESS, entry.toAddress);
    ReadSetting(SETTING_SMTP_SERVER, entry.smtpServer);
    entry.pictureBytes = pictureBytes;
    return entry;
}

// Makes the pictures folder on first use.
std::string SavePictureInItsFolder(const std::string& path, const std::string& jpegBytes)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::create_directories(folder, error) && error)
        return "the folder " + folder.string() + " could not be made: " + error.message();
    return SavePicture(path, jpegBytes);
}

// The detectors of one run. Face mode looks only where a face can have appeared (FaceScanner), so
// it keeps up with a camera's own resolution; the scanner goes with the cascade it was made for.
struct RunDetectors {
    DetectorState state;
    std::unique_ptr<FaceScanner> faces;
};

}  // namespace

SurveillanceEnvironment DefaultSurveillanceEnvironment(const std::string& cameraSource, MailSender* mail, EventLog* log,
                                                       bool withPreview, Journal* journal)
{
    using Clock = std::chrono::steady_clock;
    SurveillanceEnvironment env;
    env.openSource = [cameraSource] { return OpenCaptureSource(cameraSource); };
    env.sourceIsLive = IsLiveSource(cameraSource);
    env.readCounter = [] { return static_cast<std::int64_t>(Clock::now().time_since_epoch().count()); };
    env.counterFrequency = Clock::period::den / Clock::period::num;
    // What the detectors remember belongs to this run: a fresh one each run, used by its thread only.
    auto detectors = std::make_shared<RunDetectors>();
    env.detectMotion = [detectors](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
        DetectorState& state = detectors->state;
        return DetectMotionWith(state, frame, overlay, rules, state.ClockSeconds());
    };
    env.detectFaces = [detectors](cv::Mat& image, const cv::Mat& area) {
        return detectors->faces && detectors->faces->Scan(image, area, detectors->state.ClockSeconds());
    };
    env.forgetHistory = [detectors] {
        ForgetMotionHistory(detectors->state);
        if (detectors->faces)
            detectors->faces->Forget();
    };
    // A cascade1.xml in the working folder comes first; else the one installed with the program.
    env.loadCascade = [detectors] {
        const char* local = "cascade1.xml";
        DetectorState& state = detectors->state;
        state.faceCascade = LoadFaceCascade(std::filesystem::exists(local) ? local : FindResource(local).string());
        detectors->faces = state.faceCascade ? std::make_unique<FaceScanner>(*state.faceCascade) : nullptr;
        return state.faceCascade != nullptr;
    };
    env.savePicture = SavePictureInItsFolder;
    env.logEvent = [log](const std::string& event) {
        if (log)
            log->Write(event);
    };
    env.record = JournalRecorder(journal);
    // Queue stores the entry and logs it; the sender thread does the rest. A picture the folder
    // refused says so in its mail. Its history event is told "queued" before the sender can send it.
    env.queueMail = [mail, log, journal](const AlarmPicture& picture) {
        if (!mail)
            return;
        std::string reason;
        OutboxEntry entry = Entry("picture", picture.fileName, picture.jpegBytes);
        entry.pictureNumber = picture.number;
        entry.event = picture.event;
        if (!picture.saveError.empty())
            entry.note = "could not be saved: " + picture.saveError;
        JournalMailQueued(journal, picture.event, true, {});
        if (!mail->Queue(std::move(entry), reason)) {
            JournalMailQueued(journal, picture.event, false, reason);
            if (log)
                log->Write("mail for picture " + std::to_string(picture.number) + " could not be queued: " + reason);
        }
        if (picture.storyBytes.empty())
            return;
        OutboxEntry story = Entry("story", "", picture.storyBytes);
        story.pictureNumber = picture.number;
        if (!mail->Queue(std::move(story), reason) && log)
            log->Write("mail for the story of picture " + std::to_string(picture.number) + " could not be queued: " + reason);
    };
    // An alert carries its one line as the mail's text and the camera's frame, when there is one.
    env.queueAlert = [mail, log, journal](const RunAlert& alert) {
        if (!mail)
            return;
        std::string reason;
        OutboxEntry entry = Entry(alert.kind, alert.jpegBytes.empty() ? "" : "camera.jpg", alert.jpegBytes);
        entry.note = alert.text;
        entry.event = alert.event;
        JournalMailQueued(journal, alert.event, true, {});
        if (!mail->Queue(std::move(entry), reason)) {
            JournalMailQueued(journal, alert.event, false, reason);
            if (log)
                log->Write("mail \"" + alert.kind + "\" could not be queued: " + reason);
        }
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
