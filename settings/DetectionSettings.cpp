#include "settings/DetectionSettings.h"

#include "settings/AppPaths.h"
#include "settings/SettingsStore.h"

#include <filesystem>
#include <optional>

namespace {

void Complain(std::vector<std::string>& problems, const char* name, const std::string& text, const std::string& verdict)
{
    problems.push_back(std::string(name) + " \"" + text + "\" " + verdict);
}

// A stored number in low..high, else fallback (with a problem when the text was there).
int StoredNumber(const char* name, int low, int high, int fallback, std::vector<std::string>& problems)
{
    const std::optional<std::string> text = ReadNamedSetting(name);
    if (!text || text->empty())
        return fallback;
    const std::optional<int> value = WholeNumber(*text, low, high);
    if (!value)
        Complain(problems, name, *text, "is not valid: " + std::to_string(fallback) + " used");
    return value.value_or(fallback);
}

}  // namespace

DetectionSettings ReadDetectionSettings(std::vector<std::string>& problems)
{
    DetectionSettings settings;
    settings.sensitivity = StoredNumber(SETTING_SENSITIVITY, 1, 5, settings.sensitivity, problems);
    settings.lightGuard = StoredNumber(SETTING_LIGHT_GUARD, 0, 1, 1, problems) == 1;
    settings.tamperGuard = StoredNumber(SETTING_TAMPER_GUARD, 0, 1, 1, problems) == 1;
    settings.clipsMaxMb = StoredNumber(SETTING_CLIPS_MAX_MB, 0, 100000000, settings.clipsMaxMb, problems);
    settings.minFreeMb = StoredNumber(SETTING_MIN_FREE_MB, 0, 1000000, settings.minFreeMb, problems);
    std::error_code error;
    if (std::optional<std::string> mask = ReadNamedSetting(SETTING_MASK_FILE); mask && !mask->empty()) {
        if (std::filesystem::is_regular_file(*mask, error))
            settings.maskFile = *mask;
        else
            Complain(problems, SETTING_MASK_FILE, *mask, "is not an existing file: the whole picture is watched");
    }
    if (std::optional<std::string> folder = ReadNamedSetting(SETTING_PICTURES_DIR); folder && !folder->empty()) {
        // A folder that does not exist yet is fine (the run says so when a picture cannot be saved);
        // a file in its place is not.
        if (!std::filesystem::exists(*folder, error) || std::filesystem::is_directory(*folder, error))
            settings.picturesDir = *folder;
        else
            Complain(problems, SETTING_PICTURES_DIR, *folder, "is not a folder: the working folder is used");
    }
    return settings;
}

bool WriteDetectionSettings(const DetectionSettings& settings)
{
    bool written = WriteNamedSetting(SETTING_SENSITIVITY, std::to_string(settings.sensitivity));
    written = WriteNamedSetting(SETTING_LIGHT_GUARD, settings.lightGuard ? "1" : "0") && written;
    written = WriteNamedSetting(SETTING_MASK_FILE, settings.maskFile) && written;
    written = WriteNamedSetting(SETTING_PICTURES_DIR, settings.picturesDir) && written;
    return WriteNamedSetting(SETTING_MIN_FREE_MB, std::to_string(settings.minFreeMb)) && written;
}

std::string DefaultMaskFile()
{
    return (ConfigFolder() / "Sentivo-mask.png").string();
}
