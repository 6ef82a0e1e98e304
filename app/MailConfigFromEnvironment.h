#pragma once

#include "mail/MailConfig.h"

// The mail defaults, overridden by SENTIVO_SMTP_PORT, SENTIVO_SMTP_TLS
// (opportunistic|required|off), SENTIVO_SMTP_CAFILE and SENTIVO_SMTP_TIMEOUT_MS where they are set.
MailConfig MailConfigFromEnvironment();
