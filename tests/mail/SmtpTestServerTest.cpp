// The loopback server that the mail, settings and panel tests rely on, spoken to over a plain
// socket so that a fault in it is not mistaken for a fault in EmailPic.
#include "tests/support/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

class Client {
public:
    explicit Client(int port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { close(fd_); }
    bool connected() const { return connected_; }

    // Reads until a final reply line ("250 ..." rather than "250-...") or the time-out.
    std::string Reply(std::chrono::milliseconds timeout = 5s)
    {
        std::string text;
        pollfd waiting{fd_, POLLIN, 0};
        while (poll(&waiting, 1, static_cast<int>(timeout.count())) == 1) {
            char buffer[512];
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0)
                break;
            text.append(buffer, static_cast<size_t>(got));
            const size_t lastLine = text.rfind('\n', text.size() - 2);
            const size_t start = lastLine == std::string::npos ? 0 : lastLine + 1;
            if (text.back() == '\n' && text.size() > start + 3 && text[start + 3] == ' ')
                break;
        }
        return text;
    }
    std::string Say(const std::string& line)
    {
        const std::string wire = line + "\r\n";
        EXPECT_EQ(write(fd_, wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
        return Reply();
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

const char* const kMessage =
    "From: Alarm <alarm@example.org>\r\n"
    "To: owner@example.org\r\n"
    "Subject: Test picture\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
    "\r\n"
    "--b1\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "Hello\r\n"
    "--b1\r\n"
    "Content-Type: image/jpeg\r\n"
    "Content-Disposition: attachment; filename=\"pic_1.jpg\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "/9gA/w==\r\n"
    "--b1--\r\n"
    ".";

}  // namespace

TEST(SmtpTestServer, RecordsEnvelopeHeadersAndDecodedAttachment)
{
    SmtpTestServer server;
    ASSERT_GT(server.port(), 0);
    EXPECT_TRUE(server.certificateFile().empty());
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.Reply().substr(0, 3), "220");
    EXPECT_EQ(client.Say("EHLO tester").substr(0, 3), "250");
    EXPECT_EQ(client.Say("MAIL FROM:<alarm@example.org>").substr(0, 3), "250");
    EXPECT_EQ(client.Say("RCPT TO:<owner@example.org>").substr(0, 3), "250");
    EXPECT_EQ(client.Say("DATA").substr(0, 3), "354");
    EXPECT_EQ(client.Say(kMessage).substr(0, 3), "250");
    client.Say("QUIT");

    const auto mails = server.WaitForMessages(1, 5s);
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.envelopeFrom, "alarm@example.org");
    EXPECT_EQ(mail.envelopeTo, std::vector<std::string>{"owner@example.org"});
    EXPECT_EQ(mail.from, "Alarm <alarm@example.org>");
    EXPECT_EQ(mail.to, "owner@example.org");
    EXPECT_EQ(mail.subject, "Test picture");
    EXPECT_EQ(mail.body, "Hello");
    EXPECT_EQ(mail.authenticatedUser, "");
    EXPECT_FALSE(mail.overTls);
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_EQ(mail.attachments[0].fileName, "pic_1.jpg");
    EXPECT_EQ(mail.attachments[0].contentType, "image/jpeg");
    EXPECT_EQ(mail.attachments[0].bytes, std::string("\xff\xd8\x00\xff", 4));
}

TEST(SmtpTestServer, DemandsLoginAndOffersStarttlsWithItsOwnCertificate)
{
    SmtpTestServer::Options options;
    options.starttls = true;
    options.requireAuth = true;
    SmtpTestServer server(options);
    EXPECT_TRUE(std::filesystem::exists(server.certificateFile()));
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    client.Reply();
    const std::string capabilities = client.Say("EHLO tester");
    EXPECT_NE(capabilities.find("STARTTLS"), std::string::npos);
    // No login over plain text, and no mail without a login.
    EXPECT_EQ(client.Say("AUTH PLAIN AGFsYXJtAHNlY3JldA==").substr(0, 3), "538");
    EXPECT_EQ(client.Say("MAIL FROM:<alarm@example.org>").substr(0, 3), "530");
    EXPECT_TRUE(server.Messages().empty());
}

TEST(SmtpTestServer, SilentServerAcceptsButNeverGreets)
{
    SmtpTestServer::Options options;
    options.silent = true;
    SmtpTestServer server(options);
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.Reply(300ms), "");
}

TEST(SmtpTestServer, EndsItsProcessAndRemovesItsFolder)
{
    std::string certificate;
    int port = 0;
    {
        SmtpTestServer::Options options;
        options.starttls = true;
        SmtpTestServer server(options);
        certificate = server.certificateFile();
        port = server.port();
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(certificate).parent_path()));
    Client client(port);
    EXPECT_FALSE(client.connected());
}
