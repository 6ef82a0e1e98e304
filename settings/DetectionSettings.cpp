#include "settings/DetectionSettings.h"

#include "settings/SettingsStore.h"

DetectionSettings ReadDetectionSettings(std::vector<std::string>&)
{
    return {};
}

bool WriteDetectionSettings(const DetectionSettings&)
{
    return false;
}

std::string DefaultMaskFile()
{
    return {};
}
