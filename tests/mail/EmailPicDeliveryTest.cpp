// Messages that reach a real loopback SMTP server, and what the server saw of them.
#include "mail/EmailPic.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/support/SmtpTestServer.h"

#include <thread>

using namespace std::chrono_literals;

TEST_F(MailTest, DeliversThePictureWithEnvelopeHeadersAndExactBytes)
{
    SmtpTestServer server;
    SetMailConfig(LoopbackConfig(server.port()));
    ASSERT_TRUE(EmailPic("owner@example.org", "alarm@example.net", "127.0.0.1", picture_.c_str(), nullptr, nullptr))
        << EmailPicLastError();
    EXPECT_EQ(EmailPicLastError(), "");

    const auto mails = server.WaitForMessages(1, 5s);
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.envelopeFrom, "alarm@example.net");
    EXPECT_EQ(mail.envelopeTo, std::vector<std::string>{"owner@example.org"});
    EXPECT_EQ(mail.from, "alarm@example.net");
    EXPECT_EQ(mail.to, "owner@example.org");
    EXPECT_EQ(mail.subject, "Sentivo: a picture was taken");
    EXPECT_NE(mail.body.find("pic_1.jpg"), std::string::npos) << mail.body;
    EXPECT_EQ(mail.authenticatedUser, "");
    EXPECT_FALSE(mail.overTls);  // opportunistic: the server offers no STARTTLS
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_EQ(mail.attachments[0].fileName, "pic_1.jpg");  // the base name, not the full path
    EXPECT_EQ(mail.attachments[0].contentType, "image/jpeg");
    EXPECT_TRUE(mail.attachments[0].bytes == AwkwardPictureBytes()) << "attachment differs from the file";
}

TEST_F(MailTest, StarttlsLoginWithTheServersCertificate)
{
    SmtpTestServer::Options options;
    options.starttls = true;
    options.requireAuth = true;
    SmtpTestServer server(options);
    for (const auto tls : {MailConfig::Tls::Opportunistic, MailConfig::Tls::Required}) {
        MailConfig config = LoopbackConfig(server.port(), tls);
        config.caFile = server.certificateFile();
        SetMailConfig(config);
        EXPECT_TRUE(EmailPic("a@example.org", "b@example.org", "127.0.0.1", picture_.c_str(), "alarm", "secret"))
            << EmailPicLastError();
    }
    const auto mails = server.WaitForMessages(2, 5s);
    ASSERT_EQ(mails.size(), 2u);
    for (const ReceivedMail& mail : mails) {
        EXPECT_TRUE(mail.overTls);
        EXPECT_EQ(mail.authenticatedUser, "alarm");
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_TRUE(mail.attachments[0].bytes == AwkwardPictureBytes());
    }
}

// Credentials read from "auth.txt" may be empty texts; they are sent, not taken for "no login".
TEST_F(MailTest, EmptyCredentialsAreStillALogin)
{
    for (const std::string user : {"alarm", ""}) {
        SmtpTestServer::Options options;
        options.requireAuth = true;
        options.user = user;
        options.password = "";
        SmtpTestServer server(options);
        SetMailConfig(LoopbackConfig(server.port()));
        EXPECT_TRUE(EmailPic("a@example.org", "b@example.org", "127.0.0.1", picture_.c_str(), user.c_str(), ""))
            << '"' << user << "\": " << EmailPicLastError();
        EXPECT_FALSE(EmailPic("a@example.org", "b@example.org", "127.0.0.1", picture_.c_str(), user.c_str(), "x"));
        EXPECT_EQ(EmailPicLastError(), "authentication failed");
        EXPECT_EQ(server.WaitForMessages(1, 5s).size(), 1u);
    }
}

// The worker thread mails while the GUI thread may send a test e-mail: each keeps its own reason.
TEST_F(MailTest, ThreadsSendAtOnceAndKeepTheirOwnReasons)
{
    SmtpTestServer server;
    SetMailConfig(LoopbackConfig(server.port()));
    std::string reasons[4];
    bool answers[4] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            const std::string file = i % 2 ? picture_ : picture_ + ".missing";
            answers[i] = EmailPic("a@example.org", "b@example.org", "127.0.0.1", file.c_str(), nullptr, nullptr);
            reasons[i] = EmailPicLastError();
        });
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(answers[i], i % 2 == 1) << i;
        EXPECT_EQ(reasons[i], i % 2 ? "" : "picture file could not be read") << i;
    }
    EXPECT_EQ(server.WaitForMessages(2, 5s).size(), 2u);
}
