#include "app/MailConfigFromEnvironment.h"

#include "settings/MailSettingsCodec.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace {

std::optional<long> Number(std::string_view digits, long lowest, long highest)
{
    long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<MailConfig> MailConfigFromEnvironment(std::string& reason)
{
    MailConfig config;
    const auto refuse = [&reason](const char* name, const char* value, const std::string& wanted) {
        reason = std::string(name) + "=" + value + " is not " + wanted;
        return std::nullopt;
    };
    if (const char* text = std::getenv("SENTIVO_SMTP_PORT")) {
        if (!(config.port = PortFromText(text)))
            return refuse("SENTIVO_SMTP_PORT", text, "a port from 1 to 65535");
    }
    if (const char* text = std::getenv("SENTIVO_SMTP_TLS")) {
        if (!(config.tls = TlsFromEnvironmentName(text)))
            return refuse("SENTIVO_SMTP_TLS", text, EnvironmentTlsNames());
    }
    if (const char* text = std::getenv("SENTIVO_SMTP_CAFILE")) {
        if (!*text)
            return refuse("SENTIVO_SMTP_CAFILE", text, "the path of a certificate file");
        config.caFile = text;
    }
    if (const char* text = std::getenv("SENTIVO_SMTP_TIMEOUT_MS")) {
        const std::optional<long> timeout = Number(text, 1, 24L * 3600 * 1000);
        if (!timeout)
            return refuse("SENTIVO_SMTP_TIMEOUT_MS", text, "a positive number of milliseconds");
        // One number bounds the whole send; the connection cannot be allowed longer than that.
        config.totalTimeoutMs = *timeout;
        config.connectTimeoutMs = std::min(config.connectTimeoutMs, *timeout);
    }
    return config;
}
