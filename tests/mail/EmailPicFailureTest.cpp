// Sends that must fail: each answers false within the time-out and says why.
#include "mail/EmailPic.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/SmtpTestServer.h"

#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port that refuses connections: bound (so nobody else takes it) but not listening.
class ClosedPort {
public:
    ClosedPort()
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~ClosedPort() { close(fd_); }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace

// Each failure answers false within the time-out, says why, and leaves the server without a message.
TEST_F(MailTest, FailedSendsAnswerFalseAndSayWhy)
{
    using Options = SmtpTestServer::Options;
    const Options plain, silent{.silent = true}, login{.starttls = true, .requireAuth = true}, tls{.starttls = true};
    // A server that takes the data and then keeps the client waiting has not accepted the message.
    const Options slow{.delayMs = 10000};
    const std::string missing = (directory_.path() / "pic_2.jpg").string();
    struct Case {
        const char* name;
        std::optional<Options> server;   // none: a port that refuses connections
        bool trusted;                    // the client trusts the server's certificate
        MailConfig::Tls tls;
        std::string file;
        const char *user, *password;
        std::string reason;
        int timeoutMs = 20000;
    };
    const auto opportunistic = MailConfig::Tls::Opportunistic;
    const Case cases[] = {
        {"wrong password", login, true, opportunistic, picture_, "alarm", "wrong", "authentication failed"},
        {"no login", login, true, opportunistic, picture_, nullptr, nullptr, "server requires a login"},
        {"refused", std::nullopt, false, opportunistic, picture_, nullptr, nullptr, "could not connect"},
        // The file is read before any connection: its reason wins over the missing server.
        {"missing file", std::nullopt, false, opportunistic, missing, nullptr, nullptr, "picture file could not be read"},
        {"a folder", std::nullopt, false, opportunistic, directory_.path().string(), nullptr, nullptr,
         "picture file could not be read"},
        {"silent", silent, false, opportunistic, picture_, nullptr, nullptr, "timed out", 1500},
        {"slow", slow, false, opportunistic, picture_, nullptr, nullptr, "timed out", 1500},
        {"TLS required, not offered", plain, false, MailConfig::Tls::Required, picture_, "alarm", "secret", "TLS failed"},
        // STARTTLS offered with a certificate nobody vouched for: no fallback to plain text.
        {"untrusted certificate", tls, false, opportunistic, picture_, "alarm", "secret", "TLS failed"},
    };
    ClosedPort closed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<SmtpTestServer> server;
        if (c.server)
            server.emplace(*c.server);
        MailConfig config = LoopbackConfig(server ? server->port() : closed.port(), c.tls);
        if (c.trusted)
            config.caFile = server->certificateFile();
        config.totalTimeoutMs = c.timeoutMs;
        SetMailConfig(config);

        EXPECT_FALSE(EmailPic("owner@example.org", "alarm@example.net", "127.0.0.1", c.file.c_str(), c.user, c.password));
        if (c.reason == "TLS failed") {   // with libcurl's own words
            EXPECT_NE(EmailPicLastError().find(c.reason), std::string::npos) << EmailPicLastError();
        } else {
            EXPECT_EQ(EmailPicLastError(), c.reason);
        }
        if (server && !c.server->delayMs) {
            EXPECT_TRUE(server->Messages().empty());
        }
    }
}

TEST_F(MailTest, ArgumentsThatCannotMakeAMessage)
{
    SmtpTestServer server;
    SetMailConfig(LoopbackConfig(server.port()));
    EXPECT_FALSE(EmailPic(nullptr, "b@example.org", "127.0.0.1", picture_.c_str(), nullptr, nullptr));
    EXPECT_FALSE(EmailPic("a@example.org", "b@example.org", nullptr, picture_.c_str(), nullptr, nullptr));
    // A line break in an address would smuggle in headers or SMTP commands.
    EXPECT_FALSE(EmailPic("a@example.org\r\nBcc: x@example.org", "b@example.org", "127.0.0.1", picture_.c_str(),
                          nullptr, nullptr));
    EXPECT_EQ(EmailPicLastError(), "address is not valid");
    EXPECT_FALSE(EmailPic("a@example.org", "b@example.org", "mail server", picture_.c_str(), nullptr, nullptr));
    EXPECT_EQ(EmailPicLastError(), "SMTP server name is not valid");
    EXPECT_TRUE(server.Messages().empty());
}
