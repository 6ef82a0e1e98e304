#include "mail/MailConfig.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

namespace {

std::optional<long> PositiveNumber(const char* text)
{
    if (!text || !*text)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0)
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

// The one configuration of the process. It starts from the environment so that a run of the
// program (or a test of another module) can point the mail at a loopback server without code.
struct SharedConfig {
    std::mutex mutex;
    MailConfig config = MailConfigFromEnvironment();
};

SharedConfig& Shared()
{
    static SharedConfig shared;
    return shared;
}

}  // namespace

void SetMailConfig(const MailConfig& config)
{
    SharedConfig& shared = Shared();
    std::lock_guard lock(shared.mutex);
    shared.config = config;
}

MailConfig GetMailConfig()
{
    SharedConfig& shared = Shared();
    std::lock_guard lock(shared.mutex);
    return shared.config;
}

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
