#pragma once
// The stored settings one surveillance run is made of, read in one place for the control panel and
// sentivo --arm, each with what made it unusable. No Qt here: the engine copies them into a run
// (ApplyRunSettings) without knowing the store.

#include "settings/DetectionSettings.h"
#include "settings/SettingsStore.h"

#include <array>
#include <string>
#include <vector>

// One e-mail setting with its verdict.
struct StoredMailSetting {
    int settingId = 0;     // SETTING_FROM_ADDRESS, SETTING_SMTP_SERVER or SETTING_TO_ADDRESS
    std::string text;      // as stored; empty when absent or unreadable
    bool valid = false;    // present and passing its rule (an address, or a server the mail can use)
};

struct RunSettings {
    // The three delays in seconds (ReadStoredDelay): an unusable one is its default.
    float delayToLeaveRoom = 0.0f;
    float delayBetweenSends = 0.0f;
    float delayBeforeAlarm = 0.0f;
    std::vector<std::string> delayProblems;
    DetectionSettings detection;
    std::vector<std::string> detectionProblems;
    // The panel's last choices: SEND_EMAILS "1" or "0" (1), DETECT_MODE "FACE" or "MOTION" (FACE).
    bool sendEmails = true;
    bool faceDetect = true;
    std::vector<std::string> choiceProblems;
    // The e-mail settings in the order the panel checks them: From, SMTP server, To.
    std::array<StoredMailSetting, 3> mail;

    // The first of mail that is missing or not valid; nullptr when all three are valid.
    const StoredMailSetting* FirstUnusableMail() const
    {
        for (const StoredMailSetting& setting : mail)
            if (!setting.valid)
                return &setting;
        return nullptr;
    }
    // The stored text of one of the three.
    const std::string& MailText(int settingId) const
    {
        for (const StoredMailSetting& setting : mail)
            if (setting.settingId == settingId)
                return setting.text;
        static const std::string none;
        return none;
    }
};

// Reads them all from the store; nothing is written back. An absent or empty value takes its
// default quietly; a present but unusable one takes it too and is named in its group's problems
// ("DETECT_MODE \"EYES\" is not valid: FACE used").
RunSettings ReadRunSettings();
