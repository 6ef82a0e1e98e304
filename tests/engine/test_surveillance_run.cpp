// How a run starts, ends and cleans up, and what it saves and mails.

#include "engine/PictureNumbering.h"
#include "engine/SurveillanceThread.h"
#include "engine/SurveillanceWorker.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

using Calls = std::vector<std::string>;

class SurveillanceRunTest : public ::testing::Test {
protected:
    void Run(SessionState& state) { SurveillanceThread(state, rig.Environment()); }

    TestDirectory dir;
    SurveillanceRig rig;
};

TEST_F(SurveillanceRunTest, MissingCascadeFallsBackToMotionInEitherMode)
{
    for (bool faceMode : {true, false}) {
        SurveillanceRig rig;
        rig.cascadeLoads = false;
        auto state = RunningState(5.0f, 2.0f, faceMode);
        SurveillanceThread(*state, rig.Environment());

        EXPECT_EQ(state->FallBacks(), 1) << "face mode " << faceMode;
        EXPECT_FALSE(state->faceDetectMode);
        EXPECT_EQ(state->AlertRanges(), std::vector<int>{5000});   // the motion threshold
        EXPECT_EQ(rig.record.detectFacesCalls, 0);
        EXPECT_EQ(rig.record.detectMotionCalls, 50);
        EXPECT_TRUE(state->Messages().empty());
    }
}

TEST_F(SurveillanceRunTest, WithoutACameraOnlyTheMessageIsShown)
{
    rig.openSource = [] { return nullptr; };
    auto state = RunningState(10.0f, 2.0f);
    Run(*state);

    EXPECT_EQ(state->Calls(), (Calls{"SetAlertRange:10000", "ShowRunMessage", "RunEnded"}));
    EXPECT_EQ(state->Messages(), Calls{"Could not find camera! Please plug a camera in and try again."});
    EXPECT_EQ(rig.record.previewsMade, 0);
    EXPECT_TRUE(state->isRunning);   // the loop never writes it
}

TEST_F(SurveillanceRunTest, AVideoThatCannotBeOpenedIsAMissingCamera)
{
    SurveillanceOptions options;
    options.cameraSource = (dir.path() / "no-such-video.avi").string();
    SurveillanceEnvironment env = rig.Environment();
    env.openSource = DefaultSurveillanceEnvironment(options).openSource;
    auto state = RunningState(10.0f, 2.0f);
    SurveillanceThread(*state, env);

    EXPECT_EQ(state->Messages().size(), 1u);
    EXPECT_EQ(state->Calls().back(), "RunEnded");
    EXPECT_EQ(rig.record.previewsMade, 0);
}

TEST_F(SurveillanceRunTest, FailedGrabEndsTheRunAndCleansUp)
{
    rig.UseFrames(SolidFrames(5));
    auto state = RunningState(10.0f, 2.0f);
    Run(*state);

    EXPECT_EQ(rig.record.framesRead, 5);
    EXPECT_EQ(rig.record.previewCalls, (Calls{"Open:Sentivo", "Show", "Show", "Show", "Show", "Show", "Close"}));
    EXPECT_EQ(rig.record.sourcesReleased, 1);
    EXPECT_EQ(state->Calls().back(), "RunEnded");
    EXPECT_EQ(state->RunsEnded(), 1);
    EXPECT_TRUE(state->isRunning);
}

TEST_F(SurveillanceRunTest, KeyInThePreviewEndsTheRunAfterThatFrame)
{
    rig.record.keyAtFrame = 7;
    auto state = RunningState(10.0f, 2.0f);
    Run(*state);

    EXPECT_EQ(rig.record.framesRead, 7);
    EXPECT_EQ(state->AlertLevels().size(), 7u);
    EXPECT_EQ(rig.record.previewCalls.back(), "Close");
    EXPECT_EQ(rig.record.sourcesReleased, 1);
    EXPECT_EQ(state->Calls().back(), "RunEnded");
}

TEST_F(SurveillanceRunTest, ClearedRunFlagEndsTheRunAfterTheCurrentFrame)
{
    auto state = RunningState(10.0f, 2.0f);
    state->afterFrame = [&](int frame) {
        if (frame == 3)
            state->isRunning = false;
    };
    Run(*state);
    EXPECT_EQ(rig.record.framesRead, 3);
    EXPECT_EQ(rig.record.sourcesReleased, 1);

    // Cleared before the run began: the window opens and closes, no frame is read.
    SurveillanceRig second;
    auto stopped = RunningState(10.0f, 2.0f);
    stopped->isRunning = false;
    SurveillanceThread(*stopped, second.Environment());
    EXPECT_EQ(second.record.framesRead, 0);
    EXPECT_EQ(second.record.previewCalls, (Calls{"Open:Sentivo", "Close"}));
    EXPECT_EQ(stopped->Calls().back(), "RunEnded");
}

TEST_F(SurveillanceRunTest, DetectorFailureEndsTheRunLikeAFailedGrab)
{
    rig.motionAnswer = [](int frame) -> bool {
        if (frame == 4)
            throw cv::Exception(cv::Error::StsBadArg, "odd frame", "DetectMotion", __FILE__, __LINE__);
        return false;
    };
    auto state = RunningState(10.0f, 2.0f);
    Run(*state);
    EXPECT_EQ(rig.record.sourcesReleased, 1);
    EXPECT_EQ(state->Calls().back(), "RunEnded");
}

TEST_F(SurveillanceRunTest, AsksForSixHundredFortyByFourEightyAndGoesOnWithWhatTheCameraGives)
{
    rig.UseFrames(SolidFrames(40, {320, 240}));   // a camera that keeps its own size
    auto state = RunningState(1.0f, 1.0f);
    Run(*state);

    EXPECT_EQ(rig.record.sizeRequests, (std::vector<std::pair<int, int>>{{640, 480}}));
    ASSERT_FALSE(rig.picturesWritten.empty());
    EXPECT_EQ(cv::imread(rig.picturesWritten.front()).size(), cv::Size(320, 240));

    SurveillanceRig noSize;
    auto other = RunningState(1.0f, 1.0f);
    other->capturePropertyValue = 0;
    SurveillanceThread(*other, noSize.Environment());
    EXPECT_TRUE(noSize.record.sizeRequests.empty());
}

// The detectors paint into the display image; the picture must be the camera's frame.
TEST_F(SurveillanceRunTest, SavedPictureIsTheCameraFrameNotTheDisplayImage)
{
    cv::Mat frame(120, 160, CV_8UC3, cv::Scalar(30, 160, 90));
    cv::rectangle(frame, {40, 30, 60, 50}, cv::Scalar(200, 20, 20), cv::FILLED);
    for (bool faceMode : {false, true}) {
        SurveillanceRig rig;
        rig.UseFrames(std::vector<cv::Mat>(30, frame));
        rig.motionPaint = [](cv::Mat& overlay) { overlay.setTo(cv::Scalar(255, 0, 0)); };
        rig.facePaint = [](cv::Mat& image) { cv::rectangle(image, {10, 10, 80, 80}, cv::Scalar(0, 0, 255), 3); };
        auto state = RunningState(0.5f, 1.0f, faceMode);
        SurveillanceThread(*state, rig.Environment());

        ASSERT_EQ(rig.picturesWritten.size(), 1u) << "face mode " << faceMode;
        const cv::Mat saved = cv::imread(rig.picturesWritten.front());
        ASSERT_EQ(saved.size(), frame.size());
        EXPECT_LT(cv::norm(saved, frame, cv::NORM_L1) / saved.total(), 6.0) << "face mode " << faceMode;
        // What the preview showed was the display image, with the detector's drawing.
        EXPECT_GT(cv::norm(rig.record.lastShown, frame, cv::NORM_L1) / frame.total(), 20.0);
        std::filesystem::remove(rig.picturesWritten.front());
    }
}

TEST_F(SurveillanceRunTest, MotionOverlayStartsBlackAndFaceImageIsACopyOfTheFrame)
{
    auto state = RunningState(10.0f, 2.0f);
    Run(*state);
    ASSERT_FALSE(rig.record.overlayAtFirstMotionCall.empty());
    EXPECT_EQ(cv::countNonZero(rig.record.overlayAtFirstMotionCall.reshape(1)), 0);

    SurveillanceRig face;
    std::vector<cv::Mat> frames = SolidFrames(3);
    face.UseFrames(frames);
    auto faceState = RunningState(10.0f, 2.0f, true);
    SurveillanceThread(*faceState, face.Environment());
    EXPECT_EQ(cv::norm(face.record.lastShown, frames.back(), cv::NORM_INF), 0.0);
}

TEST_F(SurveillanceRunTest, MailCarriesTheSavedFileAndTheStatesCredentials)
{
    auto state = RunningState(0.5f, 2.0f);
    state->haveCredentials = true;
    state->smtpUserName = "alarm";
    state->smtpPassword = "";   // an empty password is still a password
    Run(*state);

    ASSERT_EQ(rig.mails.size(), 1u);
    const MailCall& mail = rig.mails.front();
    EXPECT_EQ(mail.to, "owner@example.org");
    EXPECT_EQ(mail.from, "alarm@example.org");
    EXPECT_EQ(mail.server, "mail.example.org");
    EXPECT_EQ(mail.file, "pic_1.jpg");
    EXPECT_TRUE(mail.fileExisted);
    EXPECT_EQ(mail.user, std::optional<std::string>("alarm"));
    EXPECT_EQ(mail.password, std::optional<std::string>(""));

    SurveillanceRig anonymous;
    auto noLogin = RunningState(0.5f, 2.0f);
    SurveillanceThread(*noLogin, anonymous.Environment());
    ASSERT_EQ(anonymous.mails.size(), 1u);
    EXPECT_FALSE(anonymous.mails.front().user.has_value());
    EXPECT_FALSE(anonymous.mails.front().password.has_value());

    SurveillanceRig quiet;
    auto noMail = RunningState(0.5f, 2.0f, false, /*sendEmails=*/false);
    SurveillanceThread(*noMail, quiet.Environment());
    EXPECT_EQ(quiet.picturesWritten.size(), 1u);
    EXPECT_TRUE(quiet.mails.empty());
}

TEST_F(SurveillanceRunTest, NumberingGoesOnAcrossRunsAndProgramStartsWithoutOverwriting)
{
    auto takeThree = [](SessionState& state) {
        SurveillanceRig rig;
        rig.UseFrames(SolidFrames(3 * 16 + 1));   // a picture each second: frames 17, 33 and 49
        state.isRunning = true;
        SurveillanceThread(state, rig.Environment());
        return rig.picturesWritten;
    };
    auto program1 = RunningState(1.0f, 1.0f);
    program1->pictureNumberBase = HighestPictureNumber(dir.path());
    EXPECT_EQ(takeThree(*program1), (Calls{"pic_1.jpg", "pic_2.jpg", "pic_3.jpg"}));
    EXPECT_EQ(takeThree(*program1), (Calls{"pic_4.jpg", "pic_5.jpg", "pic_6.jpg"}));
    const std::string firstPicture = dir.ReadFile("pic_1.jpg");

    // The program starts anew: the counter starts at 0, the file numbers go on.
    auto program2 = RunningState(1.0f, 1.0f);
    program2->pictureNumberBase = HighestPictureNumber(dir.path());
    EXPECT_EQ(program2->pictureNumberBase, 6);
    EXPECT_EQ(takeThree(*program2), (Calls{"pic_7.jpg", "pic_8.jpg", "pic_9.jpg"}));
    EXPECT_EQ(program2->picturesTaken, 3);
    EXPECT_EQ(dir.ReadFile("pic_1.jpg"), firstPicture);
}

TEST(PictureNumbering, HighestNumberCountsOnlyExactPictureNames)
{
    TestDirectory dir;
    EXPECT_EQ(HighestPictureNumber(dir.path()), 0);
    for (const char* name : {"pic_3.jpg", "pic_12.jpg", "pic_0.jpg", "pic_-40.jpg", "pic_+50.jpg", "pic_60.jpeg", "Pic_70.jpg",
                             "pic_80.jpg.bak", "xpic_90.jpg", "pic_ 95.jpg", "pic_.jpg", "pic_99999999999.jpg", "pic_1e3.jpg"})
        dir.WriteFile(name, "x");
    EXPECT_EQ(HighestPictureNumber(dir.path()), 12);
    EXPECT_EQ(HighestPictureNumber(dir.path() / "missing"), 0);
    EXPECT_EQ(PictureFileName(2147483648LL), "pic_2147483648.jpg");
}

}  // namespace
