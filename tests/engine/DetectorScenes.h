#pragma once
// Drawn pictures for the detector tests and benchmarks.

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <functional>

#include <string>
#include <vector>

namespace detector_scenes {

// As Debian's opencv-data installs it; the program runs with a copy of it named "cascade1.xml".
inline const std::string kFrontalFaceCascade = "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml";

// A plain face: the head, brows, eyes, nose and mouth as ellipses: centre x, y and half axes in
// hundredths of the face's width from the face's centre; grey.
inline constexpr int kFaceParts[][5] = {{0, 0, 42, 55, 200},  {-18, -22, 13, 4, 30}, {18, -22, 13, 4, 30},
                                        {-18, -10, 10, 6, 30}, {18, -10, 10, 6, 30}, {0, 12, 6, 4, 115},
                                        {0, 30, 16, 5, 50}};

// Grey 60 with two plain faces faceWidth wide at 2/7 and 5/7 of the width, softened as by a lens: the
// cascade looks only at light/dark relations (brows, eyes, nose, mouth) and wants no razor-sharp edges.
inline cv::Mat TwoFaces(cv::Size size, int faceWidth)
{
    cv::Mat image(size, CV_8UC3, cv::Scalar::all(60));
    const double k = faceWidth / 100.0;
    for (const int x : {size.width * 2 / 7, size.width * 5 / 7})
        for (const auto& p : kFaceParts)
            cv::ellipse(image, {x + int(p[0] * k), size.height / 2 + int(p[1] * k)}, {int(p[2] * k), int(p[3] * k)}, 0,
                        0, 360, cv::Scalar::all(p[4]), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(image, image, cv::Size(0, 0), faceWidth / 60.0);
    return image;
}

// One face as TwoFaces draws it, faceWidth wide, centred at centre of frame (8-bit BGR) over what
// the frame shows there; a face partly outside the frame is drawn in part.
inline void DrawFace(cv::Mat& frame, cv::Point centre, int faceWidth)
{
    const int side = faceWidth * 3 / 2, half = side / 2;
    const double k = faceWidth / 100.0;
    cv::Mat face(side, side, CV_8UC3, cv::Scalar::all(0)), cover(side, side, CV_8UC3, cv::Scalar::all(0));
    for (const auto& p : kFaceParts)
        cv::ellipse(face, {half + int(p[0] * k), half + int(p[1] * k)}, {int(p[2] * k), int(p[3] * k)}, 0, 0, 360,
                    cv::Scalar::all(p[4]), cv::FILLED, cv::LINE_AA);
    const auto& head = kFaceParts[0];
    cv::ellipse(cover, {half, half}, {int(head[2] * k), int(head[3] * k)}, 0, 0, 360, cv::Scalar::all(255), cv::FILLED,
                cv::LINE_AA);
    cv::GaussianBlur(face, face, cv::Size(0, 0), faceWidth / 60.0);
    cv::GaussianBlur(cover, cover, cv::Size(0, 0), faceWidth / 60.0);
    const cv::Rect place(centre.x - half, centre.y - half, side, side);
    const cv::Rect inside = place & cv::Rect({0, 0}, frame.size());
    if (inside.empty())
        return;
    const cv::Rect from = inside - place.tl();
    cv::Mat under = frame(inside), alpha;
    cover(from).convertTo(alpha, CV_32FC3, 1.0 / 255.0);
    cv::Mat blended, faceF, underF;
    face(from).convertTo(faceF, CV_32FC3);
    under.convertTo(underF, CV_32FC3);
    blended = faceF.mul(alpha) + underF.mul(cv::Scalar::all(1.0) - alpha);
    blended.convertTo(under, CV_8UC3);
}

// A still room: a fixed random texture of moderate contrast.
inline cv::Mat Room(cv::Size size, unsigned seed = 7)
{
    cv::Mat room(size, CV_8UC3);
    cv::RNG(seed).fill(room, cv::RNG::UNIFORM, cv::Scalar::all(80), cv::Scalar::all(140));
    cv::GaussianBlur(room, room, cv::Size(0, 0), 1.5);
    return room;
}

// frames of scene recorded as a camera delivers them: MJPG in an AVI, read back frame by frame.
inline std::vector<cv::Mat> Record(const std::function<cv::Mat(int n)>& scene, int frames, double fps, cv::Size size)
{
    cv::VideoWriter writer("scene.avi", cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size);
    for (int n = 0; n < frames; ++n)
        writer.write(scene(n));
    writer.release();
    cv::VideoCapture capture("scene.avi", cv::CAP_FFMPEG);
    std::vector<cv::Mat> footage;
    for (cv::Mat frame; capture.read(frame);)
        footage.push_back(frame.clone());
    return footage;
}

}  // namespace detector_scenes
