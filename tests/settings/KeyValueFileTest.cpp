#include "settings/KeyValueFile.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace std::string_literals;
using Fields = std::vector<std::string>;

namespace {

// Every record of a file, as the reader hands them out.
std::vector<Fields> Records(const TestDirectory& dir, const std::string& content)
{
    dir.WriteFile("records.txt", content);
    CKeyValueFile file("records.txt");
    std::vector<Fields> records;
    while (file.HasRecord())
        records.push_back(file.NextRecord());
    EXPECT_TRUE(file.NextRecord().empty());
    return records;
}

struct Credentials {
    bool answer;
    std::string userName;
    std::string password;
};

Credentials ReadAuth(const TestDirectory& dir, const std::string& content)
{
    dir.WriteFile("auth.txt", content);
    Credentials result{false, "user before", "password before"};
    result.answer = ReadSmtpCredentials(result.userName, result.password);
    return result;
}

}  // namespace

TEST(KeyValueFile, SplitsLinesIntoTrimmedFields)
{
    TestDirectory dir;
    EXPECT_EQ(Records(dir, "a,b,c\n"), (std::vector<Fields>{{"a", "b", "c"}}));
    EXPECT_EQ(Records(dir, " \t key \t, \tvalue  \n"), (std::vector<Fields>{{"key", "value"}}));
    EXPECT_EQ(Records(dir, "a,,c\n"), (std::vector<Fields>{{"a", "", "c"}}));
    EXPECT_EQ(Records(dir, "a,   ,c\n"), (std::vector<Fields>{{"a", "", "c"}}));
    EXPECT_EQ(Records(dir, ",a\n"), (std::vector<Fields>{{"", "a"}}));
    // A comma at the end opens no field; a comma and blanks open an empty one.
    EXPECT_EQ(Records(dir, "key,\n"), (std::vector<Fields>{{"key"}}));
    EXPECT_EQ(Records(dir, "key, \n"), (std::vector<Fields>{{"key", ""}}));
    EXPECT_EQ(Records(dir, "single\n"), (std::vector<Fields>{{"single"}}));
}

TEST(KeyValueFile, SkipsCommentsAndBlankLines)
{
    TestDirectory dir;
    const std::string content =
        "; a comment line\n"
        "\n"
        "   \t  \n"
        "  \t ; blanks, then a comment\n"
        "first, value ; remark, with a comma\n"
        "second,x;\n"
        ";\n";
    EXPECT_EQ(Records(dir, content), (std::vector<Fields>{{"first", "value"}, {"second", "x"}}));
    EXPECT_TRUE(Records(dir, "").empty());
    EXPECT_TRUE(Records(dir, "; only\n\n  \n;comments").empty());
}

TEST(KeyValueFile, LineEnds)
{
    TestDirectory dir;
    const std::vector<Fields> expected{{"a", "1"}, {"b", "2"}};
    EXPECT_EQ(Records(dir, "a,1\nb,2\n"), expected);
    EXPECT_EQ(Records(dir, "a,1\nb,2"), expected);          // last line without a line end
    EXPECT_EQ(Records(dir, "a,1\r\nb,2\r\n"), expected);    // written on Windows
    EXPECT_EQ(Records(dir, "a,1\r\n\r\n  \r\nb,2"), expected);
    EXPECT_EQ(Records(dir, "a,1 ;x\r\nb,2\r"), expected);
}

TEST(KeyValueFile, BadInputEndsWithoutCrashOrHang)
{
    TestDirectory dir;
    EXPECT_EQ(Records(dir, "a\0b,c\0\n\0\n"s), (std::vector<Fields>{{"a\0b"s, "c\0"s}, {"\0"s}}));
    const std::string longValue(1024 * 1024, 'v');
    EXPECT_EQ(Records(dir, "key," + longValue + "\nnext\n"), (std::vector<Fields>{{"key", longValue}, {"next"}}));

    CKeyValueFile missing("no such file");
    EXPECT_FALSE(missing.HasRecord());
    EXPECT_TRUE(missing.NextRecord().empty());

    std::filesystem::create_directory(dir.path() / "folder");
    CKeyValueFile folder("folder");
    EXPECT_FALSE(folder.HasRecord());
}

TEST(SmtpCredentials, ReadsUserNameAndPassword)
{
    TestDirectory dir;
    Credentials read = ReadAuth(dir, "USERNAME,alarm@example.com\nPASSWORD,s3cr3t!\n");
    EXPECT_TRUE(read.answer);
    EXPECT_EQ(read.userName, "alarm@example.com");
    EXPECT_EQ(read.password, "s3cr3t!");

    read = ReadAuth(dir, "; my login\r\n\t USERNAME \t,  alarm  ; the account\r\nPASSWORD, first\r\nPASSWORD,second\r\n");
    EXPECT_TRUE(read.answer);
    EXPECT_EQ(read.userName, "alarm");
    EXPECT_EQ(read.password, "second");   // the last record of a key wins; no CR kept

    read = ReadAuth(dir, "USERNAME, \nPASSWORD,\t\n");
    EXPECT_TRUE(read.answer);
    EXPECT_EQ(read.userName, "");
    EXPECT_EQ(read.password, "");
}

// Keys are compared exactly; a file without them answers true and leaves both strings alone.
TEST(SmtpCredentials, OtherKeysAreIgnored)
{
    TestDirectory dir;
    for (const char* content : {"username,alarm\n", "SERVER,smtp.example.com\n", "USER NAME,x\nPASSWORDS,y"}) {
        Credentials read = ReadAuth(dir, content);
        EXPECT_TRUE(read.answer) << content;
        EXPECT_EQ(read.userName, "user before") << content;
        EXPECT_EQ(read.password, "password before") << content;
    }
}

TEST(SmtpCredentials, MalformedRecordsAnswerFalse)
{
    TestDirectory dir;
    for (const char* content : {"USERNAME\n", "USERNAME,\n", "USERNAME,a,b\n", "PASSWORD,a, \n", "PASSWORD,,x\n"}) {
        Credentials read = ReadAuth(dir, content);
        EXPECT_FALSE(read.answer) << content;
    }
    // Records before the bad one have had their effect; the caller uses neither string then.
    Credentials read = ReadAuth(dir, "USERNAME,alarm\nPASSWORD,with,comma\nPASSWORD,late\n");
    EXPECT_FALSE(read.answer);
    EXPECT_EQ(read.userName, "alarm");
    EXPECT_EQ(read.password, "password before");
}

TEST(SmtpCredentials, NoUsableFileAnswersFalse)
{
    TestDirectory dir;
    std::string userName = "unchanged", password = "unchanged";
    EXPECT_FALSE(ReadSmtpCredentials(userName, password));   // missing
    EXPECT_FALSE(ReadAuth(dir, "").answer);
    EXPECT_FALSE(ReadAuth(dir, "; USERNAME,alarm\n\n \t\n").answer);
    std::filesystem::remove(dir.path() / "auth.txt");
    std::filesystem::create_directory(dir.path() / "auth.txt");
    EXPECT_FALSE(ReadSmtpCredentials(userName, password));
    EXPECT_EQ(userName, "unchanged");
    EXPECT_EQ(password, "unchanged");
}
