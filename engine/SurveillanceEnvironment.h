#pragma once
// The parts of one surveillance run that touch the outside world (camera, clock, detectors, cascade,
// picture files, mail, event log, preview), so that a run can be driven frame by frame without a
// camera. The environment owns what the detectors remember between frames.

#include "engine/AlarmPicture.h"
#include "engine/FrameSource.h"
#include "engine/MotionDetector.h"   // MotionRules
#include "engine/PreviewSink.h"
#include "engine/RunAlert.h"
#include "engine/RunRecord.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct SurveillanceEnvironment {
    // The camera (or its stand-in); null when it cannot be opened.
    std::function<std::unique_ptr<FrameSource>()> openSource;
    // Whether the source is a camera or a stream, which may appear or come back later (a run that
    // cannot open it waits for it), rather than a recording (a run that cannot open it ends).
    bool sourceIsLive = false;
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
    // Saves a picture file (its folder made when missing) without replacing one: empty when saved,
    // else the reason.
    std::function<std::string(const std::string& path, const std::string& jpegBytes)> savePicture;
    // Hand a picture / an alert over to the alert channels (the mail when its flag says so); return
    // at once, whatever the network does.
    std::function<void(const AlarmPicture& picture)> queuePicture;
    std::function<void(const RunAlert& alert)> queueAlert;
    // The run's history: its arming, its events and its end; answers the record's id (0 when
    // nothing keeps a history), which the mail of that event carries. May be empty.
    std::function<std::int64_t(const RunRecord& record)> record;
    // One line for the event log ("surveillance armed: motion detection", "run ended: stopped", ...).
    std::function<void(const std::string& event)> logEvent;
    std::function<std::unique_ptr<PreviewSink>()> makePreview;
    // What the preview needs on the thread that starts the run (a window's host object, say):
    // the worker keeps it until its thread has ended and releases it on the starting thread.
    std::shared_ptr<void> starterThreadParts;
};

// Makes the parts of one run; called on the thread that starts it.
using SurveillanceEnvironmentFactory = std::function<SurveillanceEnvironment()>;
