#include "app/CurrentMailSettings.h"

#include "settings/SettingsStore.h"
#include "settings/SmtpCredentials.h"

#include <charconv>

namespace {

// SMTP_PORT: 1..65535; anything else is 0, the default.
long StoredPort()
{
    const std::string text = ReadNamedSetting(SETTING_SMTP_PORT).value_or("");
    long port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    return error == std::errc() && end == text.data() + text.size() && port >= 1 && port <= 65535 ? port : 0;
}

MailSecurity StoredSecurity()
{
    const std::string text = ReadNamedSetting(SETTING_SMTP_SECURITY).value_or("");
    return text == "STARTTLS" ? MailSecurity::StartTls
         : text == "SSL"      ? MailSecurity::Ssl
         : text == "NONE"     ? MailSecurity::None
                              : MailSecurity::Default;
}

}  // namespace

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
    settings.server.port = StoredPort();
    settings.server.security = StoredSecurity();
    settings.server.login = ReadSmtpCredentials(settings.server.userName, settings.server.password);
    return settings;
}
