// The alarm arithmetic of a run, frame by frame, on a clock that moves 1/16 s per frame (exact in
// single precision, so frame numbers can be stated exactly).

#include "tests/engine/SurveillanceTestRig.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

// Frame n (1-based) ends with runSeconds = (n - 1) / 16: the first frame's interval is empty.
int FrameAtSeconds(double seconds) { return static_cast<int>(seconds * 16) + 1; }

class SurveillanceAlarmTest : public ::testing::Test {
protected:
    TestDirectory dir;
    SurveillanceRig rig;
};

TEST_F(SurveillanceAlarmTest, MotionRoadFirstPictureAtTenSecondsThenEveryTwo)
{
    auto state = RunningState(10.0f, 2.0f);
    rig.UseFrames(SolidFrames(FrameAtSeconds(16.5)));
    rig.Run(*state);

    const int first = FrameAtSeconds(10.0);
    EXPECT_EQ(state->PictureFrames(), (std::vector<int>{first, FrameAtSeconds(12), FrameAtSeconds(14), FrameAtSeconds(16)}));
    const std::vector<float> levels = state->AlertLevels();
    ASSERT_EQ(levels.size(), size_t(FrameAtSeconds(16.5)));
    EXPECT_FLOAT_EQ(levels[first - 2], 9.9375f);   // the frame before: just short of 10 s
    EXPECT_EQ(levels[first - 1], 8.0f);            // the picture's frame: 10 - 2
    EXPECT_EQ(levels[first], 8.0625f);
    EXPECT_EQ(state->Calls().front(), "SetAlertRange:10000");
    EXPECT_EQ(rig.picturesWritten, (Strings{"pic_1.jpg", "pic_2.jpg", "pic_3.jpg", "pic_4.jpg"}));
    EXPECT_EQ(rig.mails.size(), 4u);
    EXPECT_EQ(state->picturesTaken, 4);
}

TEST_F(SurveillanceAlarmTest, FramesWithoutDetectionDrainTheLevelToZeroNeverBelow)
{
    auto state = RunningState(10.0f, 2.0f);
    rig.motionAnswer = [](int frame) { return frame <= FrameAtSeconds(3); };   // 3 s of motion, then still
    rig.UseFrames(SolidFrames(FrameAtSeconds(8)));
    rig.Run(*state);

    const std::vector<float> levels = state->AlertLevels();
    EXPECT_EQ(levels[FrameAtSeconds(3) - 1], 3.0f);
    EXPECT_EQ(levels[FrameAtSeconds(5) - 1], 1.0f);   // drained at the rate it filled
    EXPECT_EQ(levels[FrameAtSeconds(6) - 1], 0.0f);
    EXPECT_EQ(levels.back(), 0.0f);
    EXPECT_TRUE(state->PictureFrames().empty());
}

TEST_F(SurveillanceAlarmTest, FaceModeFiresAfterPointThreeSecondsAndEmptiesTheLevel)
{
    auto state = RunningState(10.0f, 2.0f, /*faceMode=*/true);
    const int faceFrom = FrameAtSeconds(3) + 1;   // a face comes into view after 3 s
    rig.faceAnswer = [&](int frame) { return frame >= faceFrom; };
    rig.UseFrames(SolidFrames(FrameAtSeconds(7.5)));
    rig.Run(*state);

    EXPECT_EQ(state->Calls().front(), "SetAlertRange:300");
    EXPECT_EQ(rig.record.detectMotionCalls, 0);
    // Five frames of face make 0.3125 s >= 0.3 s; after the picture the level is 0.3 - 2 -> 0.
    const int first = faceFrom + 4;
    const std::vector<int> frames = state->PictureFrames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0], first);
    EXPECT_EQ(state->AlertLevels()[first - 1], 0.0f);
    EXPECT_EQ(frames[1], first + 32);   // the face stays: one picture every 2 s
}

TEST_F(SurveillanceAlarmTest, FirstPictureWaitsForTheSpacingSinceTheRunBegan)
{
    auto state = RunningState(10.0f, 3.0f, /*faceMode=*/true);
    rig.UseFrames(SolidFrames(FrameAtSeconds(4)));
    rig.Run(*state);
    // The level passes 0.3 s early, but the first picture needs runSeconds >= 3 s; meanwhile the
    // bar's level is above its range (shown full).
    ASSERT_FALSE(state->PictureFrames().empty());
    EXPECT_EQ(state->PictureFrames()[0], FrameAtSeconds(3));
    EXPECT_GT(state->AlertLevels()[FrameAtSeconds(3) - 2], 2.9f);
}

TEST_F(SurveillanceAlarmTest, DelayBetweenSendsChangedDuringARunTakesEffectAtOnce)
{
    auto state = RunningState(4.0f, 1.0f);
    state->afterFrame = [&](int frame) {
        if (frame == FrameAtSeconds(4)) {   // just after the first picture
            state->delayBetweenSends = 3.0f;
            state->delayBeforeAlarm = 1.0f;   // read once per run: no effect
        }
    };
    rig.UseFrames(SolidFrames(FrameAtSeconds(11)));
    rig.Run(*state);

    // First picture at 4 s leaves 4 - 1 = 3 s; the next needs 3 s of spacing (not 1 s): at 7 s,
    // after which the level is 4 - 3 = 1 s and the next comes at 10 s.
    EXPECT_EQ(state->PictureFrames(), (std::vector<int>{FrameAtSeconds(4), FrameAtSeconds(7), FrameAtSeconds(10)}));
    EXPECT_EQ(state->AlertLevels()[FrameAtSeconds(7) - 1], 1.0f);
    EXPECT_EQ(state->Count("SetAlertRange:4000"), 1);
}

// Face mode mails only up to the 25th picture since the program started; motion mode mails all.
TEST_F(SurveillanceAlarmTest, MailLimitByModeCountsPicturesSinceProgramStart)
{
    struct Case {
        bool faceMode;
        float delayBeforeAlarm;
        int takenBefore;
        size_t mails;
        std::string lastMailed;
    };
    for (const Case& c : {Case{true, 10.0f, 20, 5, "pic_25.jpg"}, Case{false, 0.5f, 20, 10, "pic_30.jpg"}}) {
        SCOPED_TRACE(c.faceMode ? "face mode" : "motion mode");
        SurveillanceRig rig;
        auto state = RunningState(c.delayBeforeAlarm, 0.5f, c.faceMode);
        state->picturesTaken = c.takenBefore;   // taken in earlier runs of this program
        rig.UseFrames(SolidFrames(FrameAtSeconds(5.2)));
        rig.Run(*state);

        ASSERT_EQ(state->picturesTaken, 30);
        ASSERT_EQ(rig.picturesWritten.size(), 10u);
        EXPECT_EQ(rig.picturesWritten.front(), "pic_21.jpg");
        ASSERT_EQ(rig.mails.size(), c.mails);
        EXPECT_EQ(rig.mails.back().file, c.lastMailed);
    }
}

TEST_F(SurveillanceAlarmTest, AlertRangeIsNotCutToSixteenBits)
{
    auto state = RunningState(100.0f, 2.0f);
    rig.Run(*state);
    EXPECT_EQ(state->Calls().front(), "SetAlertRange:100000");
}

}  // namespace
