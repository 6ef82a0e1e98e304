#include "tests/engine/SurveillanceTestRig.h"

#include "engine/SurveillanceWorker.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

RecordingSessionState::RecordingSessionState() = default;

void RecordingSessionState::IncrementPicturesTaken()
{
    std::lock_guard lock(mutex_);
    picturesTaken.fetch_add(1);
    calls_.push_back("IncrementPicturesTaken");
    pictureFrames_.push_back(static_cast<int>(levels_.size()) + 1);
}

void RecordingSessionState::SetAlertLevel(float seconds)
{
    int frame = 0;
    {
        std::lock_guard lock(mutex_);
        levels_.push_back(seconds);
        calls_.push_back("SetAlertLevel");
        frame = static_cast<int>(levels_.size());
    }
    if (afterFrame)
        afterFrame(frame);
}

void RecordingSessionState::FallBackToMotionDetect()
{
    std::lock_guard lock(mutex_);
    faceDetectMode = false;
    faceDetectAvailable = false;
    ++fallBacks_;
    calls_.push_back("FallBackToMotionDetect");
}

void RecordingSessionState::SetAlertRange(int maxMilliseconds)
{
    std::lock_guard lock(mutex_);
    ranges_.push_back(maxMilliseconds);
    calls_.push_back("SetAlertRange:" + std::to_string(maxMilliseconds));
}

void RecordingSessionState::ShowRunMessage(const std::string& text)
{
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
    calls_.push_back("ShowRunMessage");
}

void RecordingSessionState::RunEnded()
{
    std::lock_guard lock(mutex_);
    ++runsEnded_;
    calls_.push_back("RunEnded");
}

std::vector<std::string> RecordingSessionState::Calls() const { std::lock_guard lock(mutex_); return calls_; }
std::vector<float> RecordingSessionState::AlertLevels() const { std::lock_guard lock(mutex_); return levels_; }
std::vector<int> RecordingSessionState::PictureFrames() const { std::lock_guard lock(mutex_); return pictureFrames_; }
std::vector<int> RecordingSessionState::AlertRanges() const { std::lock_guard lock(mutex_); return ranges_; }
std::vector<std::string> RecordingSessionState::Messages() const { std::lock_guard lock(mutex_); return messages_; }
int RecordingSessionState::FallBacks() const { std::lock_guard lock(mutex_); return fallBacks_; }
int RecordingSessionState::RunsEnded() const { std::lock_guard lock(mutex_); return runsEnded_; }

namespace {

// Advances the fake clock by one frame interval per grab, like a camera delivering frames.
class TimedSource : public FrameSource {
public:
    TimedSource(FakeClock& clock, RunRecord& record) : clock_(clock), record_(record) { ++record_.sourcesOpened; }
    ~TimedSource() override { ++record_.sourcesReleased; }
    void RequestFrameSize(int width, int height) override { record_.sizeRequests.emplace_back(width, height); }
    bool Read(cv::Mat& frame) override
    {
        clock_.ticks += clock_.ticksPerFrame;
        if (!Next(frame))
            return false;
        ++record_.framesRead;
        return true;
    }

protected:
    virtual bool Next(cv::Mat& frame) = 0;

private:
    FakeClock& clock_;
    RunRecord& record_;
};

class MemoryFrameSource final : public TimedSource {
public:
    MemoryFrameSource(std::vector<cv::Mat> frames, FakeClock& clock, RunRecord& record, bool loop)
        : TimedSource(clock, record), frames_(std::move(frames)), loop_(loop) {}

private:
    bool Next(cv::Mat& frame) override
    {
        if (loop_ && next_ >= frames_.size())
            next_ = 0;
        if (next_ >= frames_.size())
            return false;
        frame = frames_[next_++];
        return true;
    }
    std::vector<cv::Mat> frames_;
    bool loop_;
    size_t next_ = 0;
};

class VideoFrameSource final : public TimedSource {
public:
    VideoFrameSource(const std::string& file, FakeClock& clock, RunRecord& record)
        : TimedSource(clock, record), capture_(file, cv::CAP_FFMPEG) {}

private:
    bool Next(cv::Mat& frame) override { return capture_.read(frame) && !frame.empty(); }
    cv::VideoCapture capture_;
};

class RecordingPreview final : public PreviewSink {
public:
    explicit RecordingPreview(RunRecord& record) : record_(record) { ++record_.previewsMade; }
    void Open(const std::string& title) override { record_.previewCalls.push_back("Open:" + title); }
    void Show(const cv::Mat& image) override
    {
        record_.previewCalls.push_back("Show");
        image.copyTo(record_.lastShown);
    }
    int WaitKey(int) override { return record_.framesRead == record_.keyAtFrame ? 'q' : -1; }
    void Close() override { record_.previewCalls.push_back("Close"); }

private:
    RunRecord& record_;
};

}  // namespace

std::function<std::unique_ptr<FrameSource>()> MemorySource(std::vector<cv::Mat> frames, FakeClock& clock, RunRecord& record,
                                                          bool loop)
{
    return [frames = std::move(frames), &clock, &record, loop]() -> std::unique_ptr<FrameSource> {
        return std::make_unique<MemoryFrameSource>(frames, clock, record, loop);
    };
}

std::function<std::unique_ptr<FrameSource>()> VideoFileSource(std::string file, FakeClock& clock, RunRecord& record)
{
    return [file = std::move(file), &clock, &record]() -> std::unique_ptr<FrameSource> {
        return std::make_unique<VideoFrameSource>(file, clock, record);
    };
}

std::vector<cv::Mat> SolidFrames(int count, cv::Size size)
{
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i)
        frames.emplace_back(size, CV_8UC3, cv::Scalar(i % 200, 40 + i % 100, 200 - i % 150));
    return frames;
}

bool WriteVideo(const std::filesystem::path& file, const std::vector<cv::Mat>& frames, double fps)
{
    if (frames.empty())
        return false;
    cv::VideoWriter writer(file.string(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, frames.front().size());
    if (!writer.isOpened())
        return false;
    for (const cv::Mat& frame : frames)
        writer.write(frame);
    return true;
}

SurveillanceRig::SurveillanceRig() { UseFrames(SolidFrames(50)); }

SurveillanceEnvironment SurveillanceRig::Environment()
{
    SurveillanceEnvironment env;
    env.openSource = [this] { return openSource ? openSource() : nullptr; };
    env.readCounter = [this] { return clock.ticks; };
    env.counterFrequency = clock.frequency;
    env.detectMotion = [this](const cv::Mat&, cv::Mat& overlay, int diffThreshold) {
        EXPECT_EQ(diffThreshold, 30);
        if (record.detectMotionCalls++ == 0)
            overlay.copyTo(record.overlayAtFirstMotionCall);
        if (motionPaint)
            motionPaint(overlay);
        return motionAnswer(record.framesRead);
    };
    env.detectFaces = [this](cv::Mat& image) {
        ++record.detectFacesCalls;
        if (facePaint)
            facePaint(image);
        return faceAnswer(record.framesRead);
    };
    env.loadCascade = [this] { return cascadeLoads; };
    env.sendMail = [this](const char* to, const char* from, const char* server, const char* file, const char* user,
                          const char* password) {
        MailCall call{to, from, server, file, {}, {}, std::filesystem::exists(file)};
        if (user)
            call.user = user;
        if (password)
            call.password = password;
        mails.push_back(call);
        return true;
    };
    env.makePreview = [this] { return std::make_unique<RecordingPreview>(record); };
    const auto write = DefaultSurveillanceEnvironment(SurveillanceOptions{}).writePicture;
    env.writePicture = [this, write](const std::string& fileName, const cv::Mat& image) {
        picturesWritten.push_back(fileName);
        write(fileName, image);
    };
    return env;
}

std::shared_ptr<RecordingSessionState> RunningState(float delayBeforeAlarm, float delayBetweenSends, bool faceMode, bool sendEmails)
{
    auto state = std::make_shared<RecordingSessionState>();
    state->delayBeforeAlarm = delayBeforeAlarm;
    state->delayBetweenSends = delayBetweenSends;
    state->faceDetectMode = faceMode;
    state->faceDetectAvailable = true;
    state->sendEmails = sendEmails;
    state->isRunning = true;
    state->fromAddress = "alarm@example.org";
    state->toAddress = "owner@example.org";
    state->smtpServer = "mail.example.org";
    return state;
}
