#pragma once
// The settings beyond the six that shape a run, kept in the same file under their own names:
// how sensitive detection is, the light guard, the detection area, where pictures go and how much
// free space they need. A value that is absent takes its default; one that is present but invalid
// takes its default too and is named in problems, and is never rewritten behind the user's back.

#include <cstdint>
#include <string>
#include <vector>

constexpr const char* SETTING_SENSITIVITY = "SENSITIVITY";     // 1 (least) .. 5 (most); 3
constexpr const char* SETTING_LIGHT_GUARD = "LIGHT_GUARD";     // 1 or 0; 1
constexpr const char* SETTING_MASK_FILE = "MASK_FILE";         // a PNG's path; empty: whole picture
constexpr const char* SETTING_PICTURES_DIR = "PICTURES_DIR";   // a folder; empty: the working folder
constexpr const char* SETTING_MIN_FREE_MB = "MIN_FREE_MB";     // whole megabytes; 200
constexpr const char* SETTING_CLIPS_MAX_MB = "CLIPS_MAX_MB";   // whole megabytes of clips kept; 2000
constexpr const char* SETTING_TAMPER_GUARD = "TAMPER_GUARD";   // 1 or 0; 1 (set in the file only)

struct DetectionSettings {
    int sensitivity = 3;
    bool lightGuard = true;
    bool tamperGuard = true;   // a covered, turned or darkened view is told
    int clipsMaxMb = 2000;     // the oldest clips go beyond it (set in the file only)
    std::string maskFile;
    std::string picturesDir;
    int minFreeMb = 200;
};

// The stored values; each one that was present but unusable ("SENSITIVITY \"abc\" is not valid:
// 3 used", "MASK_FILE \"/x.png\" is not an existing file: the whole picture is watched") is
// appended to problems. An empty SENSITIVITY, LIGHT_GUARD or MIN_FREE_MB counts as absent.
DetectionSettings ReadDetectionSettings(std::vector<std::string>& problems);
// Stores all five the Detection dialog shows (not TAMPER_GUARD or CLIPS_MAX_MB); false when the file could not be written.
bool WriteDetectionSettings(const DetectionSettings& settings);

// Where a drawn detection area is saved: "Sentivo-mask.png" beside Sentivo.conf.
std::string DefaultMaskFile();
