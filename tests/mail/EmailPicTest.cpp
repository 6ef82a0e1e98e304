// EmailPic against a real SMTP server on loopback: what arrives, and why a send fails.
#include "mail/EmailPic.h"
#include "mail/MailConfig.h"
#include "tests/support/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using Options = SmtpTestServer::Options;
using Tls = MailConfig::Tls;

namespace {

const Options kLogin{.starttls = true, .requireAuth = true};

// One send of a picture in the working folder through the loopback server on port.
struct Sending {
    int port = 0;
    Tls tls = Tls::Opportunistic;
    std::string caFile = "";
    const char *user = nullptr, *password = nullptr, *file = "pic_1.jpg";
    long timeoutMs = 20000;
    const char *to = "owner@example.org", *from = "alarm@example.net";
};

bool Send(const Sending& s)
{
    SetMailConfig(
        {.port = s.port, .tls = s.tls, .connectTimeoutMs = 5000, .totalTimeoutMs = s.timeoutMs, .caFile = s.caFile});
    return EmailPic(s.to, s.from, "127.0.0.1", s.file, s.user, s.password);
}

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
        Sending sending{.port = server.port(), .caFile = server.certificateFile(), .user = user, .password = "secret"};
        ASSERT_TRUE(Send(sending) && EmailPicLastError().empty()) << EmailPicLastError();
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
}

// Each failure answers false within its time-out (the closing QUIT may wait as long again), says
// why, and leaves no message at the server. An address that could add lines, SMTP commands or
// parameters to the envelope or the headers is refused before anything is sent.
TEST(EmailPic, FailuresAnswerFalseAndSayWhy)
{
    TestDirectory dir;
    dir.WriteFile("pic_1.jpg", "a picture");
    const int nobodyListens = SmtpTestServer().port();   // that server has gone again
    struct Case {
        std::optional<Options> server;   // none: the port where nobody listens
        Sending send;                    // to the server, trusting its certificate
        std::string reason;
    } const cases[] = {
        {kLogin, {.user = "alarm", .password = "wrong"}, "authentication failed"},
        {kLogin, {}, "server requires a login"},
        {std::nullopt, {}, "could not connect"},
        // The picture is read first: no server is bothered, nor blamed.
        {std::nullopt, {.file = "pic_2.jpg"}, "picture file could not be read"},
        {Options{.silent = true}, {.timeoutMs = 1500}, "timed out"},
        {Options{}, {.tls = Tls::Required, .user = "alarm", .password = "secret"},
         "TLS failed: the server does not offer STARTTLS"},
        {Options{}, {.from = "a@example.org\r\nBcc: x@example.org"}, "address not usable"},
        {Options{}, {.to = "owner@example.org\nRCPT TO:<x@example.org>"}, "address not usable"},
        {Options{}, {.to = "a@b.net> SIZE=1"}, "address not usable"}, {Options{}, {.from = "a b@c.de"}, "address not usable"},
        {Options{}, {.from = "a@b.net> SIZE=1"}, "address not usable"}, {Options{}, {.to = "<a@b.net>"}, "address not usable"},
    };
    for (Case c : cases) {
        std::optional<SmtpTestServer> server;
        if (c.server)
            server.emplace(*c.server);
        c.send.port = server ? server->port() : nobodyListens;
        c.send.caFile = server ? server->certificateFile() : "";
        SCOPED_TRACE(c.reason + ": " + c.send.to + " from " + c.send.from);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Send(c.send));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2 * std::chrono::milliseconds(c.send.timeoutMs) + 5s);
        EXPECT_EQ(EmailPicLastError(), c.reason);
        EXPECT_TRUE(!server || server->Messages().empty());
    }
}
