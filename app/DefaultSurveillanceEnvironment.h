#pragma once
// The real parts of a surveillance run: the frame source named on the command line, the steady
// clock, DetectMotion and DetectFaces, "cascade1.xml" from the working directory, JPEG files in the
// pictures folder the run names (made on first use), the alert channels through the outbox, the
// journal, the event log and the Qt preview window. Each call makes the detectors' memory afresh.

#include "app/RunOutlets.h"
#include "engine/SurveillanceEnvironment.h"

#include <string>

// cameraSource: a camera index ("0"), a video file or a stream URL. Pictures, alerts, records and
// events go where outlets says (RunOutlets.h); its parts must outlive the run. Call it on the GUI
// thread, where the preview window lives. Without withPreview the run shows nothing and needs no
// GUI application (sentivo --arm).
SurveillanceEnvironment DefaultSurveillanceEnvironment(const std::string& cameraSource, const RunOutlets& outlets = {},
                                                       bool withPreview = true);
