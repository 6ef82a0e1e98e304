#pragma once
// The mail settings as they are written down and read back, in one place for the Options dialog,
// the environment overrides, the sender and sentivo --arm: the port, the names of the securities
// (as stored in SMTP_SECURITY and as given in SENTIVO_SMTP_TLS), which login a mail uses, and the
// settings a mail goes out with. The server text has one rule, the sender's own (SmtpUrl), applied
// to the stored text by IsValidServerAddress (SettingsStore.h).

#include "mail/MailConfig.h"
#include "mail/MailSender.h"
#include "settings/SmtpCredentials.h"

#include <optional>
#include <string>
#include <string_view>

// A port as typed or stored: decimal digits only, 1..65535.
std::optional<long> PortFromText(std::string_view text);

// SMTP_SECURITY: "" (the default, STARTTLS when offered), "STARTTLS", "SSL" or "NONE"; nothing
// for any other text.
std::optional<MailSecurity> SecurityFromStoredText(std::string_view text);
const char* StoredSecurityText(MailSecurity security);
// SENTIVO_SMTP_TLS: "opportunistic", "required", "off" or "ssl"; nothing for any other name.
std::optional<MailConfig::Tls> TlsFromEnvironmentName(std::string_view name);
// Those names as a sentence says them: "opportunistic, required, off or ssl".
std::string EnvironmentTlsNames();

// The login a mail logs in with, the same for the alarm mails and the test e-mail: the working
// folder's auth.txt whenever there is one, else saved; without saved, the login the Options dialog
// saved (SavedCredentialsFile()). The problem, when set, says why no login can be used.
CredentialsRead ResolveLogin(const std::optional<SmtpLogin>& saved = std::nullopt);

// The mail settings as they are stored now, read afresh for each send: the three e-mail settings,
// SMTP_PORT, SMTP_SECURITY and MAIL_GROUP_SECONDS (the default when absent or not valid) and the
// resolved login.
// Nothing, with the reason, when an address or the server is missing or not valid, or when the
// login's file cannot be used.
std::optional<MailSettings> CurrentMailSettings(std::string& reason);
