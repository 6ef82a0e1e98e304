#pragma once
// Synthetic pictures for the detector tests and benchmarks: drawn faces that OpenCV's frontal-face
// Haar cascade finds, and a textured room with a moving figure for the motion detector.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <string>

namespace detector_scenes {

// OpenCV's frontal-face cascade as Debian's opencv-data installs it; the program runs with a copy
// of it named "cascade1.xml".
inline const std::string kFrontalFaceCascade =
    "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml";

// A plain frontal face about `width` pixels wide centred on `centre`: light oval, dark brows, eyes
// and mouth, a shaded nose. The cascade's features only look at these light/dark relations.
inline void DrawFace(cv::Mat& image, cv::Point centre, int width)
{
    const double k = width / 100.0;
    const auto at = [&](double x, double y) {
        return cv::Point(centre.x + static_cast<int>(x * k), centre.y + static_cast<int>(y * k));
    };
    const auto axes = [&](double a, double b) {
        return cv::Size(static_cast<int>(a * k), static_cast<int>(b * k));
    };
    const auto oval = [&](cv::Point c, cv::Size s, int grey) {
        cv::ellipse(image, c, s, 0, 0, 360, cv::Scalar::all(grey), cv::FILLED, cv::LINE_AA);
    };
    const int skin = 200, dark = 30;
    oval(at(0, 0), axes(42, 55), skin);
    oval(at(-18, -22), axes(13, 4), dark);
    oval(at(18, -22), axes(13, 4), dark);
    oval(at(-18, -10), axes(10, 6), dark);
    oval(at(18, -10), axes(10, 6), dark);
    oval(at(0, 12), axes(6, 4), (skin + dark) / 2);
    oval(at(0, 30), axes(16, 5), dark + 20);
}

// Softens drawn edges the way a camera lens does; the cascade wants no razor-sharp outlines.
inline void Soften(cv::Mat& image, double sigma)
{
    cv::GaussianBlur(image, image, cv::Size(0, 0), sigma);
}

// A grey-60 BGR picture of the given size with two faces of `faceWidth` side by side.
inline cv::Mat TwoFaces(cv::Size size, int faceWidth)
{
    cv::Mat image(size, CV_8UC3, cv::Scalar::all(60));
    DrawFace(image, cv::Point(size.width * 2 / 7, size.height / 2), faceWidth);
    DrawFace(image, cv::Point(size.width * 5 / 7, size.height / 2), faceWidth);
    Soften(image, faceWidth / 60.0);
    return image;
}

// A still room: a fixed random texture of moderate contrast (seeded, so every run sees the same).
inline cv::Mat Room(cv::Size size, unsigned seed = 7)
{
    cv::Mat room(size, CV_8UC3);
    cv::RNG rng(seed);
    rng.fill(room, cv::RNG::UNIFORM, cv::Scalar::all(80), cv::Scalar::all(140));
    Soften(room, 1.5);
    return room;
}

// The room with a dark figure (a filled rectangle with a round head) whose left edge is at x.
inline cv::Mat RoomWithFigure(const cv::Mat& room, int x, int figureWidth, int figureHeight)
{
    cv::Mat frame = room.clone();
    const int top = room.rows - figureHeight;
    const int headRadius = figureWidth / 3;
    cv::rectangle(frame, cv::Rect(x, top + 2 * headRadius, figureWidth, figureHeight),
                  cv::Scalar(20, 30, 40), cv::FILLED);
    cv::circle(frame, cv::Point(x + figureWidth / 2, top + headRadius), headRadius,
               cv::Scalar(60, 80, 110), cv::FILLED);
    return frame;
}

}  // namespace detector_scenes
