// How the server text and the environment turn into the address and policy libcurl gets.
#include "mail/MailConfig.h"
#include "mail/SmtpUrl.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(SmtpUrl, AcceptsHostPortAndSchemeFormsAndRefusesTextThatNamesNoServer)
{
    const std::pair<const char*, const char*> accepted[] = {
        {"smtp.example.org", "smtp://smtp.example.org:25"},
        {"  smtp.example.org  ", "smtp://smtp.example.org:25"},
        {"smtp.example.org:587", "smtp://smtp.example.org:587"},
        {"SMTP://smtp.example.org:587/", "smtp://smtp.example.org:587"},
        {"smtps://smtp.example.org", "smtps://smtp.example.org:465"},
        {"smtps://smtp.example.org:2465", "smtps://smtp.example.org:2465"},
        {"[::1]:2525", "smtp://[::1]:2525"},
    };
    for (const auto& [text, url] : accepted)
        EXPECT_EQ(SmtpUrl(text, 25), url) << '"' << text << '"';
    EXPECT_EQ(SmtpUrl("smtp.example.org", 2525), "smtp://smtp.example.org:2525");  // the configured port

    for (const char* text : {"", "   ", "smtp://", "mail server", "user@host", "host/path", "host:0",
                             "host:65536", "host:25x", "::1", "host?x", "smtps://"})
        EXPECT_EQ(SmtpUrl(text, 25), std::nullopt) << '"' << text << '"';
}

TEST(MailConfig, EnvironmentOverridesOnlyWhatItSetsWell)
{
    setenv("SENTIVO_SMTP_PORT", "2525", 1);
    setenv("SENTIVO_SMTP_TLS", "required", 1);
    setenv("SENTIVO_SMTP_CAFILE", "/tmp/ca.pem", 1);
    setenv("SENTIVO_SMTP_TIMEOUT_MS", "1500", 1);
    MailConfig config = MailConfigFromEnvironment();
    EXPECT_EQ(config.port, 2525);
    EXPECT_EQ(config.tls, MailConfig::Tls::Required);
    EXPECT_EQ(config.caFile, "/tmp/ca.pem");
    EXPECT_EQ(config.totalTimeoutMs, 1500);
    EXPECT_LE(config.connectTimeoutMs, 1500);  // the connection may not outlast the whole send

    setenv("SENTIVO_SMTP_PORT", "70000", 1);
    setenv("SENTIVO_SMTP_TLS", "sometimes", 1);
    setenv("SENTIVO_SMTP_TIMEOUT_MS", "-5", 1);
    unsetenv("SENTIVO_SMTP_CAFILE");
    config = MailConfigFromEnvironment();
    const MailConfig defaults;
    EXPECT_EQ(config.port, defaults.port);
    EXPECT_EQ(config.tls, defaults.tls);
    EXPECT_EQ(config.caFile, "");
    EXPECT_EQ(config.totalTimeoutMs, defaults.totalTimeoutMs);
    for (const char* name : {"SENTIVO_SMTP_PORT", "SENTIVO_SMTP_TLS", "SENTIVO_SMTP_TIMEOUT_MS"})
        unsetenv(name);
}
