#pragma once
// The mail settings as they are stored now, read afresh for each send: the three e-mail settings,
// SMTP_PORT and SMTP_SECURITY (the default when absent or not valid) and the login of auth.txt.

#include "mail/MailSender.h"

#include <optional>
#include <string>

// Nothing, with the reason, when an address or the server is missing or not valid.
std::optional<MailSettings> CurrentMailSettings(std::string& reason);
