// Sends that must fail: each answers false within the time-out and says why.
#include "mail/EmailPic.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/SmtpTestServer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

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

bool Send(const std::string& picture, const char* user = nullptr, const char* password = nullptr)
{
    return EmailPic("owner@example.org", "alarm@example.net", "127.0.0.1", picture.c_str(), user, password);
}

}  // namespace

TEST_F(MailTest, LoginFailuresSayWhy)
{
    SmtpTestServer::Options options;
    options.starttls = true;
    options.requireAuth = true;
    SmtpTestServer server(options);
    MailConfig config = LoopbackConfig(server.port());
    config.caFile = server.certificateFile();
    SetMailConfig(config);

    EXPECT_FALSE(Send(picture_, "alarm", "wrong"));
    EXPECT_EQ(EmailPicLastError(), "authentication failed");
    EXPECT_FALSE(Send(picture_));
    EXPECT_EQ(EmailPicLastError(), "server requires a login");
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(MailTest, NoServerOrAnUnreadablePictureFailAtOnce)
{
    ClosedPort closed;
    SetMailConfig(LoopbackConfig(closed.port()));
    EXPECT_FALSE(Send(picture_));
    EXPECT_EQ(EmailPicLastError(), "could not connect");

    // The file is read before any connection: its reason wins over the missing server.
    EXPECT_FALSE(Send((directory_.path() / "pic_2.jpg").string()));
    EXPECT_EQ(EmailPicLastError(), "picture file could not be read");
    EXPECT_FALSE(Send(directory_.path().string()));  // a folder is no picture either
    EXPECT_EQ(EmailPicLastError(), "picture file could not be read");
}

TEST_F(MailTest, SilentOrSlowServersRunIntoTheTimeOut)
{
    SmtpTestServer::Options silentOptions;
    silentOptions.silent = true;
    SmtpTestServer silent(silentOptions);
    MailConfig config = LoopbackConfig(silent.port());
    config.totalTimeoutMs = 1500;
    SetMailConfig(config);
    EXPECT_FALSE(Send(picture_));
    EXPECT_EQ(EmailPicLastError(), "timed out");

    // A server that takes the data and then keeps the client waiting has not accepted the message.
    SmtpTestServer::Options slowOptions;
    slowOptions.delayMs = 10000;
    SmtpTestServer slow(slowOptions);
    config.port = slow.port();
    SetMailConfig(config);
    EXPECT_FALSE(Send(picture_));
    EXPECT_EQ(EmailPicLastError(), "timed out");
}

TEST_F(MailTest, TlsThatCannotBeHadFails)
{
    SmtpTestServer plain;
    SetMailConfig(LoopbackConfig(plain.port(), MailConfig::Tls::Required));
    EXPECT_FALSE(Send(picture_, "alarm", "secret"));
    EXPECT_NE(EmailPicLastError().find("TLS failed"), std::string::npos) << EmailPicLastError();
    EXPECT_TRUE(plain.Messages().empty());

    // STARTTLS offered, but with a certificate nobody vouched for: no fallback to plain text.
    SmtpTestServer::Options options;
    options.starttls = true;
    SmtpTestServer untrusted(options);
    SetMailConfig(LoopbackConfig(untrusted.port(), MailConfig::Tls::Opportunistic));
    EXPECT_FALSE(Send(picture_, "alarm", "secret"));
    EXPECT_NE(EmailPicLastError().find("TLS failed"), std::string::npos) << EmailPicLastError();
    EXPECT_TRUE(untrusted.Messages().empty());
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
