#include "settings/SettingsStore.h"
#include "tests/support/TestDirectory.h"

#include <QSettings>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Runs body in a forked child and answers its exit code (-1 when it did not exit normally): a
// second process touching the same settings, or (when the tests run as root, who ignores file
// permissions) an unprivileged user who cannot read or write what the test locked away.
int RunInChildProcess(const std::function<int()>& body, bool unprivileged = false)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (unprivileged && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(98);
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::string& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// The verdict and the text of one read; the text starts non-empty so a missed clear shows.
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
        ReadBack(SETTING_FROM_ADDRESS);
        ASSERT_TRUE(fs::exists(dir.settingsFile()));
    }
    std::string StoreBytes() const { return FileBytes(dir.settingsFile()); }
    std::vector<fs::path> StoreFolder() const { return {fs::directory_iterator(dir.settingsFile().parent_path()), {}}; }
    // Every folder open to all, so only the file's own permissions guard it from the child.
    void OpenFolders() const
    {
        for (const fs::path& folder : {dir.path(), dir.configHome(), dir.settingsFile().parent_path()})
            fs::permissions(folder, fs::perms::all);
    }

    TestDirectory dir;
};

}  // namespace

// Writes before the store exists answer false and create nothing; the first read of any id, known
// or not, creates it with six empty values and answers false, as does every later read.
TEST_F(SettingsStore, CreatedEmptyByTheFirstReadOnly)
{
    for (int id = 0; id < SETTING_COUNT; ++id)
        EXPECT_FALSE(WriteSetting(id, id < 3 ? "a@b.cd" : "1.0")) << id;
    EXPECT_FALSE(fs::exists(dir.configHome() / "Corvane"));
    for (int id : {0, 1, 2, 3, 4, 5, 6, -1}) {
        TestDirectory fresh;
        for (int again = 0; again < 2; ++again) {
            Read read = ReadBack(again ? (id + 1) % SETTING_COUNT : id);
            EXPECT_FALSE(read.verdict) << id;
            EXPECT_EQ(read.text, "") << id;
        }
        QSettings file(QString::fromStdString(fresh.settingsFile().string()), QSettings::IniFormat);
        EXPECT_EQ(file.allKeys().size(), 6);
        for (const char* name : {"EMAIL_ADDRESS", "TO_EMAIL_ADDRESS", "SMTP_SERVER", "DELAY_TO_LEAVE_ROOM",
                                 "DELAY_BETWEEN_SENDS", "DELAY_BEFORE_ALARM"})
            EXPECT_EQ(file.value(name, "absent").toString(), QString()) << name;
    }
}

// Each id's verdict on write and on the following read, the 254-byte limit included; invalid and
// too-long texts are stored all the same, and a write leaves the other values alone.
TEST_F(SettingsStore, VerdictsPerIdAndTheSizeLimit)
{
    struct Case {
        int id;
        std::string text;
        bool writeVerdict, readVerdict;
        std::string readText;
    };
    const std::string longest(SETTING_MAX_LENGTH, '7'), highBytes(SETTING_MAX_LENGTH, '\xE9');
    const Case cases[] = {
        {SETTING_FROM_ADDRESS, "Alarm.Home@Example.COM", true, true, "Alarm.Home@Example.COM"},
        {SETTING_FROM_ADDRESS, "no-at-sign.com", false, false, "no-at-sign.com"},
        {SETTING_FROM_ADDRESS, "", false, false, ""},
        {SETTING_TO_ADDRESS, "owner@example.org", true, true, "owner@example.org"},
        {SETTING_TO_ADDRESS, "owner@example.info", false, false, "owner@example.info"},
        {SETTING_SMTP_SERVER, "smtp.example.com", true, true, "smtp.example.com"},
        {SETTING_SMTP_SERVER, "localhost", false, false, "localhost"},
        {SETTING_DELAY_TO_LEAVE_ROOM, "", true, false, ""},
        {SETTING_DELAY_TO_LEAVE_ROOM, longest, true, true, longest},
        {SETTING_DELAY_TO_LEAVE_ROOM, longest + "7", true, false, ""},
        {SETTING_DELAY_BETWEEN_SENDS, "not a number", true, true, "not a number"},
        {SETTING_DELAY_BETWEEN_SENDS, highBytes, true, true, highBytes},   // bytes, not the file's encoding
        {SETTING_DELAY_BEFORE_ALARM, "2.5", true, true, "2.5"},
        {SETTING_DELAY_BEFORE_ALARM, "", true, false, ""},
        {SETTING_DELAY_TO_LEAVE_ROOM, std::string(8 << 20, 'x'), true, false, ""},   // huge: no crash
    };
    CreateStore();
    std::map<int, std::string> held;   // what each id written so far reads back
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " " << c.text.substr(0, 40) << " (" << c.text.size() << ")");
        EXPECT_EQ(WriteSetting(c.id, c.text), c.writeVerdict);
        Read read = ReadBack(c.id);
        EXPECT_EQ(read.verdict, c.readVerdict);
        EXPECT_EQ(read.text, c.readText);
        held[c.id] = c.readText;
        for (const auto& [id, text] : held)
            EXPECT_EQ(ReadBack(id).text, text) << "id " << id;
    }
}

TEST_F(SettingsStore, UnknownIdsAnswerFalseAndTouchNothing)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, "5.0"));
    const std::string before = StoreBytes();
    for (int id : {6, -1, INT_MAX, INT_MIN}) {
        EXPECT_FALSE(WriteSetting(id, "5.0")) << id;
        Read read = ReadBack(id);
        EXPECT_FALSE(read.verdict) << id;
        EXPECT_EQ(read.text, "") << id;
    }
    EXPECT_EQ(StoreBytes(), before);
}

// Texts that mean something to an INI file, control characters and bytes above 127 come back
// exactly, and none of them can add or change another value.
TEST_F(SettingsStore, AnyBytesRoundTripExactly)
{
    std::string lowBytes, highBytes;   // each within the size limit
    for (int c = 1; c < 256; ++c)
        (c < 128 ? lowBytes : highBytes) += static_cast<char>(c);
    const std::string texts[] = {
        "line one\nDELAY_BETWEEN_SENDS=9.9", "a\r\nb\rc", "key=value", "x;comment", "[Other]\nEMAIL_ADDRESS=x@y.zz",
        "a,b,c", "\"quoted\"", "@ByteArray(abc)", "@Invalid()", "  padded  ", "\\back\\slash\\", "tab\there",
        "caf\xc3\xa9", "caf\xe9", "nul\0inside"s, lowBytes, highBytes,
    };
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_BETWEEN_SENDS, "2.0"));
    for (const std::string& text : texts) {
        ASSERT_TRUE(WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, text));
        EXPECT_EQ(ReadBack(SETTING_DELAY_TO_LEAVE_ROOM).text, text);
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
    ASSERT_EQ(RunInChildProcess([] { return WriteSetting(SETTING_SMTP_SERVER, "mail.example.net.uk") ? 0 : 1; }), 0);
    EXPECT_EQ(ReadBack(SETTING_SMTP_SERVER).text, "mail.example.net.uk");

    WriteBytes(dir.settingsFile(), "[General]\nSMTP_SERVER=10.1.2.3\nDELAY_TO_LEAVE_ROOM=1,5\n");
    EXPECT_TRUE(ReadBack(SETTING_SMTP_SERVER).verdict);
    EXPECT_EQ(ReadBack(SETTING_DELAY_TO_LEAVE_ROOM).text, "1,5") << "commas typed by hand make no list";
    EXPECT_FALSE(ReadBack(SETTING_FROM_ADDRESS).verdict);   // removed by the edit
}

// A file the user cannot read is never cleared or rewritten: every read and write answers false.
// One that may be read but not written still gives its values. (As root, who reads anything, the
// calls are made by an unprivileged child process.)
TEST_F(SettingsStore, UnreadableOrReadOnlyFileIsLeftAlone)
{
    using enum fs::perms;
    for (const bool readable : {false, true}) {
        SCOPED_TRACE(readable ? "read-only" : "unreadable");
        CreateStore();
        ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "from@example.com"));
        const std::string before = StoreBytes();
        OpenFolders();
        fs::permissions(dir.settingsFile(), readable ? owner_read | group_read | others_read : none);
        const int failures = RunInChildProcess([readable] {
            int failures = 0;
            for (int id = 0; id < SETTING_COUNT; ++id) {
                std::string text = "left over";
                const bool expectRead = readable && id == SETTING_FROM_ADDRESS;
                failures += ReadSetting(id, text) != expectRead || (text == "from@example.com") != expectRead;
                failures += !readable && !text.empty();
                failures += WriteSetting(id, "to@example.com");
            }
            return failures;
        }, true);
        EXPECT_EQ(failures, 0);
        fs::permissions(dir.settingsFile(), owner_read | owner_write);
        EXPECT_EQ(StoreBytes(), before);
        EXPECT_EQ(StoreFolder(), std::vector<fs::path>{dir.settingsFile()});
    }
}

// Garbage, binary bytes and a folder where the file should be give plain verdicts and no crash;
// values in the readable parts of a damaged file still count, and the next save leaves a good file.
TEST_F(SettingsStore, DamagedFilesGiveClearVerdicts)
{
    fs::create_directories(dir.settingsFile());
    for (int id = 0; id < SETTING_COUNT; ++id) {
        Read read = ReadBack(id);
        EXPECT_FALSE(read.verdict || !read.text.empty() || WriteSetting(id, "a@b.cd")) << id;
    }
    EXPECT_TRUE(fs::is_directory(dir.settingsFile()) && fs::is_empty(dir.settingsFile()));
    fs::remove(dir.settingsFile());

    std::mt19937 random(42);
    std::string noise(256 * 1024, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    WriteBytes(dir.settingsFile(), noise);
    for (int id = 0; id < SETTING_COUNT; ++id)
        EXPECT_FALSE(ReadBack(id).verdict) << id;
    ASSERT_TRUE(WriteSetting(SETTING_TO_ADDRESS, "to@example.com"));
    EXPECT_TRUE(ReadBack(SETTING_TO_ADDRESS).verdict);

    WriteBytes(dir.settingsFile(), "\0\x01\xff\xfe binary\n[General]\nEMAIL_ADDRESS=a@b.cd\n"
                                   "no equals sign here\n[unclosed section\nSMTP_SERVER\n"s);
    EXPECT_EQ(ReadBack(SETTING_FROM_ADDRESS).text, "a@b.cd");
    EXPECT_FALSE(ReadBack(SETTING_SMTP_SERVER).verdict);
}

// A save goes to a temporary file that replaces the old one, so the file is always whole. Where no
// temporary file can be made beside it, the save fails and the old file stays as it was, though
// the file itself is writable: the store never writes over the file in place.
TEST_F(SettingsStore, SavesAreAtomic)
{
    CreateStore();
    ASSERT_TRUE(WriteSetting(SETTING_FROM_ADDRESS, "from@example.com"));
    EXPECT_EQ(StoreFolder(), std::vector<fs::path>{dir.settingsFile()}) << "no temporary or lock file left";

    const std::string before = StoreBytes();
    const fs::path folder = dir.settingsFile().parent_path();
    OpenFolders();
    using enum fs::perms;
    fs::permissions(dir.settingsFile(), owner_read | owner_write | group_read | group_write | others_read | others_write);
    fs::permissions(folder, owner_read | owner_exec | group_read | group_exec | others_read | others_exec);
    EXPECT_EQ(RunInChildProcess([] { return WriteSetting(SETTING_FROM_ADDRESS, "x@y.zz") ? 1 : 0; }, true), 0);
    fs::permissions(folder, owner_all);
    EXPECT_EQ(StoreBytes(), before);

    // A reader never meets a half-written file while another process saves again and again.
    ASSERT_TRUE(WriteSetting(SETTING_DELAY_BEFORE_ALARM, "10.0"));
    const pid_t writer = fork();
    if (writer == 0) {
        for (int i = 0; i < 300; ++i)
            WriteSetting(SETTING_DELAY_TO_LEAVE_ROOM, i % 2 ? std::string(200, 'b') : "1.0");
        _exit(0);
    }
    ASSERT_GT(writer, 0);
    int misses = 0;
    for (int i = 0; i < 600; ++i)
        misses += ReadBack(SETTING_DELAY_BEFORE_ALARM).text != "10.0";
    int status = 0;
    waitpid(writer, &status, 0);
    EXPECT_EQ(misses, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Validators, EachRuleAcceptsAndRejects)
{
    const std::pair<const char*, bool> emails[] = {
        {"a@b.c", true}, {"@b.c", false}, {"", false},                            // 1: five characters or more
        {"ab.cd", false},                                                         // 2: an at sign
        {"ab@cd", false},                                                         // 3: a dot
        {"a@b.com", true}, {"a@b.info", false}, {"a.b.c@d.efgh", false},          // 4: at most three after
        {"ab@c.", true}, {"ab.c@d", true}, {"a@b.cd.museum", false},              //    the last dot
        {"a_b@c.de", true}, {"ab@c_d.ef", false}, {"ab@cd.e_", false},            // 5: no _ after the @
        {"a@b@c.de", false}, {"a@@bc.de", false},                                 // 6: one @ only
        {"Abc-9@Def.GH", true}, {"a b@c.de", false}, {"a+b@c.de", false},         // 7: digits, letters,
        {"caf\xe9@b.cd", false}, {"a:b@c.de", false}, {"a\tb@c.de", false},       //    _ . @ - only
    };
    for (const auto& [text, valid] : emails)
        EXPECT_EQ(IsValidEmailAddress(text), valid) << '"' << text << '"';
    // Server: five characters or more, a dot, at most three characters after the last dot.
    const std::pair<const char*, bool> servers[] = {
        {"a.b.c", true}, {"a.bc", false}, {"smtp.example.com", true}, {"localhost", false},
        {"192.168.1.10", true}, {"smtp.example.com:587", false}, {"10.0.0.1:2", true},
        {"mail.example.info", false}, {"my host:x.de", true}, {"smtp.", true},
    };
    for (const auto& [text, valid] : servers)
        EXPECT_EQ(IsValidServerAddress(text), valid) << '"' << text << '"';
}
