// SendMail against a real SMTP server on loopback: why a send fails, whether for good, and that a
// password never travels in clear unless asked to.
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

// Each send says why it failed and whether for good; an address that could inject lines or envelope
// parameters is refused before sending; a login goes only over TLS unless the security is None.
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
