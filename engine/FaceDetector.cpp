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

bool DetectFacesWith(DetectorState& state, cv::Mat& image, const cv::Mat& area)
{
    CV_Assert(area.empty() || (area.type() == CV_8UC1 && area.size() == image.size()));
    // The rectangles of the previous call, whichever detector made them, are gone either way.
    state.detectorStorage.clear();
    const std::shared_ptr<cv::CascadeClassifier>& cascade = state.faceCascade;
    if (!cascade || cascade->empty())
        return false;

    cascade->detectMultiScale(image, state.detectorStorage, kScaleFactor, kMinNeighbours, kFlags,
                              kSmallestFace);
    // Corners (x, y) and (x + width, y + height): the box sits just outside the face's far edges.
    bool watchedFace = false;
    for (const cv::Rect& face : state.detectorStorage) {
        const cv::Point centre(face.x + face.width / 2, face.y + face.height / 2);
        watchedFace = watchedFace || area.empty() || area.at<uchar>(centre) != 0;
        cv::rectangle(image, face.tl(), face.br(), kBoxColour, kBoxThickness, cv::LINE_8, 0);
    }
    return watchedFace;
}

std::shared_ptr<cv::CascadeClassifier> LoadFaceCascade(const std::string& file)
{
    auto cascade = std::make_shared<cv::CascadeClassifier>();
    try {
        if (!cascade->load(file) || cascade->empty())
            cascade.reset();
    } catch (const cv::Exception&) {
        cascade.reset();
    }
    return cascade;
}
