#pragma once
// One surveillance run: frames in, detection, alarm level, pictures saved and handed over for mail.
// The parts that touch the outside world (camera, clock, detectors, cascade, picture files, mail,
// event log, preview) come in through SurveillanceEnvironment, so a run can be driven frame by frame
// without a camera. The loop never waits on the network: a picture or an alert for mail is handed
// over and the loop goes on. A live camera that stops delivering is waited for, not given up.

#include "engine/FrameSource.h"
#include "engine/MotionDetector.h"   // MotionRules
#include "engine/PictureNumbering.h"   // HighestPictureNumber, for the panel at program start
#include "engine/PreviewSink.h"
#include "engine/SessionState.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// One alarm picture as it was saved: its number, its file name ("pic_12.jpg", as the mail names
// it), where it was saved (the file name inside the pictures folder) and the JPEG's bytes.
struct AlarmPicture {
    std::int64_t number = 0;
    std::string fileName;
    std::string path;
    std::string jpegBytes;
};

// A mail about the run itself rather than an alarm: "camera lost", "camera back", "disk nearly
// full"; text is one line, jpegBytes the last good frame or empty.
struct RunAlert {
    std::string kind;
    std::string text;
    std::string jpegBytes;
};

struct SurveillanceEnvironment {
    // The camera (or its stand-in); null when it cannot be opened.
    std::function<std::unique_ptr<FrameSource>()> openSource;
    // A monotonic counter and its ticks per second.
    std::function<std::int64_t()> readCounter;
    std::int64_t counterFrequency = 1;
    // The detectors: true when this frame shows motion / a face.
    std::function<bool(const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules)> detectMotion;
    // Faces inside area (8-bit, the image's size, non-zero = watched; empty = everywhere) count.
    std::function<bool(cv::Mat& image, const cv::Mat& area)> detectFaces;
    // Forgets the detectors' history, so frames after a gap are not compared with those before it.
    std::function<void()> forgetHistory;
    // Loads the face cascade for the face detector; false when it did not load.
    std::function<bool()> loadCascade;
    // Saves a picture file (its folder made when missing): empty when saved, else the reason.
    std::function<std::string(const std::string& path, const std::string& jpegBytes)> savePicture;
    // Hand a picture / an alert over for mail; return at once, whatever the network does.
    std::function<void(const AlarmPicture& picture)> queueMail;
    std::function<void(const RunAlert& alert)> queueAlert;
    // One line for the event log ("surveillance armed: motion detection", "run ended: stopped", ...).
    std::function<void(const std::string& event)> logEvent;
    std::function<std::unique_ptr<PreviewSink>()> makePreview;
    // What the preview needs on the thread that starts the run (a window's host object, say):
    // the worker keeps it until its thread has ended and releases it on the starting thread.
    std::shared_ptr<void> starterThreadParts;
};

// Makes the parts of one run; called on the thread that starts it.
using SurveillanceEnvironmentFactory = std::function<SurveillanceEnvironment()>;

// Runs one run until state.isRunning is found clear, a key is pressed in the preview, a video
// file ends or an error stops it, and logs and shows why it ended; without a camera it shows the
// camera message. A live source that fails is opened again until it delivers. Its last call is
// state.RunEnded().
// Always returns 0.
int SurveillanceThread(SessionState& state, const SurveillanceEnvironment& env);

// The frame size asked of the camera: capturePropertyValue 640480 means 640 x 480 (width in the
// thousands, height below). False when the value names no size.
bool RequestedFrameSize(int capturePropertyValue, int& width, int& height);
