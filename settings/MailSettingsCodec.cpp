#include "settings/MailSettingsCodec.h"

#include "settings/SettingsStore.h"

#include <charconv>

namespace {

// Each security with its stored text and its environment name.
struct SecurityNames {
    MailSecurity security;
    const char* stored;
    MailConfig::Tls tls;
    const char* environment;
};
constexpr SecurityNames kSecurities[] = {
    {MailSecurity::Default, "", MailConfig::Tls::Opportunistic, "opportunistic"},
    {MailSecurity::StartTls, "STARTTLS", MailConfig::Tls::Required, "required"},
    {MailSecurity::None, "NONE", MailConfig::Tls::Off, "off"},
    {MailSecurity::Ssl, "SSL", MailConfig::Tls::Ssl, "ssl"},
};

}  // namespace

std::optional<long> PortFromText(std::string_view text)
{
    long port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    // from_chars takes a leading minus; a port is digits only.
    if (text.empty() || text.front() == '-' || error != std::errc() || end != text.data() + text.size() || port < 1
        || port > 65535)
        return std::nullopt;
    return port;
}

std::optional<MailSecurity> SecurityFromStoredText(std::string_view text)
{
    for (const SecurityNames& names : kSecurities)
        if (text == names.stored)
            return names.security;
    return std::nullopt;
}

const char* StoredSecurityText(MailSecurity security)
{
    for (const SecurityNames& names : kSecurities)
        if (security == names.security)
            return names.stored;
    return "";
}

std::optional<MailConfig::Tls> TlsFromEnvironmentName(std::string_view name)
{
    for (const SecurityNames& names : kSecurities)
        if (name == names.environment)
            return names.tls;
    return std::nullopt;
}

std::string EnvironmentTlsNames()
{
    std::string sentence;
    for (size_t i = 0; i < std::size(kSecurities); ++i)
        sentence += (i == 0 ? "" : i + 1 == std::size(kSecurities) ? " or " : ", ") + std::string(kSecurities[i].environment);
    return sentence;
}

CredentialsRead ResolveLogin(const std::optional<SmtpLogin>& saved)
{
    if (WorkingFolderCredentialsPresent())
        return ReadSmtpCredentials(CredentialsFile());
    if (!saved)
        return ReadSmtpCredentials(SavedCredentialsFile());
    CredentialsRead read;
    read.login = *saved;
    return read;
}

std::optional<MailSettings> CurrentMailSettings(std::string& reason)
{
    MailSettings settings;
    const struct { int id; std::string* text; const char* name; } values[] = {
        {SETTING_FROM_ADDRESS, &settings.fromAddress, "the From address"},
        {SETTING_TO_ADDRESS, &settings.toAddress, "the To address"},
        {SETTING_SMTP_SERVER, &settings.server.server, "the SMTP server"},
    };
    for (const auto& value : values)
        if (!ReadSetting(value.id, *value.text)) {
            reason = std::string(value.name) + " is missing or not valid";
            return std::nullopt;
        }
    settings.server.port = PortFromText(ReadNamedSetting(SETTING_SMTP_PORT).value_or("")).value_or(0);
    settings.server.security =
        SecurityFromStoredText(ReadNamedSetting(SETTING_SMTP_SECURITY).value_or("")).value_or(MailSecurity::Default);
    settings.group = std::chrono::seconds(
        WholeNumber(ReadNamedSetting(SETTING_MAIL_GROUP_SECONDS).value_or(""), 0, 86400).value_or(0));
    CredentialsRead login = ResolveLogin();
    if (!login.problem.empty()) {
        reason = "login not usable: " + login.problem;
        return std::nullopt;
    }
    settings.server.login = login.login.given;
    settings.server.userName = std::move(login.login.userName);
    settings.server.password = std::move(login.login.password);
    return settings;
}
