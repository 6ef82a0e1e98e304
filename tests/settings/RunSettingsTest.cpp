// The one reader of a run's settings on a real file: each value, its default, the problem of an unusable one.
#include "settings/RunSettings.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

// The values of a fresh store, one line: delays, detection, switches, the three e-mail verdicts.
static std::string Shown(const RunSettings& s)
{
    const auto delay = [](float seconds) { return std::to_string(int(seconds * 10)); };
    std::string text = delay(s.delayToLeaveRoom) + " " + delay(s.delayBetweenSends) + " " + delay(s.delayBeforeAlarm) + " | "
                       + std::to_string(s.detection.sensitivity) + (s.sendEmails ? " send" : " quiet")
                       + (s.faceDetect ? " face |" : " motion |");
    for (const StoredMailSetting& mail : s.mail)
        text += " " + std::string(SettingName(mail.settingId)) + (mail.valid ? "" : "!");
    return text;
}

TEST(RunSettings, EachValueItsDefaultAndTheProblemInItsGroup)
{
    const std::string defaults = "100 20 100 | 3 send face | EMAIL_ADDRESS SMTP_SERVER TO_EMAIL_ADDRESS";
    enum Group { None, Delay, Detection, Choice };
    const struct { const char* name; const char* text; std::string read; Group group; } cases[] = {
        {"DELAY_BETWEEN_SENDS", "3.5", "100 35 100 | 3 send face | EMAIL_ADDRESS SMTP_SERVER TO_EMAIL_ADDRESS", None},
        {"DELAY_BEFORE_ALARM", "nan", defaults, Delay},
        {"SENSITIVITY", "5", "100 20 100 | 5 send face | EMAIL_ADDRESS SMTP_SERVER TO_EMAIL_ADDRESS", None},
        {"SENSITIVITY", "9", defaults, Detection},
        {"SEND_EMAILS", "0", "100 20 100 | 3 quiet face | EMAIL_ADDRESS SMTP_SERVER TO_EMAIL_ADDRESS", None},
        {"SEND_EMAILS", "", defaults, None}, {"SEND_EMAILS", "yes", defaults, Choice},
        {"DETECT_MODE", "MOTION", "100 20 100 | 3 send motion | EMAIL_ADDRESS SMTP_SERVER TO_EMAIL_ADDRESS", None},
        {"DETECT_MODE", "FACE", defaults, None}, {"DETECT_MODE", "motion", defaults, Choice},
        // The e-mail settings: a server text the sender cannot use is refused like a missing one.
        {"SMTP_SERVER", "my server.net", "100 20 100 | 3 send face | EMAIL_ADDRESS SMTP_SERVER! TO_EMAIL_ADDRESS", None},
        {"SMTP_SERVER", "127.0.0.1:0", "100 20 100 | 3 send face | EMAIL_ADDRESS SMTP_SERVER! TO_EMAIL_ADDRESS", None},
        {"TO_EMAIL_ADDRESS", "owner@@mail.org", "100 20 100 | 3 send face | EMAIL_ADDRESS SMTP_SERVER TO_EMAIL_ADDRESS!", None},
        {"EMAIL_ADDRESS", "", "100 20 100 | 3 send face | EMAIL_ADDRESS! SMTP_SERVER TO_EMAIL_ADDRESS", None},
    };
    for (const auto& c : cases) {
        TestDirectory dir;
        std::string ignored;
        ReadSetting(SETTING_FROM_ADDRESS, ignored);
        for (auto [id, text] : {std::pair{SETTING_FROM_ADDRESS, "alarm@home.net"}, {SETTING_TO_ADDRESS, "owner@mail.org"},
                                {SETTING_SMTP_SERVER, "localhost"}})
            WriteSetting(id, text);
        ASSERT_TRUE(WriteNamedSetting(c.name, c.text));
        const RunSettings settings = ReadRunSettings();
        EXPECT_EQ(Shown(settings), c.read) << c.name << " " << c.text;
        const std::vector<std::string>* groups[] = {nullptr, &settings.delayProblems, &settings.detectionProblems,
                                                    &settings.choiceProblems};
        for (int group = Delay; group <= Choice; ++group) {
            EXPECT_EQ(groups[group]->size(), size_t(group == c.group)) << c.name << " " << c.text << " in group " << group;
        }
        if (c.group != None) {
            EXPECT_TRUE(groups[c.group]->at(0).starts_with(c.name + std::string(" \"") + c.text + "\" is not"))
                << groups[c.group]->at(0);
        }
        const StoredMailSetting* first = settings.FirstUnusableMail();
        EXPECT_EQ(first ? first->text : "(none)", c.read.find('!') == std::string::npos ? "(none)" : c.text);
        EXPECT_EQ(ReadNamedSetting(c.name), c.text) << "never written back";
    }
}
