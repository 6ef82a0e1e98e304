#pragma once
// The one place a run's stored settings (settings/RunSettings.h, plain data) enter its state.

#include "engine/SessionState.h"
#include "settings/RunSettings.h"

#include <string>

// Copies settings into s before the run's worker exists: the delays, "Send emails", the detector,
// the e-mail texts, the detection settings and the pictures folder (defaultPicturesFolder when
// none is set; empty: the working folder). Picture numbers then go on past the pictures already in
// that folder, never below those this program has numbered (pictureNumberBase + picturesTaken).
void ApplyRunSettings(const RunSettings& settings, const std::string& defaultPicturesFolder, SessionState& s);
