// The settings store on a real file in a temporary XDG_CONFIG_HOME, the delay texts and the
// detection settings.
#include "settings/DelayText.h"
#include "settings/DetectionSettings.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <clocale>

namespace fs = std::filesystem;
using namespace std::string_literals;

// The verdict and the text of one read; the text starts non-empty so that a missed clear shows.
static std::pair<bool, std::string> ReadBack(int id)
{
    std::string text = "left over";
    return {ReadSetting(id, text), text};   // a braced list is evaluated in order
}

TEST(SettingsStore, FirstReadCreatesTheFileWithSixEmptyValues)
{
    TestDirectory dir;
    EXPECT_FALSE(WriteSetting(SETTING_FROM_ADDRESS, "a@b.cd") || fs::exists(dir.settingsFile())) << "a write made it";
    EXPECT_EQ(ReadBack(SETTING_DELAY_BEFORE_ALARM), std::pair(false, ""s));
    EXPECT_EQ(dir.ReadFile(dir.settingsFile()), "[General]\nDELAY_BEFORE_ALARM=\nDELAY_BETWEEN_SENDS=\n"
              "DELAY_TO_LEAVE_ROOM=\nEMAIL_ADDRESS=\nSMTP_SERVER=\nTO_EMAIL_ADDRESS=\n");
}

// Each id's verdict on write and on the next read, its validator's (MailSettingsTest.cpp holds
// their rules). Every text is stored, but one longer than 254 bytes reads back as absent; any byte
// comes back exactly and cannot add or change another value.
TEST(SettingsStore, VerdictsValidatorsLengthLimitAndExactBytes)
{
    const std::string longest(SETTING_MAX_LENGTH, '7'), tooLong = longest + "7";
    const std::tuple<int, std::string, bool, bool> cases[] = {   // id, text, write verdict, read verdict
        {0, "", false, false}, {0, "@b.c", false, false}, {0, "a@b.c", true, true}, {0, "a.b@c.info", true, true},
        {1, "a@b@c.de", false, false}, {1, "a+b@c.de", true, true}, {1, "", false, false},
        {2, "", false, false}, {2, "my server.net", false, false}, {2, "localhost", true, true}, {2, "10.0.0.1:2", true, true},
        {3, tooLong, true, false}, {3, "", true, false}, {3, longest, true, true},
        {4, tooLong, true, false}, {4, "", true, false}, {4, "not a number", true, true},
        {5, tooLong, true, false}, {5, "", true, false}, {5, "2.5", true, true},
        {5, "a\nDELAY_TO_LEAVE_ROOM=9\r\n[Other]\rx=y", true, true}, {5, "a,b;c \\ \"q\"\t", true, true},
        {5, "@ByteArray(abc)", true, true}, {5, "@Invalid()", true, true}, {5, "nul\0\x01\x7f\x80\xe9\xff"s, true, true},
    };
    TestDirectory dir;
    ReadBack(SETTING_FROM_ADDRESS);
    for (const auto& [id, text, writeVerdict, readVerdict] : cases) {
        EXPECT_EQ(WriteSetting(id, text), writeVerdict) << id << " " << text;
        EXPECT_EQ(ReadBack(id), std::pair(readVerdict, text == tooLong ? ""s : text)) << id << " " << text;
        EXPECT_TRUE(id > 2 || (id == 2 ? IsValidServerAddress : IsValidEmailAddress)(text) == readVerdict) << text;
        EXPECT_TRUE(id <= 3 || ReadBack(SETTING_DELAY_TO_LEAVE_ROOM).second == longest) << id << " " << text;
    }
}

// A file the user cannot read is never cleared or rewritten: every read and write answers false.
// Root reads anything, so an unprivileged child process makes the calls.
TEST(SettingsStore, UnreadableFileIsNeverRewritten)
{
    TestDirectory dir;
    ReadBack(SETTING_FROM_ADDRESS);
    ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "from@example.com"));
    const std::string before = dir.ReadFile(dir.settingsFile());
    for (const fs::path& folder : {dir.path(), dir.configHome(), dir.settingsFile().parent_path()})
        fs::permissions(folder, fs::perms::all);
    fs::permissions(dir.settingsFile(), fs::perms::none);
    const pid_t child = fork();
    if (child == 0) {
        int failures = geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0);
        for (int id = 0; id < SETTING_COUNT; ++id)
            failures += ReadBack(id) != std::pair(false, ""s) || WriteSetting(id, "to@example.com");
        _exit(failures);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    fs::permissions(dir.settingsFile(), fs::perms::owner_read);
    EXPECT_EQ(dir.ReadFile(dir.settingsFile()), before);
}

// Delays are read as atof reads and written as printf's "%.1f" in the C locale, whatever the
// desktop's: a decimal comma must not change the stored texts.
TEST(DelayText, ReadAndWrittenAsInTheCLocale)
{
    const std::pair<const char*, const char*> cases[] = {   // text typed, text stored after reading it
        {"10.5", "10.5"}, {" \t\n-3.5e1x", "-35.0"}, {"+2.5", "2.5"}, {"1,5", "1.0"}, {".05e", "0.1"}, {"0.35", "0.3"},
        {"-1e10", "-10000000000.0"}, {"0x1p3", "8.0"}, {"abc", "0.0"}, {"", "0.0"}, {"--1", "0.0"}, {"1e999", "inf"},
        {"-1e-999", "-0.0"}, {"-INF", "-inf"}, {"nan", "nan"},
    };
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale))
            continue;   // not installed here
        for (const auto& [typed, stored] : cases)
            EXPECT_EQ(FormatDelay(ParseDelay(typed)), stored) << locale << " \"" << typed << '"';
    }
    std::setlocale(LC_ALL, "C");
}

// The detection settings, one stored value a row: the value read, and for one that was there but
// unusable the default with a problem naming it; the stored text is left as it was.
TEST(DetectionSettings, EachRuleAndTheDefaultForARefusedValue)
{
    const auto shown = [](const DetectionSettings& s) {
        return std::to_string(s.sensitivity) + (s.lightGuard ? " 1 " : " 0 ") + s.maskFile + "|" + s.picturesDir + "| "
               + std::to_string(s.minFreeMb);
    };
    const std::tuple<const char*, const char*, const char*, bool> cases[] = {   // name, text, read, refused; none of ours first
        {SETTING_SMTP_PORT, "587", "3 1 || 200", false}, {SETTING_SENSITIVITY, "", "3 1 || 200", false},
        {SETTING_SENSITIVITY, "1", "1 1 || 200", false}, {SETTING_SENSITIVITY, "5", "5 1 || 200", false},
        {SETTING_SENSITIVITY, "0", "3 1 || 200", true}, {SETTING_SENSITIVITY, "6", "3 1 || 200", true},
        {SETTING_SENSITIVITY, "4x", "3 1 || 200", true}, {SETTING_SENSITIVITY, " 4", "3 1 || 200", true},
        {SETTING_LIGHT_GUARD, "0", "3 0 || 200", false}, {SETTING_LIGHT_GUARD, "no", "3 1 || 200", true},
        {SETTING_MASK_FILE, "mask.png", "3 1 mask.png|| 200", false}, {SETTING_MASK_FILE, "gone.png", "3 1 || 200", true},
        {SETTING_MASK_FILE, "pics", "3 1 || 200", true}, {SETTING_PICTURES_DIR, "pics", "3 1 |pics| 200", false},
        {SETTING_PICTURES_DIR, "new/pics", "3 1 |new/pics| 200", false}, {SETTING_PICTURES_DIR, "mask.png", "3 1 || 200", true},
        {SETTING_MIN_FREE_MB, "0", "3 1 || 0", false}, {SETTING_MIN_FREE_MB, "1000000", "3 1 || 1000000", false},
        {SETTING_MIN_FREE_MB, "1000001", "3 1 || 200", true}, {SETTING_MIN_FREE_MB, "-1", "3 1 || 200", true},
    };
    for (const auto& [name, text, read, refused] : cases) {
        TestDirectory dir;
        dir.WriteFile("mask.png", "a picture");
        fs::create_directory(dir.path() / "pics");
        ReadBack(SETTING_FROM_ADDRESS);
        ASSERT_TRUE(WriteNamedSetting(name, text));
        std::vector<std::string> problems;
        EXPECT_EQ(shown(ReadDetectionSettings(problems)), read) << text;
        EXPECT_EQ(problems.size(), size_t(refused)) << text;
        EXPECT_TRUE(problems.empty() || problems[0].starts_with(name + " \""s + text + "\" ")) << problems[0];
        EXPECT_EQ(ReadNamedSetting(name), text) << "never written back";
    }
    TestDirectory dir;
    ReadBack(SETTING_FROM_ADDRESS);
    ASSERT_TRUE(WriteDetectionSettings({.sensitivity = 1, .lightGuard = false, .picturesDir = "p", .minFreeMb = 7}));
    std::vector<std::string> problems;
    EXPECT_EQ(shown(ReadDetectionSettings(problems)), "1 0 |p| 7");
    EXPECT_EQ(problems, std::vector<std::string>());
    EXPECT_EQ(fs::path(DefaultMaskFile()).parent_path(), dir.settingsFile().parent_path());
}
