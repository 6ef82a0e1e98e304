#pragma once
// One surveillance run: frames in, detection, alarm level, pictures saved and mailed. The parts
// that touch the outside world (camera, clock, detectors, cascade, mail, preview, picture files)
// come in through SurveillanceEnvironment, so a run can be driven frame by frame without a camera.

#include "engine/FrameSource.h"
#include "engine/PictureNumbering.h"   // HighestPictureNumber, for the panel at program start
#include "engine/PreviewSink.h"
#include "engine/SessionState.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct SurveillanceEnvironment {
    // The camera (or its stand-in); null when it cannot be opened.
    std::function<std::unique_ptr<FrameSource>()> openSource;
    // A monotonic counter and its ticks per second.
    std::function<std::int64_t()> readCounter;
    std::int64_t counterFrequency = 1;
    // The detectors: true when this frame shows motion / a face.
    std::function<bool(const cv::Mat& frame, cv::Mat& overlay, int diffThreshold)> detectMotion;
    std::function<bool(cv::Mat& image)> detectFaces;
    // Loads the face cascade for the face detector; false when it did not load.
    std::function<bool()> loadCascade;
    // Mails one picture (EmailPic's arguments); the answer is ignored.
    std::function<bool(const char* toAddress, const char* fromAddress, const char* smtpServer,
                       const char* pictureFile, const char* userName, const char* password)> sendMail;
    std::function<std::unique_ptr<PreviewSink>()> makePreview;
    // What the preview needs on the thread that starts the run (a window's host object, say):
    // the worker keeps it until its thread has ended and releases it on the starting thread.
    std::shared_ptr<void> starterThreadParts;
    // Saves a picture file; failures are not reported.
    std::function<void(const std::string& fileName, const cv::Mat& image)> writePicture;
};

// Makes the parts of one run; called on the thread that starts it.
using SurveillanceEnvironmentFactory = std::function<SurveillanceEnvironment()>;

// Runs one run until state.isRunning is found clear, a grab fails or a key is pressed in the
// preview; without a camera it only shows the camera message. Its last call is state.RunEnded().
// Always returns 0.
int SurveillanceThread(SessionState& state, const SurveillanceEnvironment& env);

// The frame size asked of the camera: capturePropertyValue 640480 means 640 x 480 (width in the
// thousands, height below). False when the value names no size.
bool RequestedFrameSize(int capturePropertyValue, int& width, int& height);
