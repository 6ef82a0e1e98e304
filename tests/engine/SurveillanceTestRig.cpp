#include "tests/engine/SurveillanceTestRig.h"

#include "engine/PictureFile.h"
#include "engine/PictureNumbering.h"

#include <gtest/gtest.h>

namespace {

struct MemoryFrameSource final : FrameSource {
    explicit MemoryFrameSource(SurveillanceRig& rig) : rig(rig) {}
    ~MemoryFrameSource() override { ++rig.sourcesReleased; }
    void RequestFrameSize(int width, int height) override { rig.requested = {width, height}; }
    bool Read(cv::Mat& frame) override
    {
        ++rig.clock;   // time passes while a camera delivers a frame
        next = rig.loop && next == rig.frames.size() ? 0 : next;
        if (next == rig.frames.size())
            return false;
        frame = rig.frames[next++];
        return ++rig.framesRead;
    }
    bool IsLive() const override { return rig.live; }
    SurveillanceRig& rig;
    size_t next = 0;
};

struct RecordingPreview final : PreviewSink {
    explicit RecordingPreview(SurveillanceRig& rig) : rig(rig) {}
    void Open(const std::string&) override { rig.log += 'o'; }
    void Show(const cv::Mat&) override { rig.log += 's'; }
    int WaitKey(int) override
    {
        rig.clock += rig.ticksPerKeyWait;
        return rig.framesRead == rig.keyAtFrame ? 'q' : -1;
    }
    void Close() override { rig.log += 'c'; }
    SurveillanceRig& rig;
};

}  // namespace

SurveillanceEnvironment SurveillanceRig::Environment()
{
    SurveillanceEnvironment env;
    env.openSource = [this] { return camera ? std::make_unique<MemoryFrameSource>(*this) : nullptr; };
    env.sourceIsLive = live;
    env.readCounter = [this] { return clock; };
    env.counterFrequency = 16;
    env.detectMotion = [this](const cv::Mat&, cv::Mat&, const MotionRules&) { log += 'm'; return detect(framesRead); };
    env.detectFaces = [this](cv::Mat&, const cv::Mat&) { log += 'f'; return detect(framesRead); };
    env.loadCascade = [this] { return cascadeLoads; };
    env.savePicture = [this](const std::string& file, const std::string& jpeg) {
        EXPECT_FALSE(std::filesystem::exists(file)) << file << " saved over";
        if (!refuse.empty())
            return refuse;
        (file.ends_with("-story.jpg") ? stories : pictures).push_back(file);
        return SavePicture(file, jpeg);
    };
    env.queuePicture = [this](const AlarmPicture& picture) {
        EXPECT_EQ(picture.fileName, PictureFileName(picture.number));
        if (picture.saveError.empty())
            EXPECT_EQ(dir.ReadFile(picture.path), picture.jpegBytes) << "a mail carries the saved picture's bytes";
        else
            EXPECT_EQ(picture.saveError, refuse);
        EXPECT_FALSE(picture.jpegBytes.empty());
        if (picture.mail)
            mails.push_back(picture.fileName);
    };
    env.queueAlert = [this](const RunAlert& alert) {
        if (alert.mail)
            alerts.push_back(alert.kind);
    };
    env.logEvent = [this](const std::string& event) { events.push_back(event); };
    env.makePreview = [this] { return std::make_unique<RecordingPreview>(*this); };
    return env;
}
