// How a run starts, ends and cleans up, and what it saves and mails.

#include "engine/PictureNumbering.h"
#include "engine/SurveillanceWorker.h"
#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

using Strings = std::vector<std::string>;

class SurveillanceRunTest : public ::testing::Test {
protected:
    TestDirectory dir;
};

TEST_F(SurveillanceRunTest, MissingCascadeFallsBackToMotionInEitherMode)
{
    for (bool faceMode : {true, false}) {
        SCOPED_TRACE(faceMode ? "face mode" : "motion mode");
        SurveillanceRig rig;
        rig.cascadeLoads = false;
        auto state = RunningState(5.0f, 2.0f, faceMode);
        rig.Run(*state);

        EXPECT_EQ(state->Calls(), (Strings{"FallBackToMotionDetect", "SetAlertRange:5000", "RunEnded"}));
        EXPECT_FALSE(state->faceDetectMode);
        EXPECT_EQ(rig.record.detectFacesCalls, 0);
        EXPECT_EQ(rig.record.detectMotionCalls, 50);
    }
}

// No camera, or a video that cannot be opened: only the message, no preview.
TEST_F(SurveillanceRunTest, WithoutACameraOnlyTheMessageIsShown)
{
    SurveillanceOptions unopenable;
    unopenable.cameraSource = (dir.path() / "no-such-video.avi").string();
    for (const SourceOpener& open : {SourceOpener([] { return nullptr; }),
                                     DefaultSurveillanceEnvironment(unopenable).openSource}) {
        SurveillanceRig rig;
        rig.openSource = open;
        auto state = RunningState(10.0f, 2.0f);
        rig.Run(*state);

        EXPECT_EQ(state->Calls(), (Strings{"SetAlertRange:10000",
                                           "ShowRunMessage:Could not find camera! Please plug a camera in and try again.",
                                           "RunEnded"}));
        EXPECT_EQ(rig.record.previewsMade, 0);
        EXPECT_TRUE(state->isRunning);   // the loop never writes it
    }
}

// Every way a run ends leaves it cleaned up: preview gone, camera released, RunEnded last.
TEST_F(SurveillanceRunTest, EveryEndOfARunCleansUp)
{
    struct Case {
        const char* name;
        int framesAvailable, keyAtFrame, stopAfterFrame, throwAtFrame;
        int framesRead;
    };
    const Case cases[] = {
        {"failed grab", 5, 0, 0, 0, 5},
        {"key in the preview", 50, 7, 0, 0, 7},
        {"run flag cleared", 50, 0, 3, 0, 3},
        {"detector failure", 50, 0, 0, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SurveillanceRig rig;
        rig.UseFrames(SolidFrames(c.framesAvailable));
        rig.record.keyAtFrame = c.keyAtFrame;
        rig.motionAnswer = [&](int frame) -> bool {
            if (frame == c.throwAtFrame)
                throw cv::Exception(cv::Error::StsBadArg, "odd frame", "DetectMotion", __FILE__, __LINE__);
            return false;
        };
        auto state = RunningState(10.0f, 2.0f);
        state->afterFrame = [&](int frame) {
            if (frame == c.stopAfterFrame)
                state->isRunning = false;
        };
        rig.Run(*state);

        EXPECT_EQ(rig.record.framesRead, c.framesRead);
        const size_t shown = c.throwAtFrame ? c.framesRead - 1 : c.framesRead;
        EXPECT_EQ(std::count(rig.record.previewCalls.begin(), rig.record.previewCalls.end(), "Show"), long(shown));
        EXPECT_EQ(rig.record.previewCalls.front(), "Open:Sentivo");
        // A failure mid-run drops the preview without a Close call; the window goes with it.
        EXPECT_EQ(rig.record.previewCalls.back(), c.throwAtFrame ? "Show" : "Close");
        EXPECT_EQ(rig.record.sourcesReleased, 1);
        EXPECT_EQ(state->Calls().back(), "RunEnded");
        EXPECT_EQ(state->Count("RunEnded"), 1);
        EXPECT_EQ(state->isRunning, c.stopAfterFrame == 0);
    }

    // Cleared before the run began: the window opens and closes, no frame is read.
    SurveillanceRig rig;
    auto stopped = RunningState(10.0f, 2.0f);
    stopped->isRunning = false;
    rig.Run(*stopped);
    EXPECT_EQ(rig.record.framesRead, 0);
    EXPECT_EQ(rig.record.previewCalls, (Strings{"Open:Sentivo", "Close"}));
    EXPECT_EQ(stopped->Calls().back(), "RunEnded");
}

TEST_F(SurveillanceRunTest, AsksForSixHundredFortyByFourEightyAndGoesOnWithWhatTheCameraGives)
{
    SurveillanceRig rig;
    rig.UseFrames(SolidFrames(40, {320, 240}));   // a camera that keeps its own size
    auto state = RunningState(1.0f, 1.0f);
    rig.Run(*state);

    EXPECT_EQ(rig.record.sizeRequests, (std::vector<std::pair<int, int>>{{640, 480}}));
    ASSERT_FALSE(rig.picturesWritten.empty());
    EXPECT_EQ(cv::imread(rig.picturesWritten.front()).size(), cv::Size(320, 240));

    SurveillanceRig noSize;
    auto other = RunningState(1.0f, 1.0f);
    other->capturePropertyValue = 0;
    noSize.Run(*other);
    EXPECT_TRUE(noSize.record.sizeRequests.empty());
}

// The detectors paint into the display image; the picture must be the camera's frame. The motion
// overlay starts black, the face image as a copy of the frame.
TEST_F(SurveillanceRunTest, SavedPictureIsTheCameraFrameNotTheDisplayImage)
{
    cv::Mat frame(120, 160, CV_8UC3, cv::Scalar(30, 160, 90));
    cv::rectangle(frame, {40, 30, 60, 50}, cv::Scalar(200, 20, 20), cv::FILLED);
    for (bool faceMode : {false, true}) {
        SCOPED_TRACE(faceMode ? "face mode" : "motion mode");
        SurveillanceRig rig;
        rig.UseFrames(std::vector<cv::Mat>(30, frame));
        rig.motionPaint = [](cv::Mat& overlay) { overlay.setTo(cv::Scalar(255, 0, 0)); };
        rig.facePaint = [&](cv::Mat& image) {
            EXPECT_EQ(cv::norm(image, frame, cv::NORM_INF), 0.0);
            cv::rectangle(image, {10, 10, 80, 80}, cv::Scalar(0, 0, 255), 3);
        };
        auto state = RunningState(0.5f, 1.0f, faceMode);
        rig.Run(*state);

        ASSERT_EQ(rig.picturesWritten.size(), 1u);
        const cv::Mat saved = cv::imread(rig.picturesWritten.front());
        ASSERT_EQ(saved.size(), frame.size());
        EXPECT_LT(cv::norm(saved, frame, cv::NORM_L1) / saved.total(), 6.0);
        // What the preview showed was the display image, with the detector's drawing.
        EXPECT_GT(cv::norm(rig.record.lastShown, frame, cv::NORM_L1) / frame.total(), 20.0);
        if (!faceMode) {
            EXPECT_EQ(cv::countNonZero(rig.record.overlayAtFirstMotionCall.reshape(1)), 0);
        }
        std::filesystem::remove(rig.picturesWritten.front());
    }
}

TEST_F(SurveillanceRunTest, MailCarriesTheSavedFileAndTheStatesCredentials)
{
    SurveillanceRig rig;
    auto state = RunningState(0.5f, 2.0f);
    state->haveCredentials = true;
    state->smtpUserName = "alarm";
    state->smtpPassword = "";   // an empty password is still a password
    rig.Run(*state);

    ASSERT_EQ(rig.mails.size(), 1u);
    const MailCall& mail = rig.mails.front();
    EXPECT_EQ((Strings{mail.to, mail.from, mail.server, mail.file}),
              (Strings{"owner@example.org", "alarm@example.org", "mail.example.org", "pic_1.jpg"}));
    EXPECT_TRUE(mail.fileExisted);
    EXPECT_EQ(mail.user, std::optional<std::string>("alarm"));
    EXPECT_EQ(mail.password, std::optional<std::string>(""));

    SurveillanceRig anonymous;
    anonymous.Run(*RunningState(0.5f, 2.0f));
    ASSERT_EQ(anonymous.mails.size(), 1u);
    EXPECT_FALSE(anonymous.mails.front().user.has_value());
    EXPECT_FALSE(anonymous.mails.front().password.has_value());

    SurveillanceRig quiet;
    quiet.Run(*RunningState(0.5f, 2.0f, false, /*sendEmails=*/false));
    EXPECT_EQ(quiet.picturesWritten.size(), 1u);
    EXPECT_TRUE(quiet.mails.empty());
}

TEST_F(SurveillanceRunTest, NumberingGoesOnAcrossRunsAndProgramStartsWithoutOverwriting)
{
    auto takeThree = [](SessionState& state) {
        SurveillanceRig rig;
        rig.UseFrames(SolidFrames(3 * 16 + 1));   // a picture each second: frames 17, 33 and 49
        state.isRunning = true;
        rig.Run(state);
        return rig.picturesWritten;
    };
    auto program1 = RunningState(1.0f, 1.0f);
    program1->pictureNumberBase = HighestPictureNumber(dir.path());
    EXPECT_EQ(takeThree(*program1), (Strings{"pic_1.jpg", "pic_2.jpg", "pic_3.jpg"}));
    EXPECT_EQ(takeThree(*program1), (Strings{"pic_4.jpg", "pic_5.jpg", "pic_6.jpg"}));
    const std::string firstPicture = dir.ReadFile("pic_1.jpg");

    // The program starts anew: the counter starts at 0, the file numbers go on.
    auto program2 = RunningState(1.0f, 1.0f);
    program2->pictureNumberBase = HighestPictureNumber(dir.path());
    EXPECT_EQ(program2->pictureNumberBase, 6);
    EXPECT_EQ(takeThree(*program2), (Strings{"pic_7.jpg", "pic_8.jpg", "pic_9.jpg"}));
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
