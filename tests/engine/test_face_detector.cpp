// DetectFaces with OpenCV's frontal-face cascade on drawn faces: two faces get two red boxes of
// thickness 3 and nothing else is drawn; no face, faces below 40×40 and a missing cascade draw
// nothing and answer false.

#include "engine/FaceDetector.h"
#include "tests/engine/DetectorScenes.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <memory>

namespace {

std::shared_ptr<cv::CascadeClassifier> FrontalFaces()
{
    auto cascade = std::make_shared<cv::CascadeClassifier>(detector_scenes::kFrontalFaceCascade);
    EXPECT_FALSE(cascade->empty()) << "opencv-data's " << detector_scenes::kFrontalFaceCascade;
    return cascade;
}

int ChangedPixels(const cv::Mat& before, const cv::Mat& after)
{
    cv::Mat diff;
    cv::absdiff(before, after, diff);
    return cv::countNonZero(diff.reshape(1));
}

TEST(FaceDetector, TwoFacesGetTwoRedBoxes)
{
    DetectorState state;
    state.faceCascade = FrontalFaces();
    const cv::Mat picture = detector_scenes::TwoFaces(cv::Size(640, 480), 100);
    cv::Mat image = picture.clone();
    ASSERT_TRUE(DetectFacesWith(state, image));

    const std::vector<cv::Rect>& faces = state.detectorStorage;
    ASSERT_EQ(faces.size(), 2u);
    const cv::Point drawnCentres[] = {{640 * 2 / 7, 240}, {640 * 5 / 7, 240}};
    for (const cv::Point& centre : drawnCentres) {
        const int found = static_cast<int>(std::count_if(faces.begin(), faces.end(),
            [&](const cv::Rect& face) { return face.contains(centre); }));
        EXPECT_EQ(found, 1) << "one box around the face at " << centre;
    }
    for (const cv::Rect& face : faces)
        EXPECT_GE(face.width, 40);

    // Only the boxes were drawn: every changed pixel is red, and the red pixels are exactly the
    // outlines from (x, y) to (x + width, y + height) of thickness 3, line type 8.
    cv::Mat changed;
    cv::absdiff(picture, image, changed);
    cv::Mat changedMask;
    cv::cvtColor(changed, changedMask, cv::COLOR_BGR2GRAY);
    cv::Mat red;
    cv::inRange(image, cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), red);
    EXPECT_EQ(cv::countNonZero(changedMask & ~red), 0);
    cv::Mat outlines = cv::Mat::zeros(image.size(), CV_8UC1);
    for (const cv::Rect& face : faces)
        cv::rectangle(outlines, face.tl(), face.br(), cv::Scalar(255), 3, cv::LINE_8, 0);
    EXPECT_EQ(cv::countNonZero(red != outlines), 0);
}

TEST(FaceDetector, PicturesWithoutFacesStayUntouched)
{
    DetectorState state;
    state.faceCascade = FrontalFaces();

    cv::Mat room = detector_scenes::Room(cv::Size(640, 480));
    cv::rectangle(room, cv::Rect(120, 150, 110, 330), cv::Scalar(40, 70, 110), cv::FILLED);  // a door
    cv::circle(room, cv::Point(450, 120), 45, cv::Scalar(200, 230, 240), cv::FILLED);          // a lamp
    const cv::Mat smallFaces = detector_scenes::TwoFaces(cv::Size(640, 480), 25);

    for (const cv::Mat& picture : {room, smallFaces}) {
        cv::Mat image = picture.clone();
        EXPECT_FALSE(DetectFacesWith(state, image));
        EXPECT_TRUE(state.detectorStorage.empty());
        EXPECT_EQ(ChangedPixels(picture, image), 0);
    }

    // The same small faces drawn larger are found: the drawing is not what keeps them unseen.
    cv::Mat larger = detector_scenes::TwoFaces(cv::Size(640, 480), 60);
    EXPECT_TRUE(DetectFacesWith(state, larger));
}

// A null or empty cascade finds nothing, draws nothing and leaves no rectangles from an earlier
// call; the process-wide entry point uses the process-wide cascade.
TEST(FaceDetector, WithoutCascadeFindsNothingAndClearsTheRectangles)
{
    const cv::Mat picture = detector_scenes::TwoFaces(cv::Size(640, 480), 100);
    DetectorState& state = detectorState();
    for (auto cascade : {std::shared_ptr<cv::CascadeClassifier>{},
                         std::make_shared<cv::CascadeClassifier>()}) {
        state.faceCascade = cascade;
        state.detectorStorage.assign(3, cv::Rect(1, 2, 3, 4));
        cv::Mat image = picture.clone();
        EXPECT_FALSE(DetectFaces(image));
        EXPECT_TRUE(state.detectorStorage.empty());
        EXPECT_EQ(ChangedPixels(picture, image), 0);
    }
    state.faceCascade = FrontalFaces();
    cv::Mat image = picture.clone();
    EXPECT_TRUE(DetectFaces(image));
    EXPECT_EQ(state.detectorStorage.size(), 2u);
    state.faceCascade.reset();
}

}  // namespace
