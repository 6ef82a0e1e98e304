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

void SetTimeoutsAndTrust(CURL* curl, const MailConfig& config)
{
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM tricks on the worker thread
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, config.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, config.totalTimeoutMs);
    if (!config.caFile.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, config.caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, config.verifyPeer ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, config.verifyPeer ? 2L : 0L);
}
