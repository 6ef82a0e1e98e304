#pragma once
// Where a surveillance run gets its pictures: a camera, a video file or a stream. The run asks for
// a frame size once and then reads frames; a failed read ends a recording, while a live source is
// released and opened again until it delivers. The source is released when the object goes.

#include <opencv2/core.hpp>

#include <chrono>
#include <memory>
#include <string>

// What the user is told when there is no camera to watch with.
inline constexpr const char* kNoCameraMessage = "Could not find camera! Please plug a camera in and try again.";

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Asks for this frame size; a source that cannot deliver it keeps its own.
    virtual void RequestFrameSize(int width, int height) = 0;
    // Grabs the next frame into frame (whose buffer may be reused). False when the grab failed or
    // delivered no picture: for a live source that means it is gone, for a file that it has ended.
    virtual bool Read(cv::Mat& frame) = 0;
    // A camera or a stream, which may come back after a failed read; a recording (the default)
    // has ended when a read fails.
    virtual bool IsLive() const { return false; }
};

// A source on cv::VideoCapture. The text is a camera index when it is all digits (empty means
// camera 0), otherwise a video file or a stream URL. A video file is played at its recorded frame
// rate, as a camera would deliver it. Files and streams are read through FFmpeg, which gives up
// on a stream that takes more than 5 s to open or to deliver a frame: the read fails and the
// camera counts as lost. A stop asked during such a wait is seen once it is over, so a stalled
// network camera can hold a stop up to 5 s (a shorter limit would take a slow camera's hiccups
// for losses). A camera that stalls fails its read after OpenCV's V4L2 select time-out (10 s unless
// OPENCV_VIDEOIO_V4L_SELECT_TIMEOUT says otherwise); one unplugged fails at once. Only a regular
// file is not live (see IsLiveSource). Null when nothing could be opened.
std::unique_ptr<FrameSource> OpenCaptureSource(const std::string& source);

// Whether source names a camera or a stream, which may appear or come back later: a camera index,
// a URL ("rtsp://...") or a device (/dev/video0). Anything else names a recording, even when it is missing.
bool IsLiveSource(const std::string& source);
