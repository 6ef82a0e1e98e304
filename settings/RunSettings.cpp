#include "settings/RunSettings.h"

#include "settings/DelayText.h"
#include "settings/SettingsStore.h"

#include <optional>

namespace {

// A stored choice between two texts: absent or empty is the default, quietly; any other text is
// the default with a problem.
bool StoredChoice(const char* name, const char* yes, const char* no, bool fallback, std::vector<std::string>& problems)
{
    const std::optional<std::string> text = ReadNamedSetting(name);
    if (!text || text->empty())
        return fallback;
    if (*text == yes || *text == no)
        return *text == yes;
    problems.push_back(std::string(name) + " \"" + *text + "\" is not valid: " + (fallback ? yes : no) + " used");
    return fallback;
}

}  // namespace

RunSettings ReadRunSettings()
{
    RunSettings settings;
    settings.delayToLeaveRoom = ReadStoredDelay(SETTING_DELAY_TO_LEAVE_ROOM, settings.delayProblems);
    settings.delayBetweenSends = ReadStoredDelay(SETTING_DELAY_BETWEEN_SENDS, settings.delayProblems);
    settings.delayBeforeAlarm = ReadStoredDelay(SETTING_DELAY_BEFORE_ALARM, settings.delayProblems);
    settings.detection = ReadDetectionSettings(settings.detectionProblems);
    settings.sendEmails = StoredChoice(SETTING_SEND_EMAILS, "1", "0", true, settings.choiceProblems);
    settings.faceDetect = StoredChoice(SETTING_DETECT_MODE, "FACE", "MOTION", true, settings.choiceProblems);
    const int order[] = {SETTING_FROM_ADDRESS, SETTING_SMTP_SERVER, SETTING_TO_ADDRESS};
    for (size_t i = 0; i < settings.mail.size(); ++i) {
        StoredMailSetting& setting = settings.mail[i];
        setting.settingId = order[i];
        setting.valid = ReadSetting(setting.settingId, setting.text);
    }
    return settings;
}
