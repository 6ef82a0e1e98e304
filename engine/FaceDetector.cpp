#include "engine/FaceDetector.h"

#include <opencv2/imgproc.hpp>

namespace {

constexpr double kScaleFactor = 1.1;
constexpr int kMinNeighbours = 2;
constexpr int kFlags = cv::CASCADE_DO_CANNY_PRUNING;
const cv::Size kSmallestFace(40, 40);

const cv::Scalar kBoxColour(0, 0, 255);  // red in BGR order
constexpr int kBoxThickness = 3;

}  // namespace

bool DetectFacesWith(DetectorState& state, cv::Mat& image)
{
    // The rectangles of the previous call, whichever detector made them, are gone either way.
    state.detectorStorage.clear();
    const std::shared_ptr<cv::CascadeClassifier>& cascade = state.faceCascade;
    if (!cascade || cascade->empty())
        return false;

    cascade->detectMultiScale(image, state.detectorStorage, kScaleFactor, kMinNeighbours, kFlags,
                              kSmallestFace);
    // Corners (x, y) and (x + width, y + height): the box sits just outside the face's far edges.
    for (const cv::Rect& face : state.detectorStorage)
        cv::rectangle(image, face.tl(), face.br(), kBoxColour, kBoxThickness, cv::LINE_8, 0);
    return !state.detectorStorage.empty();
}

bool DetectFaces(cv::Mat& image)
{
    return DetectFacesWith(detectorState(), image);
}

bool LoadFaceCascade(const std::string& file)
{
    auto cascade = std::make_shared<cv::CascadeClassifier>();
    try {
        if (!cascade->load(file) || cascade->empty())
            cascade.reset();
    } catch (const cv::Exception&) {
        cascade.reset();
    }
    detectorState().faceCascade = cascade;
    return cascade != nullptr;
}
