#include "settings/SettingsStore.h"
#include "tests/settings/ChildProcess.h"
#include "tests/support/TestDirectory.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const char* const valueNames[] = {"EMAIL_ADDRESS", "TO_EMAIL_ADDRESS", "SMTP_SERVER",
                                  "DELAY_TO_LEAVE_ROOM", "DELAY_BETWEEN_SENDS", "DELAY_BEFORE_ALARM"};

std::string FileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The verdict and the text of one read.
struct Read {
    bool verdict;
    std::string text;
};
Read ReadBack(int id)
{
    Read result{false, "left over"};
    result.verdict = ReadSetting(id, result.text);
    return result;
}

class SettingsStore : public ::testing::Test {
protected:
    // The store as the program's first read leaves it.
    void CreateStore()
    {
        std::string ignored;
        ReadSetting(SETTING_FROM_ADDRESS, ignored);
        ASSERT_TRUE(fs::exists(dir.settingsFile()));
    }
    std::string StoreBytes() const { return FileBytes(dir.settingsFile()); }

    TestDirectory dir;
};

}  // namespace

// The first read of any id, known or not, creates the store with six empty values and answers false.
TEST_F(SettingsStore, FirstReadCreatesSixEmptyValues)
{
    for (int id : {0, 1, 2, 3, 4, 5, 6, -1}) {
        TestDirectory fresh;
        Read first = ReadBack(id);
        EXPECT_FALSE(first.verdict) << id;
        EXPECT_EQ(first.text, "") << id;
        ASSERT_TRUE(fs::exists(fresh.settingsFile())) << id;
        QSettings file(QString::fromStdString(fresh.settingsFile().string()), QSettings::IniFormat);
        EXPECT_EQ(file.allKeys().size(), 6);
        for (const char* name : valueNames) {
            ASSERT_TRUE(file.contains(name)) << name;
            EXPECT_EQ(file.value(name).toString(), QString()) << name;
        }
    }
}

TEST_F(SettingsStore, FreshStoreAnswersFalseForEveryId)
{
    CreateStore();
    for (int id = 0; id < SETTING_COUNT; ++id) {
        Read read = ReadBack(id);
        EXPECT_FALSE(read.verdict) << id;
        EXPECT_EQ(read.text, "") << id;
    }
}

TEST_F(SettingsStore, WriteBeforeTheStoreExistsCreatesNothing)
{
    for (int id = 0; id < SETTING_COUNT; ++id)
        EXPECT_FALSE(WriteSetting(id, id < 3 ? "a@b.cd" : "1.0")) << id;
    EXPECT_FALSE(fs::exists(dir.configHome() / "Corvane"));
}

// Each id's verdict on write and on the following read; invalid texts are stored all the same.
TEST_F(SettingsStore, VerdictsPerId)
{
    struct Case {
        int id;
        std::string text;
        bool writeVerdict;
        bool readVerdict;
    };
    const Case cases[] = {
        {SETTING_FROM_ADDRESS, "alarm@example.com", true, true},
        {SETTING_FROM_ADDRESS, "Alarm.Home@Example.COM", true, true},
        {SETTING_FROM_ADDRESS, "no-at-sign.com", false, false},
        {SETTING_FROM_ADDRESS, "", false, false},
        {SETTING_TO_ADDRESS, "owner@example.org", true, true},
        {SETTING_TO_ADDRESS, "owner@example.info", false, false},
        {SETTING_SMTP_SERVER, "smtp.example.com", true, true},
        {SETTING_SMTP_SERVER, "localhost", false, false},
        {SETTING_DELAY_TO_LEAVE_ROOM, "10.0", true, true},
        {SETTING_DELAY_TO_LEAVE_ROOM, "", true, false},
        {SETTING_DELAY_BETWEEN_SENDS, "not a number", true, true},
        {SETTING_DELAY_BEFORE_ALARM, "2.5", true, true},
        {SETTING_DELAY_BEFORE_ALARM, "", true, false},
    };
    CreateStore();
    for (const Case& c : cases) {
        EXPECT_EQ(WriteSetting(c.id, c.text), c.writeVerdict) << c.id << " " << c.text;
        Read read = ReadBack(c.id);
        EXPECT_EQ(read.verdict, c.readVerdict) << c.id << " " << c.text;
        EXPECT_EQ(read.text, c.text) << c.id;
    }
}

TEST_F(SettingsStore, WritesOneValueAndLeavesTheOthers)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "from@example.com"));
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_BEFORE_ALARM, "10.0"));
    ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "other@example.com"));
    EXPECT_EQ(ReadBack(SETTING_FROM_ADDRESS).text, "other@example.com");
    EXPECT_EQ(ReadBack(SETTING_DELAY_BEFORE_ALARM).text, "10.0");
    EXPECT_EQ(ReadBack(SETTING_TO_ADDRESS).text, "");
}

TEST_F(SettingsStore, UnknownIdsAnswerFalseAndTouchNothing)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, "5.0"));
    const std::string before = StoreBytes();
    for (int id : {6, 7, -1, 100, INT_MAX, INT_MIN}) {
        EXPECT_FALSE(WriteSetting(id, "5.0")) << id;
        Read read = ReadBack(id);
        EXPECT_FALSE(read.verdict) << id;
        EXPECT_EQ(read.text, "") << id;
    }
    EXPECT_EQ(StoreBytes(), before);
}

TEST_F(SettingsStore, TextsUpTo254CharactersReadWhole)
{
    CreateStore();
    const std::string longest(SETTING_MAX_LENGTH, '7');
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, longest));
    Read read = ReadBack(SETTING_DELAY_TO_LEAVE_ROOM);
    EXPECT_TRUE(read.verdict);
    EXPECT_EQ(read.text, longest);

    // One more is written, but reads as absent.
    EXPECT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, longest + "7"));
    read = ReadBack(SETTING_DELAY_TO_LEAVE_ROOM);
    EXPECT_FALSE(read.verdict);
    EXPECT_EQ(read.text, "");

    // The limit counts bytes of the stored text, not of the file's encoding of it.
    const std::string highBytes(SETTING_MAX_LENGTH, '\xE9');
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_BETWEEN_SENDS, highBytes));
    EXPECT_EQ(ReadBack(SETTING_DELAY_BETWEEN_SENDS).text, highBytes);
}

// Texts that mean something to an INI file, control characters and bytes above 127 come back
// exactly, and none of them can add or change another value.
TEST_F(SettingsStore, AnyBytesRoundTripExactly)
{
    std::string lowBytes, highBytes;
    for (int c = 1; c < 128; ++c)
        lowBytes += static_cast<char>(c);
    for (int c = 128; c < 256; ++c)
        highBytes += static_cast<char>(c);
    const std::string texts[] = {
        "line one\nDELAY_BETWEEN_SENDS=9.9", "a\r\nb\rc", "key=value", "x;comment", "[General]",
        "[Other]\nEMAIL_ADDRESS=x@y.zz", "a,b,c", "\"quoted\"", "@ByteArray(abc)", "@Invalid()",
        "@@", "  padded  ", "\\back\\slash\\", "tab\there", "caf\xc3\xa9", "caf\xe9", "nul\0inside"s,
        lowBytes, highBytes,
    };
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_BETWEEN_SENDS, "2.0"));
    for (const std::string& text : texts) {
        ASSERT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, text));
        Read read = ReadBack(SETTING_DELAY_TO_LEAVE_ROOM);
        EXPECT_TRUE(read.verdict);
        EXPECT_EQ(read.text, text);
        EXPECT_EQ(ReadBack(SETTING_DELAY_BETWEEN_SENDS).text, "2.0") << text;
        EXPECT_EQ(ReadBack(SETTING_FROM_ADDRESS).text, "") << text;
    }
}

// Nothing is cached: what another process saves, or an edit by hand, is seen by the next read.
TEST_F(SettingsStore, SeesChangesMadeByOthers)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_SMTP_SERVER, "smtp.example.com"));
    ASSERT_EQ(ReadBack(SETTING_SMTP_SERVER).text, "smtp.example.com");

    int child = RunInChildProcess([] { return WriteSetting(SETTING_SMTP_SERVER, "mail.example.net.uk") ? 0 : 1; });
    ASSERT_EQ(child, 0);
    EXPECT_EQ(ReadBack(SETTING_SMTP_SERVER).text, "mail.example.net.uk");

    WriteBytes(dir.settingsFile(), "[General]\nSMTP_SERVER=10.1.2.3\n");
    Read read = ReadBack(SETTING_SMTP_SERVER);
    EXPECT_TRUE(read.verdict);
    EXPECT_EQ(read.text, "10.1.2.3");
    EXPECT_FALSE(ReadBack(SETTING_FROM_ADDRESS).verdict);   // removed by the edit
}

// A file the user cannot read is never cleared or rewritten: every read and write answers false.
// (As root, who reads anything, the calls are made by an unprivileged child process.)
TEST_F(SettingsStore, UnreadableFileIsLeftAlone)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "from@example.com"));
    const std::string before = StoreBytes();
    // Every folder open to all, so only the file's own permissions protect it.
    for (const fs::path& folder : {dir.path(), dir.configHome(), dir.settingsFile().parent_path()})
        fs::permissions(folder, fs::perms::all);
    fs::permissions(dir.settingsFile(), fs::perms::none);

    int child = RunInChildProcess([] {
        int failures = 0;
        for (int id = 0; id < SETTING_COUNT; ++id) {
            std::string text = "left over";
            failures += ReadSetting(id, text) || !text.empty();
            failures += WriteSetting(id, "to@example.com");
        }
        return failures;
    }, true);
    EXPECT_EQ(child, 0);

    fs::permissions(dir.settingsFile(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(StoreBytes(), before);
    std::vector<fs::path> entries(fs::directory_iterator(dir.settingsFile().parent_path()), {});
    EXPECT_EQ(entries, std::vector<fs::path>{dir.settingsFile()});
}

// A file the user may read but not write still gives its values; saves answer false.
TEST_F(SettingsStore, ReadOnlyFileIsReadButNotWritten)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "from@example.com"));
    const std::string before = StoreBytes();
    for (const fs::path& folder : {dir.path(), dir.configHome(), dir.settingsFile().parent_path()})
        fs::permissions(folder, fs::perms::all);
    fs::permissions(dir.settingsFile(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    int child = RunInChildProcess([] {
        std::string text;
        const bool read = ReadSetting(SETTING_FROM_ADDRESS, text) && text == "from@example.com";
        const bool written = WriteSetting(SETTING_FROM_ADDRESS, "to@example.com");
        return read && !written ? 0 : 1;
    }, true);
    EXPECT_EQ(child, 0);
    EXPECT_EQ(StoreBytes(), before);
}

TEST_F(SettingsStore, FolderInPlaceOfTheFileIsLeftAlone)
{
    fs::create_directories(dir.settingsFile());
    for (int id = 0; id < SETTING_COUNT; ++id) {
        Read read = ReadBack(id);
        EXPECT_FALSE(read.verdict) << id;
        EXPECT_EQ(read.text, "") << id;
        EXPECT_FALSE(WriteSetting(id, "a@b.cd")) << id;
    }
    EXPECT_TRUE(fs::is_directory(dir.settingsFile()));
    EXPECT_TRUE(fs::is_empty(dir.settingsFile()));
}

// Garbage gives plain verdicts; values in the parts that can be read still count, and the next
// save leaves a good file.
TEST_F(SettingsStore, DamagedFilesGiveClearVerdicts)
{
    std::mt19937 random(42);
    std::string noise(256 * 1024, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    WriteBytes(dir.settingsFile(), noise);
    for (int id = 0; id < SETTING_COUNT; ++id)
        EXPECT_FALSE(ReadBack(id).verdict) << id;
    ASSERT_TRUE(WriteSetting(SETTING_TO_ADDRESS, "to@example.com"));
    EXPECT_TRUE(ReadBack(SETTING_TO_ADDRESS).verdict);

    WriteBytes(dir.settingsFile(), std::string("\0\x01\xff\xfe binary\n[General]\nEMAIL_ADDRESS=a@b.cd\n"
                                               "no equals sign here\n[unclosed section\nSMTP_SERVER\n", 83));
    Read read = ReadBack(SETTING_FROM_ADDRESS);
    EXPECT_TRUE(read.verdict);
    EXPECT_EQ(read.text, "a@b.cd");
    EXPECT_FALSE(ReadBack(SETTING_SMTP_SERVER).verdict);

    // A value typed by hand with commas is read as written, not as a list.
    WriteBytes(dir.settingsFile(), "[General]\nDELAY_TO_LEAVE_ROOM=1,5\n");
    EXPECT_EQ(ReadBack(SETTING_DELAY_TO_LEAVE_ROOM).text, "1,5");
}

TEST_F(SettingsStore, HugeValueReadsAsAbsent)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_BETWEEN_SENDS, "2.0"));
    const std::string huge(8 * 1024 * 1024, 'x');
    EXPECT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, huge));
    Read read = ReadBack(SETTING_DELAY_TO_LEAVE_ROOM);
    EXPECT_FALSE(read.verdict);
    EXPECT_EQ(read.text, "");
    EXPECT_EQ(ReadBack(SETTING_DELAY_BETWEEN_SENDS).text, "2.0");
}

// A save goes to a temporary file that replaces the old one, so the file is always whole. Where no
// temporary file can be made beside it, the save fails and the old file stays as it was, though
// the file itself is writable: the store never writes over the file in place.
TEST_F(SettingsStore, SavesAreAtomic)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "from@example.com"));
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, "10.0"));
    // Nothing left behind: no temporary or lock file.
    std::vector<fs::path> entries(fs::directory_iterator(dir.settingsFile().parent_path()), {});
    EXPECT_EQ(entries, std::vector<fs::path>{dir.settingsFile()});

    const std::string before = StoreBytes();
    const fs::path folder = dir.settingsFile().parent_path();
    for (const fs::path& parent : {dir.path(), dir.configHome()})
        fs::permissions(parent, fs::perms::all);
    using enum fs::perms;
    fs::permissions(dir.settingsFile(), owner_read | owner_write | group_read | group_write | others_read | others_write);
    fs::permissions(folder, owner_read | owner_exec | group_read | group_exec | others_read | others_exec);

    int child = RunInChildProcess([] { return WriteSetting(SETTING_FROM_ADDRESS, "x@y.zz") ? 1 : 0; }, true);
    EXPECT_EQ(child, 0);
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(StoreBytes(), before);
}

// A reader never meets a half-written file while another process saves again and again.
TEST_F(SettingsStore, ReadersNeverSeeAHalfWrittenFile)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_BEFORE_ALARM, "10.0"));
    const pid_t writer = fork();
    if (writer == 0) {
        const std::string big(200, 'b');
        for (int i = 0; i < 300; ++i)
            WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, i % 2 ? big : "1.0");
        _exit(0);
    }
    ASSERT_GT(writer, 0);
    int misses = 0;
    for (int i = 0; i < 600; ++i) {
        std::string text;
        misses += !ReadSetting(SETTING_DELAY_BEFORE_ALARM, text) || text != "10.0";
    }
    int status = 0;
    waitpid(writer, &status, 0);
    EXPECT_EQ(misses, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(EmailAddressValidator, EachRuleAcceptsAndRejects)
{
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        // 1: at least five characters
        {"a@b.c", true}, {"@b.c", false}, {"", false},
        // 2: an at sign
        {"ab.cd", false},
        // 3: a dot
        {"ab@cd", false},
        // 4: at most three characters after the last dot, none allowed
        {"a@b.com", true}, {"a@b.info", false}, {"a.b.c@d.efgh", false}, {"ab@c.", true},
        {"ab.c@d", true}, {"a@b.cd.museum", false},
        // 5: no underscore after the last at sign
        {"a_b@c.de", true}, {"ab@c_d.ef", false}, {"ab@cd.e_", false},
        // 6: one at sign only
        {"a@b@c.de", false}, {"a@@bc.de", false},
        // 7: digits, letters of either case, "_", ".", "@", "-"
        {"Abc-9@Def.GH", true}, {"a b@c.de", false}, {"a+b@c.de", false}, {"caf\xe9@b.cd", false},
        {"a:b@c.de", false}, {"a\tb@c.de", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidEmailAddress(c.text), c.valid) << '"' << c.text << '"';
}

TEST(ServerAddressValidator, LengthDotAndShortEnding)
{
    struct Case {
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"a.b.c", true}, {"a.bc", false}, {"smtp.example.com", true}, {"localhost", false},
        {"192.168.1.10", true}, {"smtp.example.com:587", false}, {"10.0.0.1:25", false}, {"10.0.0.1:2", true},
        {"mail.example.info", false}, {"my host:x.de", true}, {"smtp.", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidServerAddress(c.text), c.valid) << '"' << c.text << '"';
}
