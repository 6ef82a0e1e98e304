#pragma once
// Face detection with the Haar cascade in DetectorState::faceCascade: every face of at least 40×40
// pixels gets a red box of thickness 3 drawn into the image.

#include "engine/DetectorState.h"

#include <opencv2/core.hpp>

#include <string>

// image: 8-bit BGR. True when at least one face was found. A missing or empty cascade finds none
// and draws nothing. Uses detectorState().
bool DetectFaces(cv::Mat& image);

// The same on an explicit state, counting only the faces whose centre lies inside area (8-bit, the
// image's size, non-zero = watched; empty = everywhere); every face found gets its box. A name of
// its own keeps DetectFaces a single function, which the loop hands around by name.
bool DetectFacesWith(DetectorState& state, cv::Mat& image, const cv::Mat& area = cv::Mat());

// Loads the Haar cascade in file into detectorState().faceCascade, afresh at every call, so a
// cascade put in place between runs is used. False (and no cascade) when it did not load: a file
// that is not a cascade counts as missing.
bool LoadFaceCascade(const std::string& file);
