#pragma once
// Face detection with the Haar cascade in DetectorState::faceCascade: every face of at least 40×40
// pixels gets a red box of thickness 3 drawn into the image.

#include "engine/DetectorState.h"

#include <opencv2/core.hpp>

#include <string>

// image: 8-bit BGR. True when at least one face whose centre lies inside area (8-bit, the image's
// size, non-zero = watched; empty = everywhere) was found; every face found gets its box. A missing
// or empty state.faceCascade finds none and draws nothing.
bool DetectFacesWith(DetectorState& state, cv::Mat& image, const cv::Mat& area = cv::Mat());

// The Haar cascade in file, loaded afresh at every call, so a cascade put in place between runs is
// used (for DetectorState::faceCascade). Null when it did not load: a file that is not a cascade
// counts as missing.
std::shared_ptr<cv::CascadeClassifier> LoadFaceCascade(const std::string& file);
