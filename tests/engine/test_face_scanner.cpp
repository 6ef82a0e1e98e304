// The face scanner on drawn footage (TwoFaces over a textured room) at the two common camera sizes.

#include "engine/FaceScanner.h"
#include "tests/engine/DetectorScenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using namespace detector_scenes;

constexpr double kFrameSeconds = 1.0 / 30.0;

struct Face {
    cv::Point centre;
    int width;
};

cv::Mat Footage(const cv::Mat& room, const std::vector<Face>& faces)
{
    cv::Mat frame = room.clone();
    for (const Face& f : faces)
        DrawFace(frame, f.centre, f.width);
    return frame;
}

// True when faces holds a box on the face drawn at centre.
bool HasFaceAt(const std::vector<cv::Rect>& faces, cv::Point centre)
{
    for (const cv::Rect& f : faces)
        if (f.contains(centre))
            return true;
    return false;
}

class FaceScannerTest : public ::testing::TestWithParam<cv::Size> {
protected:
    void SetUp() override { ASSERT_FALSE(cascade.empty()) << kFrontalFaceCascade; }

    cv::CascadeClassifier cascade{kFrontalFaceCascade};
    const cv::Size size = GetParam();
    const cv::Mat room = Room(size);
};

// The room is empty for a second (the first whole-frame scan is over, at 640×480), then a face walks
// in from the left edge, 6 pixels a frame. The scanner finds it within 3 frames of the whole-frame
// cascade (with the cascade's parameters) finding it, and then in nearly every frame where that does.
TEST_P(FaceScannerTest, AFaceWalkingInIsFoundWithinAFewFrames)
{
    FaceScanner scanner(cascade);
    int cascadeFirst = -1, scannerFirst = -1, cascadeFrames = 0, missed = 0;
    std::vector<cv::Rect> reference;
    for (int n = 0; n < 75; ++n) {
        const cv::Point centre(-30 + 6 * std::max(0, n - 30), size.height / 3);
        cv::Mat frame = Footage(room, {{centre, 60}});
        cascade.detectMultiScale(frame, reference, 1.1, 2, cv::CASCADE_DO_CANNY_PRUNING, cv::Size(40, 40));
        const bool cascadeFound = HasFaceAt(reference, centre);
        scanner.Scan(frame, cv::Mat(), n * kFrameSeconds);
        const bool scannerFound = HasFaceAt(scanner.Faces(), centre);
        if (cascadeFound && cascadeFirst < 0)
            cascadeFirst = n;
        if (scannerFound && scannerFirst < 0)
            scannerFirst = n;
        cascadeFrames += cascadeFound;
        missed += cascadeFound && !scannerFound;
    }
    ASSERT_GE(cascadeFirst, 0) << "the drawn face is not one the cascade finds";
    ASSERT_GE(scannerFirst, 0);
    EXPECT_LE(scannerFirst, cascadeFirst + 3);
    EXPECT_LE(missed, cascadeFrames / 10) << "of " << cascadeFrames;
}

// Nothing moves at all: only the scan of the whole frame can find the face, within its period;
// from then on the face is found, and answered, in every frame.
TEST_P(FaceScannerTest, AStillFaceIsFoundByTheWholeFrameScanAndStaysFound)
{
    FaceScanner scanner(cascade);
    const cv::Point centre(size.width * 3 / 4, size.height * 2 / 3);
    const cv::Mat still = Footage(room, {{centre, 70}});
    const int period = static_cast<int>(FaceScanner::kFullScanSeconds / kFrameSeconds);
    int first = -1;
    for (int n = 0; n < period + 30; ++n) {
        cv::Mat frame = still.clone();
        const bool answer = scanner.Scan(frame, cv::Mat(), n * kFrameSeconds);
        const bool found = HasFaceAt(scanner.Faces(), centre);
        EXPECT_EQ(answer, found) << "frame " << n;
        if (found && first < 0)
            first = n;
        if (first >= 0) {
            EXPECT_TRUE(found) << "lost in frame " << n << ", found first in frame " << first;
        }
    }
    ASSERT_GE(first, 0);
    EXPECT_LE(first, period);
}

// The area watches the left half. A face walking in the right half gets its box but never counts;
// in the left half it counts.
TEST_P(FaceScannerTest, AFaceOutsideTheDetectionAreaNeverCounts)
{
    cv::Mat area(size, CV_8UC1, cv::Scalar(0));
    area.colRange(0, size.width / 2) = 255;
    const struct {
        int x;   // where the walk starts
        bool counts;
    } cases[] = {{size.width * 2 / 3, false}, {size.width / 6, true}};
    for (const auto& c : cases) {
        FaceScanner scanner(cascade);
        bool everCounted = false, everBoxed = false;
        for (int n = 0; n < 20; ++n) {
            const cv::Point centre(c.x + 4 * n, size.height / 2);
            cv::Mat frame = Footage(room, {{centre, 60}});
            everCounted = scanner.Scan(frame, area, n * kFrameSeconds) || everCounted;
            everBoxed = everBoxed || HasFaceAt(scanner.Faces(), centre);
            const cv::Vec3b red(0, 0, 255);
            for (const cv::Rect& f : scanner.Faces())
                EXPECT_EQ(frame.at<cv::Vec3b>(f.tl()), red) << "no red box on the face at " << f;
        }
        EXPECT_TRUE(everBoxed) << "walk from x " << c.x;
        EXPECT_EQ(everCounted, c.counts) << "walk from x " << c.x;
    }
}

// A face walks in one room; the camera is lost and comes back on another view with a still face.
// After Forget() the scanner searches and finds exactly what a new scanner does on the frames after
// the gap: no region that changed before it, no face found before it.
TEST_P(FaceScannerTest, AfterForgetNothingFromBeforeTheGapIsSearched)
{
    FaceScanner scanner(cascade), fresh(cascade);
    for (int n = 0; n < 20; ++n) {
        cv::Mat frame = Footage(room, {{{size.width / 4 + 6 * n, size.height / 2}, 60}});
        scanner.Scan(frame, cv::Mat(), n * kFrameSeconds);
    }
    ASSERT_FALSE(scanner.Faces().empty());
    scanner.Forget();

    const cv::Mat otherView = Footage(Room(size, 11), {{{size.width * 3 / 4, size.height / 3}, 60}});
    for (int n = 0; n < 10; ++n) {
        const double seconds = 20.0 + n * kFrameSeconds;
        cv::Mat a = otherView.clone(), b = otherView.clone();
        scanner.Scan(a, cv::Mat(), seconds);
        fresh.Scan(b, cv::Mat(), seconds);
        EXPECT_EQ(scanner.Searched(), fresh.Searched()) << "frame " << n << " after the gap";
        EXPECT_EQ(scanner.Faces(), fresh.Faces()) << "frame " << n << " after the gap";
    }
}


INSTANTIATE_TEST_SUITE_P(CameraSizes, FaceScannerTest, ::testing::Values(cv::Size(640, 480), cv::Size(1280, 720)),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

}  // namespace
