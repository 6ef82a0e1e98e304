#include "engine/SurveillanceRun.h"

#include "engine/Milliseconds.h"
#include "engine/PictureNumbering.h"
#include "engine/SurveillanceThread.h"   // RequestedFrameSize

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <limits>

namespace fs = std::filesystem;

namespace {

constexpr float kFaceAlarmThreshold = 0.3f;
constexpr int kFaceModeMailLimit = 25;   // pictures since the program started
constexpr int kKeyWaitMilliseconds = 10;
constexpr double kFirstReopenPause = 2.0, kLongestReopenPause = 30.0;   // seconds
// A source that comes and goes sends at most one lost/back pair of mails in this time; the event
// log and the status line tell every loss and return.
constexpr std::int64_t kAlertQuietSeconds = 600;
constexpr int kPictureNameTries = 3;   // names taken meanwhile by someone else
constexpr const char* kPreviewTitle = "Sentivo";
constexpr const char* kStopped = "stopped";
constexpr const char* kKeyPressed = "a key was pressed in the preview";

// "03:12:01", local time.
std::string LocalTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

// Event log lines start in lower case; the status line and mails start with a capital.
std::string Capitalised(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// The folder, or its nearest parent that exists: the pictures folder is made on first use, and the
// disk it will be on is the one to watch.
fs::path ExistingFolder(const fs::path& folder)
{
    std::error_code error;
    fs::path existing = fs::absolute(folder, error);
    while (!fs::exists(existing, error) && existing.has_relative_path())
        existing = existing.parent_path();
    return existing;
}

}  // namespace

SurveillanceRun::SurveillanceRun(SessionState& state, const SurveillanceEnvironment& env,
                                 std::unique_ptr<FrameSource> source)
    : state_(state), env_(env), detection_(env, state), source_(std::move(source))
{
}

void SurveillanceRun::Run()
{
    if (!Start()) {
        Tell("run ended: no camera");
        Record({.kind = "arming failed", .note = kNoCameraMessage});
        return;
    }
    const char* end = kStopped;
    if (state_.isRunning.load(std::memory_order_relaxed))
        while (!(end = Pass())) {
        }
    CleanUp();
    Tell(std::string("run ended: ") + end);
    Record({.kind = "run ended", .note = end});
}

// The run's settings, the cascade, the camera and the window; false when there is no camera and
// none will come (a recording). A live source missing now is waited for by the first Pass.
bool SurveillanceRun::Start()
{
    emailSwitch_ = state_.sendEmails.load(std::memory_order_relaxed);
    ChooseDetector();
    if (source_)
        RequestFrameSize();
    const bool opened = source_ || OpenSource();
    lastCounter_ = env_.readCounter();
    if (!opened && !env_.sourceIsLive) {
        state_.ShowRunMessage(kNoCameraMessage);
        return false;
    }
    // Saturated: a stray huge number in the folder must not wrap (NextFreePictureNumber goes on).
    const std::int64_t taken = state_.picturesTaken.load(std::memory_order_relaxed);
    lastPictureNumber_ = state_.pictureNumberBase > std::numeric_limits<std::int64_t>::max() - taken
                             ? std::numeric_limits<std::int64_t>::max()
                             : state_.pictureNumberBase + taken;
    preview_ = env_.makePreview();
    preview_->Open(kPreviewTitle);
    const char* detection = faceMode_ ? "face detection" : "motion detection";
    env_.logEvent(std::string("surveillance armed: ") + detection);
    Record({.kind = "armed", .note = faceMode_ ? "face" : "motion"});
    runningStatus_ = std::string("Armed: ") + detection;
    // A detection area that could not be read leaves the whole picture watched: said once in the
    // log, and on the status line for as long as the run goes.
    const std::string areaProblem = detection_.Prepare();
    if (!areaProblem.empty()) {
        env_.logEvent(areaProblem);
        runningStatus_ += " \u2014 " + areaProblem;
    }
    state_.ShowRunStatus(runningStatus_);
    CheckFreeSpace();   // told at arming, not only at the first picture
    StartStory();
    return true;
}

// Face or motion detection, and the alarm threshold that goes with it; without the face cascade,
// motion detection.
void SurveillanceRun::ChooseDetector()
{
    faceMode_ = state_.faceDetectMode.load(std::memory_order_relaxed);
    const float delayBeforeAlarm = state_.delayBeforeAlarm.load(std::memory_order_relaxed);
    if (env_.loadCascade()) {
        alarmThreshold_ = faceMode_ ? kFaceAlarmThreshold : delayBeforeAlarm;
    } else {
        state_.FallBackToMotionDetect();
        if (faceMode_)
            env_.logEvent("face cascade missing: motion detection used");
        faceMode_ = false;
        alarmThreshold_ = delayBeforeAlarm;
    }
    state_.SetAlertRange(ToMilliseconds(alarmThreshold_));
}

bool SurveillanceRun::OpenSource()
{
    source_ = env_.openSource();
    if (source_)
        RequestFrameSize();
    return source_ != nullptr;
}

void SurveillanceRun::RequestFrameSize()
{
    int width = 0, height = 0;
    if (RequestedFrameSize(state_.capturePropertyValue.load(std::memory_order_relaxed), width, height))
        source_->RequestFrameSize(width, height);
}

// One frame; null while the run goes on, else why it ended.
const char* SurveillanceRun::Pass()
{
    const std::int64_t counter = env_.readCounter();
    frameSeconds_ = static_cast<float>(counter - lastCounter_) / static_cast<float>(env_.counterFrequency);
    runSeconds_ += frameSeconds_;
    lastCounter_ = counter;

    // No source here means a live one that was missing at the start: lost from the first frame.
    if (!source_ || !source_->Read(frame_)) {
        if (source_ && !source_->IsLive())
            return anyFrame_ ? "the video file ended" : "the video could not be read";
        if (const char* end = WaitForCamera())
            return end;
    }
    anyFrame_ = true;
    if (state_.tamperGuard)
        GuardView();
    UpdateAlarmLevel(detection_.Detect(faceMode_, frame_, display_));
    if (const bool moving = alarmLevel_ > 0.0f; moving != moving_) {
        moving_ = moving;
        episodeStart_ = moving ? episodeStart_ : 0;
        Record({.kind = moving ? "motion" : "still"});
    }
    story_->Frame(frame_, runSeconds_, alarmLevel_, alarmLevel_ > 0.0f && alarmLevel_ >= alarmThreshold_);
    // Above zero too: a delay of 0 takes a picture of a frame with detection, never of a still room.
    if (alarmLevel_ > 0.0f && alarmLevel_ >= alarmThreshold_
        && runSeconds_ - lastPictureAt_ >= state_.delayBetweenSends.load(std::memory_order_relaxed))
        TakePicture();
    preview_->Show(display_);
    state_.SetAlertLevel(alarmLevel_);
    if (preview_->WaitKey(kKeyWaitMilliseconds) >= 0)
        return kKeyPressed;
    return state_.isRunning.load(std::memory_order_relaxed) ? nullptr : kStopped;
}

// The live source failed a read (or was missing at the start): the loss is told, and mailed with
// the last good frame unless a loss was mailed less than 10 minutes ago (then it is mailed once
// those are over, if the source is still gone); the alarm level drops, and the source is opened
// again after 2 s, 4, 8, 16, 30, 30 ... until a read gives a frame, which is then in frame_. Its
// return is mailed when its loss was. Null once it is back, else why the run ended meanwhile.
const char* SurveillanceRun::WaitForCamera()
{
    const std::string since = LocalTimeNow(), lost = "Camera lost since " + since + " \u2014 retrying";
    Tell(lost);
    const std::int64_t lostEvent = Record({.kind = "camera lost", .note = lost});
    const std::string lastFrame = Jpeg(frame_);
    bool lossTold = TellCameraLost(lost, lastFrame, lostEvent);
    alarmLevel_ = 0.0f;
    state_.SetAlertLevel(alarmLevel_);
    source_.reset();
    for (double pause = kFirstReopenPause;; pause = std::min(2 * pause, kLongestReopenPause)) {
        if (const char* end = Pause(pause))
            return end;
        lossTold = lossTold || TellCameraLost(lost, lastFrame, lostEvent);
        if (OpenSource() && source_->Read(frame_))
            break;
        source_.reset();
    }
    // Frames after the gap are compared only with each other, and the gap is no time of detection;
    // the story of an episode ends with it.
    detection_.Forget();
    story_->Interrupt();
    lastCounter_ = env_.readCounter();
    frameSeconds_ = 0.0f;
    const std::string back = "camera back at " + LocalTimeNow() + ", lost since " + since;
    env_.logEvent(back);
    const std::int64_t backEvent = Record({.kind = "camera back", .note = back});
    state_.ShowRunStatus(runningStatus_);
    if (lossTold)
        env_.queueAlert({"camera back", Capitalised(back), Jpeg(frame_), backEvent, emailSwitch_});
    return nullptr;
}

// Hands the loss to the channels unless the last loss told is less than the quiet time old.
bool SurveillanceRun::TellCameraLost(const std::string& text, const std::string& jpeg, std::int64_t event)
{
    const std::int64_t now = env_.readCounter();
    if (lostToldAt_ && now - *lostToldAt_ < kAlertQuietSeconds * env_.counterFrequency)
        return false;
    lostToldAt_ = now;
    env_.queueAlert({"camera lost", text, jpeg, event, emailSwitch_});
    return true;
}

// Waits seconds of the run's clock in key-wait steps, so the preview stays alive and a stop or a
// key is seen within a step; null when the time is up, else why the run ends.
const char* SurveillanceRun::Pause(double seconds)
{
    const double ticks = seconds * static_cast<double>(env_.counterFrequency);
    const std::int64_t until = env_.readCounter() + static_cast<std::int64_t>(ticks);
    do {
        if (!state_.isRunning.load(std::memory_order_relaxed))
            return kStopped;
        if (preview_->WaitKey(kKeyWaitMilliseconds) >= 0)
            return kKeyPressed;
    } while (env_.readCounter() < until);
    return nullptr;
}

void SurveillanceRun::UpdateAlarmLevel(bool detected)
{
    if (detected)
        alarmLevel_ += frameSeconds_;
    else
        alarmLevel_ = std::max(0.0f, alarmLevel_ - frameSeconds_);
}

// The camera's picture, without boxes or motion overlay, encoded once: the file and the mail carry
// the same bytes. A picture the folder refused is mailed all the same, saying so: the mail may be
// the only copy.
void SurveillanceRun::TakePicture()
{
    state_.IncrementPicturesTaken();
    const int picturesTaken = state_.picturesTaken.load(std::memory_order_relaxed);
    AlarmPicture picture;
    CheckFreeSpace();
    picture.jpegBytes = Jpeg(frame_);
    picture.saveError = picture.jpegBytes.empty() ? "the frame could not be encoded as JPEG" : SaveAs(picture);
    const std::string name = picture.number ? "picture " + std::to_string(picture.number) : std::string("a picture");
    if (picture.saveError.empty())
        env_.logEvent(name + " saved as " + picture.path);
    else
        Tell(name + " could not be saved: " + picture.saveError);
    if (picture.number)
        SaveStory(picture);
    episodeStart_ = episodeStart_ ? episodeStart_ : picture.number;
    picture.episode = episodeStart_;
    picture.event = Record({.kind = "alarm", .pictureNumber = picture.number,
                            .picture = picture.saveError.empty() ? picture.path : std::string(),
                            .story = picture.storyPath, .clip = picture.clipPath,
                            .note = picture.saveError.empty() ? std::string() : "could not be saved: " + picture.saveError,
                            .id = picture.event});
    picture.mail = emailSwitch_ && (!faceMode_ || picturesTaken <= kFaceModeMailLimit);
    if (!picture.jpegBytes.empty())
        env_.queuePicture(picture);
    alarmLevel_ = std::max(0.0f, alarmThreshold_ - state_.delayBetweenSends.load(std::memory_order_relaxed));
    lastPictureAt_ = runSeconds_;
}

// Numbers and saves the picture under the next free name of its folder (another one when someone
// took that name meanwhile); empty when saved, else why not.
std::string SurveillanceRun::SaveAs(AlarmPicture& picture)
{
    const fs::path folder = state_.picturesFolder.empty() ? fs::path(".") : fs::path(state_.picturesFolder);
    std::string error;
    for (int tries = 0; tries < kPictureNameTries; ++tries) {
        picture.number = lastPictureNumber_ = NextFreePictureNumber(folder, lastPictureNumber_);
        picture.fileName = PictureFileName(picture.number);
        picture.path = InPicturesFolder(picture.fileName);
        // In the history before the file takes its name, so a kill -9 between them loses none.
        picture.event = Record({.kind = "alarm", .pictureNumber = picture.number, .picture = picture.path,
                                .id = picture.event});
        error = env_.savePicture(picture.path, picture.jpegBytes);
        std::error_code ignored;
        if (error.empty() || !fs::exists(picture.path, ignored))
            break;
    }
    return error;
}

// The view compared with the one the run was armed in: a covered, turned or darkened camera is told
// (log, status line, an alert with the last good frame beside the current one), and so is its end.
void SurveillanceRun::GuardView()
{
    const double seconds = static_cast<double>(env_.readCounter()) / static_cast<double>(env_.counterFrequency);
    const std::optional<TamperEvent> event = tamper_.Feed(frame_, seconds);
    if (!event)
        return;
    const std::string kind = TamperEventText(event->kind), text = kind + " at " + LocalTimeNow();
    env_.logEvent(text);
    const std::int64_t recorded = Record({.kind = kind, .note = text});
    const bool restored = event->kind == TamperKind::kRestored;
    state_.ShowRunStatus(restored ? runningStatus_ : runningStatus_ + " \u2014 " + Capitalised(text));
    cv::Mat shown = event->current;
    if (!event->lastGood.empty() && event->lastGood.size() == event->current.size())
        cv::hconcat(event->lastGood, event->current, shown);   // before | now
    env_.queueAlert({kind, Capitalised(text) + (restored ? "" : ": the last good view, then the view now"), Jpeg(shown),
                     recorded, emailSwitch_});
}

// The story keeper of this run: clips are written on the writer's thread and told in the log.
void SurveillanceRun::StartStory()
{
    const auto log = env_.logEvent;
    clips_ = std::make_unique<ClipWriter>(state_.clipsMaxBytes, [log](const fs::path& file, const std::string& error) {
        log(error.empty() ? "clip saved as " + file.string() : "clip " + file.string() + " could not be saved: " + error);
    });
    story_ = std::make_unique<AlarmStory>(ring_, *clips_, [this](const std::string& sheet, auto began) {
        SaveNearAlarm(sheet, began);
    });
}

// The contact sheet of the episode that led to the picture, saved as "pic_N-story.jpg" and mailed
// with it; the clip "clip_N.mp4" follows once the 10 s after the alarm are in.
void SurveillanceRun::SaveStory(AlarmPicture& picture)
{
    const std::string number = std::to_string(picture.number);
    const AlarmStory::Alarm alarm = story_->TakeAlarm(runSeconds_, InPicturesFolder("clip_" + number + ".mp4"));
    picture.storyBytes = alarm.sheetJpeg;
    picture.clipPath = alarm.clipFile.string();
    if (alarm.sheetJpeg.empty())
        return;
    const std::string path = InPicturesFolder("pic_" + number + "-story.jpg"), error = env_.savePicture(path, alarm.sheetJpeg);
    if (error.empty())
        picture.storyPath = path;
    env_.logEvent(error.empty() ? "story of picture " + number + " saved as " + path
                                : "story of picture " + number + " could not be saved: " + error);
}

// An episode that drained before the alarm: no alert, but its sheet is kept for the owner to see.
void SurveillanceRun::SaveNearAlarm(const std::string& sheetJpeg, std::chrono::system_clock::time_point began)
{
    const std::time_t when = std::chrono::system_clock::to_time_t(began);
    std::tm local{};
    localtime_r(&when, &local);
    char name[48];
    std::strftime(name, sizeof name, "near_%Y%m%d-%H%M%S-story.jpg", &local);
    const std::string path = InPicturesFolder(name);
    const std::string error = sheetJpeg.empty() ? "no frame was kept" : env_.savePicture(path, sheetJpeg);
    env_.logEvent(error.empty() ? "near alarm: story saved as " + path : "near alarm: its story could not be saved: " + error);
    Record({.kind = "near alarm", .story = error.empty() ? path : std::string(),
            .note = error.empty() ? std::string() : "its story could not be saved: " + error});
}

std::string SurveillanceRun::InPicturesFolder(const std::string& fileName) const
{
    return (fs::path(state_.picturesFolder) / fileName).string();
}

// Below the free-space floor in the pictures' folder: told, and mailed, once per run.
void SurveillanceRun::CheckFreeSpace()
{
    if (diskWarned_)
        return;
    std::error_code error;
    const fs::path folder = state_.picturesFolder.empty() ? fs::current_path(error) : fs::path(state_.picturesFolder);
    const fs::space_info space = fs::space(ExistingFolder(folder), error);
    if (error || space.available >= state_.minFreeBytes)
        return;
    diskWarned_ = true;
    const std::string text = "disk nearly full: " + std::to_string(space.available / (1024 * 1024)) + " MB free in "
        + folder.string();
    Tell(text);
    const std::int64_t event = Record({.kind = "disk nearly full", .note = text});
    env_.queueAlert({"disk nearly full", Capitalised(text), {}, event, emailSwitch_});
}

// The frame as JPEG bytes; empty when there is no frame or it could not be encoded.
std::string SurveillanceRun::Jpeg(const cv::Mat& frame)
{
    if (frame.empty() || !cv::imencode(".jpg", frame, jpeg_))
        return {};
    return {jpeg_.begin(), jpeg_.end()};
}

void SurveillanceRun::Tell(const std::string& event)
{
    env_.logEvent(event);
    state_.ShowRunStatus(Capitalised(event));
}

std::int64_t SurveillanceRun::Record(RunRecord record)
{
    return env_.record ? env_.record(record) : 0;
}

void SurveillanceRun::CleanUp()
{
    if (story_)
        story_->Finish();
    clips_.reset();   // writes the clips still open
    display_.release();
    source_.reset();
    preview_->Close();
    preview_.reset();
}
