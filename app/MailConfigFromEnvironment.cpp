#include "app/MailConfigFromEnvironment.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

std::optional<long> PositiveNumber(const char* text)
{
    if (!text)
        return std::nullopt;
    const std::string_view digits(text);
    long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value <= 0)
        return std::nullopt;
    return value;
}

std::optional<MailConfig::Tls> TlsPolicy(const char* text)
{
    if (!text)
        return std::nullopt;
    const std::string_view name(text);
    if (name == "opportunistic")
        return MailConfig::Tls::Opportunistic;
    if (name == "required")
        return MailConfig::Tls::Required;
    if (name == "off")
        return MailConfig::Tls::Off;
    return std::nullopt;
}

}  // namespace

MailConfig MailConfigFromEnvironment()
{
    MailConfig config;
    if (const auto port = PositiveNumber(std::getenv("SENTIVO_SMTP_PORT")); port && *port <= 65535)
        config.port = *port;
    if (const auto tls = TlsPolicy(std::getenv("SENTIVO_SMTP_TLS")))
        config.tls = *tls;
    if (const char* caFile = std::getenv("SENTIVO_SMTP_CAFILE"))
        config.caFile = caFile;
    if (const auto timeout = PositiveNumber(std::getenv("SENTIVO_SMTP_TIMEOUT_MS"))) {
        // One number bounds the whole send; the connection cannot be allowed longer than that.
        config.totalTimeoutMs = *timeout;
        if (config.connectTimeoutMs > *timeout)
            config.connectTimeoutMs = *timeout;
    }
    return config;
}
