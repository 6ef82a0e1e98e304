#pragma once

#include "mail/MailConfig.h"

#include <optional>
#include <string>

// The mail defaults, overridden by SENTIVO_SMTP_PORT (1..65535), SENTIVO_SMTP_TLS
// (opportunistic|required|off|ssl: the names of settings/MailSettingsCodec.h), SENTIVO_SMTP_CAFILE (a path) and SENTIVO_SMTP_TIMEOUT_MS (a
// positive number) where they are set. Nothing, with a reason naming the variable and its value,
// when one of them holds something else: a typo must not quietly mail another way.
std::optional<MailConfig> MailConfigFromEnvironment(std::string& reason);
