#include "mqtt/MosquittoClient.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

constexpr const char* kCaPath = "/etc/ssl/certs";

}  // namespace

MosquittoHandle NewMosquitto(const char* id, void* userData)
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    return MosquittoHandle(mosquitto_new(id, true, userData), mosquitto_destroy);
}

int SetLoginAndTls(mosquitto* client, const MqttSettings& settings)
{
    int rc = MOSQ_ERR_SUCCESS;
    if (settings.login)
        rc = mosquitto_username_pw_set(client, settings.userName.c_str(), settings.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && settings.tls)
        rc = mosquitto_tls_set(client, nullptr, kCaPath, nullptr, nullptr, nullptr);
    return rc;
}

std::string MosquittoReason(int rc)
{
    return rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc);
}
