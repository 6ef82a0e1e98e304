#pragma once
// Face detection with the Haar cascade in DetectorState::faceCascade: every face of at least 40×40
// pixels gets a red box of thickness 3 drawn into the image.

#include "engine/DetectorState.h"

#include <opencv2/core.hpp>

// image: 8-bit BGR. True when at least one face was found. A missing or empty cascade finds none
// and draws nothing. Uses detectorState().
bool DetectFaces(cv::Mat& image);

// The same on an explicit state. A name of its own keeps DetectFaces a single function, which the
// loop hands around by name.
bool DetectFacesWith(DetectorState& state, cv::Mat& image);
