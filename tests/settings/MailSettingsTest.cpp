// The mail settings as the store and auth.txt hold them: verdicts, auth.txt files (hostile ones too), which login wins.
#include "settings/KeyValueFile.h"
#include "settings/MailSettingsCodec.h"
#include "settings/SettingsStore.h"
#include "settings/SmtpCredentials.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>
#include <fstream>
#include <functional>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

// Every address the first rule took is still taken (but for empty parts, which no mail system
// takes), with the real ones it refused; the server text is judged as the sender judges it.
TEST(Validators, AddressesAndServerTextsWithTheirVerdicts)
{
    enum Rule { Address, Server };
    const std::tuple<Rule, std::string, bool> cases[] = {
        // Taken by the first rule, and still.
        {Address, "a@b.c", true}, {Address, "a_b@c.de", true}, {Address, "Abc-9@Def.GH", true},
        {Address, "first.last@mail.example.com", true}, {Address, "x@10.0.0.1", true}, {Address, "ab.@c", true},
        // Mended: long top-level domains, "+" and the other characters common before the @.
        {Address, "a.b@c.info", true}, {Address, "alarm@home.email", true}, {Address, "me+alarm@mail.org", true},
        {Address, "o'brien@mail.ie", true}, {Address, "x!#$%&*/=?^_`{|}~-@y.museum", true},
        {Address, "a@xn--p1ai.xn--p1ai", true},
        // Still refused: blanks, two @, empty parts (some of which the first rule took), control
        // characters, other bytes, "_" after the @, no dot after it.
        {Address, "a b@c.de", false}, {Address, " a@b.net", false}, {Address, "a@b@c.de", false},
        {Address, "@b.net", false}, {Address, "a@.net", false}, {Address, "a@b..net", false}, {Address, "ab@c.", false},
        {Address, "a@", false}, {Address, "", false}, {Address, "a@b.net\n", false}, {Address, "a\t@b.net", false},
        {Address, "a\0@b.net"s, false}, {Address, "\xe9@b.cd", false}, {Address, "ab@c_d.ef", false},
        {Address, "a@localhost", false}, {Address, "a@b.net> SIZE=1", false},
        // Servers the first rule took, and still.
        {Server, "smtp.example.com", true}, {Server, "mail.isp.net", true}, {Server, "10.0.0.1:2", true},
        {Server, " smtp.example.com ", true},
        // Mended: local names, IP literals, host:port, a scheme.
        {Server, "localhost", true}, {Server, "127.0.0.1", true}, {Server, "smtp.example.com:587", true},
        {Server, "[::1]:25", true}, {Server, "smtps://smtp.example.info", true}, {Server, "smtp://relay:2525/", true},
        // Refused now, though the first rule took them: the sender could never use them.
        {Server, "my server.net", false}, {Server, "a/b/c.com", false}, {Server, "127.0.0.1:0", false},
        {Server, "a@b.com", false}, {Server, "smtp.x.net:65536", false}, {Server, "smtp.x.net?a=b", false},
        // Still refused: empty, empty parts, control characters, other bytes, a bare IPv6 address.
        {Server, "", false}, {Server, "smtp..example.net", false}, {Server, ".example.net", false},
        {Server, "example.net.", false}, {Server, ":25", false}, {Server, "smtp.example.net\n", false},
        {Server, "\tsmtp.example.net", false}, {Server, "sm\x7ftp.net", false}, {Server, "m\xe9l.net", false},
        {Server, "::1", false}, {Server, "smtp://", false},
    };
    for (const auto& [rule, text, verdict] : cases)
        EXPECT_EQ(rule == Address ? IsValidEmailAddress(text) : IsValidServerAddress(text), verdict)
            << (rule == Address ? "address " : "server ") << '"' << text << '"';
}

// "user|password", or "-" when no login is given, then the problem without the file's path.
static std::string Shown(const CredentialsRead& read)
{
    const std::string problem = read.problem.empty() ? "" : " " + read.problem.substr(read.problem.find("auth.txt") + 9);
    return (read.login.given ? read.login.userName + "|" + read.login.password : "-") + problem;
}

// What is read from the working folder's auth.txt holding content (null: no file).
static std::string Read(const char* content)
{
    TestDirectory dir;
    if (content)
        dir.WriteFile("auth.txt", content);
    return Shown(ReadSmtpCredentials("auth.txt"));
}

static void WriteHere(const char* name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary) << bytes;
}

// auth.txt: comments, blanks and line ends as editors write them; the last record of a key wins; a
// record the reader cannot use is reported with its line, never dropped without a word.
TEST(SmtpCredentials, RulesOfTheFile)
{
    const std::pair<const char*, const char*> cases[] = {   // content, what is read
        {"USERNAME,alarm@example.com\nPASSWORD,s3cr3t!\n", "alarm@example.com|s3cr3t!"},
        {"; login\n\n \t\n\t USERNAME \t,  al arm  ; the account\nPASSWORD, one\nPASSWORD,two", "al arm|two"},
        {"USERNAME, \nPASSWORD,\t\n", "|"}, {"USERNAME, alarm\n", "alarm|"},
        {"USERNAME,alarm\r\n\r\nPASSWORD,pw\r\n", "alarm|pw"}, {"USERNAME,alarm\rPASSWORD,pw\r", "alarm|pw"},
        {"\xEF\xBB\xBFUSERNAME,alarm\r\rPASSWORD,pw\n", "alarm|pw"},
        // Nothing to log in with: no file, an empty one, comments only.
        {nullptr, "-"}, {"", "-"}, {"; USERNAME,alarm\n\n \t\r\n", "-"},
        // Records that cannot be used: the extra comma of a password, a key missing its value, keys
        // of no meaning here.
        {"USERNAME, alarm\nPASSWORD, pass,word\n", "- line 2: a PASSWORD record has 3 fields, not 2 (a value cannot hold a comma)"},
        {"PASSWORD,a, \n", "- line 1: a PASSWORD record has 3 fields, not 2 (a value cannot hold a comma)"},
        {"; the login\n\nUSERNAME\n", "- line 3: a USERNAME record has 1 field, not 2 (a value cannot hold a comma)"},
        {"USERNAME,\n", "- line 1: a USERNAME record has 1 field, not 2 (a value cannot hold a comma)"},
        {"username,a\nPASSWORD,b", "- line 1: \"username\" is neither USERNAME nor PASSWORD"},
        {"USERNAME,a\r\nSERVER,b\r\n", "- line 2: \"SERVER\" is neither USERNAME nor PASSWORD"},
    };
    for (const auto& [content, read] : cases)
        EXPECT_EQ(Read(content), read) << (content ? content : "(no file)");
}

// Whatever is put in auth.txt's place is refused with its reason, at once: a FIFO no one writes
// to, a link to an endless device, a folder, a file larger than 64 KiB, a link to nothing. A file of
// exactly 64 KiB is read.
TEST(SmtpCredentials, AnythingButASmallRegularFileIsRefusedWithoutWaiting)
{
    const std::string edge = std::string(kMaxKeyValueFileSize - 20, ';') + "\nUSERNAME, edge\n;;;\n";
    ASSERT_EQ(edge.size(), kMaxKeyValueFileSize);
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[] { ASSERT_EQ(::mkfifo("auth.txt", 0600), 0); }, "- is a FIFO, not a regular file"},
        {[] { fs::create_symlink("/dev/zero", "auth.txt"); }, "- is a character device, not a regular file"},
        {[] { fs::create_directory("auth.txt"); }, "- is a folder, not a regular file"},
        {[] { WriteHere("auth.txt", "USERNAME, a\n" + std::string(1 << 20, ';')); },
         "- is larger than 65536 bytes"},
        {[] { fs::create_symlink("nowhere.txt", "auth.txt"); }, "- could not be opened: No such file or directory"},
        {[&edge] { WriteHere("auth.txt", edge); }, "edge|"},
    };
    for (const auto& [make, read] : cases) {
        TestDirectory dir;
        make();
        const CredentialsRead got = ReadSmtpCredentials("auth.txt");
        EXPECT_EQ(Shown(got), read);
        EXPECT_TRUE(got.problem.empty() || got.problem.starts_with((dir.path() / "auth.txt").string())) << got.problem;
    }
}

// One resolution for the alarm mails (the saved login) and the test e-mail (the login typed in the
// dialog): an auth.txt in the working folder wins over either, also when it cannot be used.
TEST(SmtpCredentials, TheWorkingFoldersLoginOverridesTheSavedAndTheTypedOne)
{
    const SmtpLogin typed{.given = true, .userName = "typed", .password = "t"};
    const auto shown = [](const CredentialsRead& read) { return read.problem.empty() ? Shown(read) : "- !"; };
    const struct { const char* working; bool saved; const char *alarm, *test; } cases[] = {   // working: null none, "" FIFO
        {nullptr, false, "-", "typed|t"},
        {nullptr, true, "saved|s", "typed|t"},
        {"USERNAME, here\nPASSWORD, h\n", true, "here|h", "here|h"},
        {"", true, "- !", "- !"},
        {"USERNAME, here\nPASSWORD, h,i\n", false, "- !", "- !"},
    };
    for (const auto& c : cases) {
        TestDirectory dir;
        std::string reason;
        ASSERT_TRUE(!c.saved || WriteSmtpCredentials("saved", "s", reason)) << reason;
        if (c.working && *c.working) {
            dir.WriteFile("auth.txt", c.working);
        } else if (c.working) {
            ASSERT_EQ(::mkfifo("auth.txt", 0600), 0);
        }
        EXPECT_EQ(shown(ResolveLogin()), c.alarm) << (c.working ? c.working : "no auth.txt");
        EXPECT_EQ(shown(ResolveLogin(typed)), c.test) << (c.working ? c.working : "no auth.txt");
        EXPECT_EQ(WorkingFolderCredentialsPresent(), c.working != nullptr);
    }
}

// The login the Options dialog saves: owner-only, read back exactly; texts the format cannot carry
// are refused, not mangled.
TEST(SmtpCredentials, SavedLoginIsPrivateAndReadsBackAsTyped)
{
    TestDirectory dir;
    std::string reason;
    ASSERT_TRUE(WriteSmtpCredentials("alarm@example.net", "app pass!", reason)) << reason;
    EXPECT_FALSE(ReadableByOthers(SavedCredentialsFile()));
    EXPECT_EQ(fs::status(SavedCredentialsFile()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    const CredentialsRead read = ReadSmtpCredentials(SavedCredentialsFile());
    EXPECT_EQ(read.login.userName + "|" + read.login.password + "|" + read.problem, "alarm@example.net|app pass!|");
    for (const char* bad : {"a,b", "a;b", " a", "a\t", "a\nPASSWORD, x"}) {
        EXPECT_FALSE(WriteSmtpCredentials(bad, "x", reason)) << bad;
        EXPECT_FALSE(WriteSmtpCredentials("x", bad, reason)) << bad;
    }
    ASSERT_TRUE(WriteSmtpCredentials("", "", reason));
    EXPECT_FALSE(fs::exists(SavedCredentialsFile()));
}

// The port and security as stored or given in the environment, and what a mail goes out with: the
// stored settings, the default for a port or security that is not valid, no mail while the login
// cannot be used.
TEST(MailSettingsCodec, PortsSecuritiesAndTheSettingsAMailGoesOutWith)
{
    for (const auto& [text, port] : {std::pair{"25", 25L}, {"65535", 65535L}, {"00587", 587L}, {"0", 0L}, {"65536", 0L},
                                     {"-25", 0L}, {"+25", 0L}, {" 25", 0L}, {"25 ", 0L}, {"2x", 0L}, {"", 0L}})
        EXPECT_EQ(PortFromText(text).value_or(0), port) << '"' << text << '"';
    for (MailSecurity security : {MailSecurity::Default, MailSecurity::StartTls, MailSecurity::Ssl, MailSecurity::None})
        EXPECT_EQ(SecurityFromStoredText(StoredSecurityText(security)), security) << StoredSecurityText(security);
    EXPECT_EQ(SecurityFromStoredText("starttls"), std::nullopt);
    EXPECT_EQ(TlsFromEnvironmentName("required"), MailConfig::Tls::Required);
    EXPECT_EQ(TlsFromEnvironmentName("STARTTLS"), std::nullopt);
    EXPECT_EQ(EnvironmentTlsNames(), "opportunistic, required, off or ssl");

    TestDirectory dir;
    std::string reason, ignored;
    ReadSetting(SETTING_FROM_ADDRESS, ignored);
    EXPECT_FALSE(CurrentMailSettings(reason));
    EXPECT_EQ(reason, "the From address is missing or not valid");
    for (auto [id, text] : {std::pair{SETTING_FROM_ADDRESS, "me+alarm@home.email"}, {SETTING_TO_ADDRESS, "owner@mail.org"},
                            {SETTING_SMTP_SERVER, "localhost:2525"}})
        WriteSetting(id, text);
    WriteNamedSetting(SETTING_SMTP_PORT, "99999");
    WriteNamedSetting(SETTING_SMTP_SECURITY, "SSL");
    dir.WriteFile("auth.txt", "USERNAME, alarm\nPASSWORD, secret\n");
    std::optional<MailSettings> settings = CurrentMailSettings(reason);
    ASSERT_TRUE(settings) << reason;
    EXPECT_EQ(settings->fromAddress + " " + settings->server.server + " " + std::to_string(settings->server.port),
              "me+alarm@home.email localhost:2525 0");
    EXPECT_TRUE(settings->server.security == MailSecurity::Ssl && settings->server.login);
    EXPECT_EQ(settings->server.userName + "|" + settings->server.password, "alarm|secret");
    dir.WriteFile("auth.txt", "USERNAME, alarm\nPASSWORD, sec,ret\n");
    EXPECT_FALSE(CurrentMailSettings(reason));
    EXPECT_EQ(reason, "login not usable: " + (dir.path() / "auth.txt").string()
                          + " line 2: a PASSWORD record has 3 fields, not 2 (a value cannot hold a comma)");
}
