#pragma once
// One surveillance run from start to end: frames in, detection, alarm level, pictures saved and
// handed over for mail. The loop never waits on the network: a picture or an alert for mail is
// handed over and the loop goes on. A live camera that stops delivering, or is missing at the
// start, is waited for, not given up.

#include "engine/SessionState.h"
#include "engine/SurveillanceEnvironment.h"

#include <memory>

// Runs one run until state.isRunning is found clear, a key is pressed in the preview, a video
// file ends or an error stops it, and logs and shows why it ended. source is the camera the
// starter opened already (before the countdown); null: the run opens env.openSource itself. With
// no source a recording ends the run with the camera message, while a live source is waited for
// as a lost one. Its last call is state.RunEnded(). Always returns 0.
int SurveillanceThread(SessionState& state, const SurveillanceEnvironment& env,
                       std::unique_ptr<FrameSource> source = nullptr);

// The frame size asked of the camera: capturePropertyValue 640480 means 640 x 480 (width in the
// thousands, height below). False when the value names no size.
bool RequestedFrameSize(int capturePropertyValue, int& width, int& height);
