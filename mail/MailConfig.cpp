#include "mail/MailConfig.h"

#include <mutex>

namespace {

// The one configuration of the process.
struct SharedConfig {
    std::mutex mutex;
    MailConfig config;
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
