#pragma once
// Where a surveillance run gets its pictures: a camera, a video file or a stream. The run asks for
// a frame size once and then reads frames until a read fails; the source is released when the
// object goes.

#include <opencv2/core.hpp>

#include <chrono>
#include <memory>
#include <string>

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Asks for this frame size; a source that cannot deliver it keeps its own.
    virtual void RequestFrameSize(int width, int height) = 0;
    // Grabs the next frame into frame (whose buffer may be reused). False when the grab failed or
    // delivered no picture: for a live source that means it is gone, for a file that it has ended.
    virtual bool Read(cv::Mat& frame) = 0;
};

// A source on cv::VideoCapture. The text is a camera index when it is all digits (empty means
// camera 0), otherwise a video file or a stream URL. A video file is played at its recorded frame
// rate, as a camera would deliver it. Files and streams are read through FFmpeg. Null when
// nothing could be opened.
std::unique_ptr<FrameSource> OpenCaptureSource(const std::string& source);
