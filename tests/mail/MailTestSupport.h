#pragma once
// Shared set-up for the EmailPic tests: a working folder with a picture file, and the mail
// configuration pointed at a loopback server and put back afterwards.

#include "mail/MailConfig.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>

#include <string>

// Picture bytes that a careless encoder would damage: every byte value, bare CR and LF, NULs,
// and lines that begin with a dot (SMTP's end-of-data marker), over several base64 lines.
inline std::string AwkwardPictureBytes()
{
    std::string bytes = "\xff\xd8\xff\xe0";
    for (int round = 0; round < 64; ++round)
        for (int value = 0; value < 256; ++value)
            bytes.push_back(static_cast<char>(value ^ round));
    bytes += "\r\n.\r\n..\n.\r\n";
    bytes += "\xff\xd9";
    return bytes;
}

class MailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = GetMailConfig();
        directory_.WriteFile("pic_1.jpg", AwkwardPictureBytes());
        picture_ = (directory_.path() / "pic_1.jpg").string();
    }
    void TearDown() override { SetMailConfig(saved_); }

    // Plain loopback SMTP on the given port with short time-outs.
    static MailConfig LoopbackConfig(int port, MailConfig::Tls tls = MailConfig::Tls::Opportunistic)
    {
        MailConfig config;
        config.port = port;
        config.tls = tls;
        config.connectTimeoutMs = 5000;
        config.totalTimeoutMs = 20000;
        return config;
    }

    TestDirectory directory_;
    std::string picture_;

private:
    MailConfig saved_;
};
