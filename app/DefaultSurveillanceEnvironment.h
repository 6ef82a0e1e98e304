#pragma once
// The real parts of a surveillance run: the frame source named on the command line, the steady
// clock, DetectMotion and DetectFaces, "cascade1.xml" from the working directory, EmailPic, the
// Qt preview window and JPEG files.

#include "engine/SurveillanceThread.h"

#include <string>

// cameraSource: a camera index ("0"), a video file or a stream URL. Call it on the GUI thread,
// where the preview window lives.
SurveillanceEnvironment DefaultSurveillanceEnvironment(const std::string& cameraSource);
