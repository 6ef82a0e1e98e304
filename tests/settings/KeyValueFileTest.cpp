#include "settings/KeyValueFile.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace std::string_literals;
using Records = std::vector<std::vector<std::string>>;

namespace {

// Every record of a file, as the reader hands them out.
Records ReadRecords(const TestDirectory& dir, const std::string& content)
{
    dir.WriteFile("records.txt", content);
    CKeyValueFile file("records.txt");
    Records records;
    while (file.HasRecord())
        records.push_back(file.NextRecord());
    EXPECT_TRUE(file.NextRecord().empty());
    return records;
}

}  // namespace

TEST(KeyValueFile, FieldsCommentsBlanksAndLineEnds)
{
    const std::string longValue(1024 * 1024, 'v');
    const std::pair<std::string, Records> cases[] = {
        {"a,b,c\n", {{"a", "b", "c"}}},
        {" \t key \t, \tvalue  \n", {{"key", "value"}}},
        {"a,,c\na,   ,c\n,a\n", {{"a", "", "c"}, {"a", "", "c"}, {"", "a"}}},
        // A comma at the end opens no field; a comma and blanks open an empty one.
        {"key,\nkey, \nsingle\n", {{"key"}, {"key", ""}, {"single"}}},
        {"; a comment\n\n   \t  \n  \t ; blanks, then a comment\nfirst, value ; remark, with a comma\n"
         "second,x;\n;\n", {{"first", "value"}, {"second", "x"}}},
        {"", {}},
        {"; only\n\n  \n;comments", {}},
        {"a,1\nb,2", {{"a", "1"}, {"b", "2"}}},   // last line without a line end
        {"a,1\r\n\r\n  \r\nb,2\r\n", {{"a", "1"}, {"b", "2"}}},   // written on Windows
        {"a,1 ;x\r\nb,2\r", {{"a", "1"}, {"b", "2"}}},
        // Bad input ends without a crash or hang.
        {"a\0b,c\0\n\0\n"s, {{"a\0b"s, "c\0"s}, {"\0"s}}},
        {"key," + longValue + "\nnext\n", {{"key", longValue}, {"next"}}},
    };
    TestDirectory dir;
    for (const auto& [content, expected] : cases)
        EXPECT_EQ(ReadRecords(dir, content), expected) << content.substr(0, 60);

    std::filesystem::create_directory(dir.path() / "folder");
    for (const char* name : {"no such file", "folder"}) {
        CKeyValueFile file(name);
        EXPECT_FALSE(file.HasRecord()) << name;
        EXPECT_TRUE(file.NextRecord().empty()) << name;
    }
}

// The answer and both strings for each auth.txt (strings unchecked where null); null content
// means no file, "/" a folder in its place. Strings the file does not set keep what they held.
TEST(SmtpCredentials, RulesOfTheFile)
{
    struct Case {
        const char* content;
        bool answer;
        const char* userName;
        const char* password;
    };
    const Case cases[] = {
        {"USERNAME,alarm@example.com\nPASSWORD,s3cr3t!\n", true, "alarm@example.com", "s3cr3t!"},
        // The last record of a key wins; CR LF ends lines like LF.
        {"; my login\r\n\t USERNAME \t,  alarm  ; the account\r\nPASSWORD, first\r\nPASSWORD,second\r\n", true, "alarm",
         "second"},
        {"USERNAME, \nPASSWORD,\t\n", true, "", ""},
        // Keys are compared exactly; others are ignored.
        {"username,alarm\nSERVER,smtp.example.com\nUSER NAME,x\nPASSWORDS,y", true, "before", "before"},
        // Exactly two fields for the two keys.
        {"USERNAME\n", false, nullptr, nullptr},
        {"USERNAME,\n", false, nullptr, nullptr},
        {"USERNAME,a,b\n", false, nullptr, nullptr},
        {"PASSWORD,a, \n", false, nullptr, nullptr},
        {"PASSWORD,,x\n", false, nullptr, nullptr},
        // Records before the bad one have had their effect; the caller uses neither string then.
        {"USERNAME,alarm\nPASSWORD,with,comma\nPASSWORD,late\n", false, "alarm", "before"},
        // No significant line, no file, or a folder named auth.txt.
        {"", false, "before", "before"},
        {"; USERNAME,alarm\n\n \t\n", false, "before", "before"},
        {nullptr, false, "before", "before"},
        {"/", false, "before", "before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(no file)");
        TestDirectory dir;
        if (c.content && c.content == "/"s)
            std::filesystem::create_directory(dir.path() / "auth.txt");
        else if (c.content)
            dir.WriteFile("auth.txt", c.content);
        std::string userName = "before", password = "before";
        EXPECT_EQ(ReadSmtpCredentials(userName, password), c.answer);
        if (c.userName) {
            EXPECT_EQ(userName, c.userName);
            EXPECT_EQ(password, c.password);
        }
    }
}
