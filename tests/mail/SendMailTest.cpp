// SendMail and EmailPic against a real SMTP server on loopback: what arrives, why a send fails,
// whether that is for good, and that a password never travels in clear unless asked to.
#include "mail/EmailPic.h"
#include "mail/MailConfig.h"
#include "mail/SendMail.h"
#include "tests/support/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using Options = SmtpTestServer::Options;

namespace {

const Options kLogin{.starttls = true, .requireAuth = true};
const std::string kNoEncryption = "the server offers no encryption; the password was not sent";

}  // namespace

// Plain, and with STARTTLS and a login: the picture arrives byte for byte.
TEST(EmailPic, DeliversThePictureByteForByte)
{
    // Bytes a careless encoder would damage: bare CR and LF, lines beginning with a dot (SMTP's end
    // of data), every byte value, over many base64 lines.
    std::string picture = "\xff\xd8\r\n.\r\n..\n.\r\n";
    for (int i = 0; i < 64 * 256; ++i)
        picture += static_cast<char>(i ^ (i >> 8));
    TestDirectory dir;
    dir.WriteFile("pic_1.jpg", picture);
    for (const auto& [options, user] : {std::pair<Options, const char*>{{}, nullptr}, {kLogin, "alarm"}}) {
        SmtpTestServer server(options);
        SetMailConfig({.port = server.port(), .caFile = server.certificateFile()});
        ASSERT_TRUE(EmailPic("owner@example.org", "alarm@example.net", "127.0.0.1", "pic_1.jpg", user, "secret")
                    && EmailPicLastError().empty()) << EmailPicLastError();
        const ReceivedMail mail = server.WaitForMessages(1, 5s).at(0);
        EXPECT_EQ(mail.envelopeFrom, "alarm@example.net");
        EXPECT_EQ(mail.envelopeTo, std::vector<std::string>{"owner@example.org"});
        EXPECT_EQ(mail.from + " " + mail.to + " " + mail.subject,
                  "alarm@example.net owner@example.org Sentivo: a picture was taken");
        EXPECT_EQ(mail.authenticatedUser + (mail.overTls ? " over TLS" : ""), user ? "alarm over TLS" : "");
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_EQ(mail.attachments[0].fileName + " " + mail.attachments[0].contentType, "pic_1.jpg image/jpeg");
        EXPECT_TRUE(mail.attachments[0].bytes == picture) << "the attachment differs from the file";
    }
    // The picture is read first: no server is bothered, nor blamed.
    EXPECT_FALSE(EmailPic("owner@example.org", "alarm@example.net", "127.0.0.1", "pic_2.jpg", nullptr, nullptr));
    EXPECT_EQ(EmailPicLastError(), "picture file could not be read");
}

// Each send answers within its time-out (the closing QUIT may wait as long again) and says why it
// failed and whether for good. An address that could add lines, SMTP commands or parameters to the
// envelope or the headers is refused before anything is sent. A login goes only over TLS unless
// the security is None: the server must not even see AUTH.
TEST(SendMail, AnswersSayWhyAndWhetherForGood)
{
    const int nobodyListens = SmtpTestServer().port();   // that server has gone again
    struct Case {
        std::optional<Options> server;   // none: the port where nobody listens
        MailServer mail;                 // the server's port is filled in
        std::string reason;              // empty: sent
        bool permanent = false, authSeen = false;
        std::string from = "alarm@example.net", to = "owner@example.org";
        long timeoutMs = 20000;
    } const cases[] = {
        {kLogin, {.login = true, .userName = "alarm", .password = "wrong"}, "authentication failed", true, true},
        {kLogin, {}, "server requires a login", true},
        {std::nullopt, {}, "could not connect"},
        {.server = Options{.silent = true}, .reason = "timed out", .timeoutMs = 1500},
        {Options{.refuseRecipients = true}, {}, "server refused the sender or recipient", true},
        {Options{}, {.security = MailSecurity::StartTls}, "TLS failed: the server does not offer STARTTLS"},
        {Options{}, {.login = true, .userName = "alarm", .password = "secret"}, kNoEncryption, true},
        {Options{}, {.security = MailSecurity::StartTls, .login = true, .userName = "alarm"}, kNoEncryption, true},
        {Options{}, {.security = MailSecurity::None, .login = true, .userName = "alarm", .password = "secret"}, "",
         false, true},
        {Options{}, {}, "address not usable", true, false, "a@example.org\r\nBcc: x@example.org"},
        {Options{}, {}, "address not usable", true, false, "a@example.net", "o@example.org\nRCPT TO:<x@example.org>"},
        {Options{}, {}, "address not usable", true, false, "a@example.net", "a@b.net> SIZE=1"},
        {Options{}, {}, "address not usable", true, false, "a b@c.de"},
        {Options{}, {}, "address not usable", true, false, "a@b.net> SIZE=1"},
        {Options{}, {}, "address not usable", true, false, "a@example.net", "<a@b.net>"},
    };
    for (Case c : cases) {
        std::optional<SmtpTestServer> server;
        if (c.server)
            server.emplace(*c.server);
        c.mail.server = "127.0.0.1";
        c.mail.port = server ? server->port() : nobodyListens;
        SetMailConfig({.connectTimeoutMs = 5000, .totalTimeoutMs = c.timeoutMs,
                       .caFile = server ? server->certificateFile() : ""});
        SCOPED_TRACE(c.reason + ": " + c.to + " from " + c.from);
        const auto start = std::chrono::steady_clock::now();
        const MailResult result = SendMail(c.mail, {c.from, c.to, "Sentivo test e-mail", "Body", {{"p.jpg", "jpeg"}}});
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2 * std::chrono::milliseconds(c.timeoutMs) + 5s);
        EXPECT_EQ(result.sent, c.reason.empty());
        EXPECT_EQ(result.reason + (result.permanent ? " (for good)" : ""), c.reason + (c.permanent ? " (for good)" : ""));
        if (server) {
            EXPECT_EQ(server->WaitForMessages(c.reason.empty() ? 1 : 0, 5s).size(), c.reason.empty() ? 1u : 0u);
            EXPECT_EQ(server->Seen("auth") > 0, c.authSeen);
        }
    }
}
