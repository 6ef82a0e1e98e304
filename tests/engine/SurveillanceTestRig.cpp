#include "tests/engine/SurveillanceTestRig.h"

#include "engine/SurveillanceWorker.h"

#include <gtest/gtest.h>
#include <opencv2/videoio.hpp>

#include <algorithm>

void RecordingSessionState::Record(std::string call)
{
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void RecordingSessionState::IncrementPicturesTaken()
{
    std::lock_guard lock(mutex_);
    picturesTaken.fetch_add(1);
    pictureFrames_.push_back(static_cast<int>(levels_.size()) + 1);
}

void RecordingSessionState::SetAlertLevel(float seconds)
{
    int frame = 0;
    {
        std::lock_guard lock(mutex_);
        levels_.push_back(seconds);
        frame = static_cast<int>(levels_.size());
    }
    if (afterFrame)
        afterFrame(frame);
}

void RecordingSessionState::FallBackToMotionDetect()
{
    faceDetectMode = false;
    faceDetectAvailable = false;
    Record("FallBackToMotionDetect");
}

std::vector<std::string> RecordingSessionState::Calls() const { std::lock_guard lock(mutex_); return calls_; }
std::vector<float> RecordingSessionState::AlertLevels() const { std::lock_guard lock(mutex_); return levels_; }
std::vector<int> RecordingSessionState::PictureFrames() const { std::lock_guard lock(mutex_); return pictureFrames_; }

int RecordingSessionState::Count(const std::string& call) const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

namespace {

class MemoryFrameSource final : public FrameSource {
public:
    MemoryFrameSource(std::vector<cv::Mat> frames, FakeClock& clock, RunRecord& record, bool loop)
        : frames_(std::move(frames)), clock_(clock), record_(record), loop_(loop) {}
    ~MemoryFrameSource() override { ++record_.sourcesReleased; }
    void RequestFrameSize(int width, int height) override { record_.sizeRequests.emplace_back(width, height); }
    bool Read(cv::Mat& frame) override
    {
        ++clock_.ticks;   // like a camera delivering frames
        if (loop_ && next_ >= frames_.size())
            next_ = 0;
        if (next_ >= frames_.size())
            return false;
        frame = frames_[next_++];
        ++record_.framesRead;
        return true;
    }

private:
    std::vector<cv::Mat> frames_;
    FakeClock& clock_;
    RunRecord& record_;
    bool loop_;
    size_t next_ = 0;
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

SourceOpener MemorySource(std::vector<cv::Mat> frames, FakeClock& clock, RunRecord& record, bool loop)
{
    return [frames = std::move(frames), &clock, &record, loop]() -> std::unique_ptr<FrameSource> {
        return std::make_unique<MemoryFrameSource>(frames, clock, record, loop);
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
    cv::VideoWriter writer(file.string(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps,
                           frames.front().size());
    for (const cv::Mat& frame : frames)
        writer.write(frame);
    return writer.isOpened();
}

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
        mails.push_back({to, from, server, file, {}, {}, std::filesystem::exists(file)});
        if (user)
            mails.back().user = user;
        if (password)
            mails.back().password = password;
        return true;
    };
    env.makePreview = [this] { return std::make_unique<RecordingPreview>(record); };
    env.writePicture = [this, write = DefaultSurveillanceEnvironment({}).writePicture](const std::string& file,
                                                                                       const cv::Mat& image) {
        picturesWritten.push_back(file);
        write(file, image);
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
