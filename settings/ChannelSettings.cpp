#include "settings/ChannelSettings.h"

#include "settings/SettingsStore.h"
#include "settings/SmtpCredentials.h"

#include <unistd.h>

#include <charconv>
#include <climits>

namespace {

std::string Named(const char* name)
{
    return ReadNamedSetting(name).value_or(std::string());
}

std::string HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

}  // namespace

std::string RoomName(const std::string& text)
{
    std::string room;
    for (const char c : text) {
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '_' || lower == '-')
            room += lower;
    }
    return room.empty() ? "room" : room.substr(0, 64);
}

MqttSettings ReadMqttSettings(const std::string& roomGiven)
{
    MqttSettings settings;
    settings.host = Named(SETTING_MQTT_HOST);
    const std::string room = roomGiven.empty() ? Named(SETTING_ROOM) : roomGiven;
    settings.room = RoomName(room.empty() ? HostName() : room);
    if (settings.host.empty())
        return settings;
    std::string problem;
    const std::optional<std::string> user = ReadChannelSecret("MQTT_USERNAME", problem);
    const std::optional<std::string> password = ReadChannelSecret("MQTT_PASSWORD", problem);
    settings.login = user || password;
    settings.userName = user.value_or(std::string());
    settings.password = password.value_or(std::string());
    const std::string security = Named(SETTING_MQTT_SECURITY);
    settings.tls = security == "TLS" || (security != "NONE" && settings.login);
    const std::string portText = Named(SETTING_MQTT_PORT);
    int port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    settings.port = error == std::errc() && end == portText.data() + portText.size() && port > 0 && port < 65536
                        ? port : settings.tls ? 8883 : 1883;
    if (!problem.empty())
        settings.problem = "the broker's login cannot be read: " + problem;
    if (Named(SETTING_REMOTE_CONTROL) == "1") {
        settings.remoteCode = ReadChannelSecret("REMOTE_CODE", problem).value_or(std::string());
        settings.remoteControl = !settings.remoteCode.empty();
        if (!settings.remoteControl)
            settings.remoteProblem = "remote control is off: no REMOTE_CODE is set";
    }
    return settings;
}

std::string PushUrlProblem(const std::string& url, bool token)
{
    const bool https = url.starts_with("https://"), http = url.starts_with("http://");
    if (!https && !http)
        return "the push address \"" + url + "\" does not begin with https://";
    const std::string rest = url.substr(https ? 8 : 7);
    const size_t slash = rest.find('/');
    if (slash == 0 || slash == std::string::npos || slash + 1 == rest.size())
        return "the push address \"" + url + "\" names no topic (https://server/topic)";
    for (const char c : url)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            return "the push address holds a blank or a control character";
    if (token && !https)
        return "the push token is sent over HTTPS only";
    return {};
}

PushSettings ReadPushSettings()
{
    PushSettings settings;
    settings.url = Named(SETTING_PUSH_URL);
    if (settings.url.empty())
        return settings;
    std::string problem;
    settings.token = ReadChannelSecret("PUSH_TOKEN", problem).value_or(std::string());
    settings.problem = problem.empty() ? PushUrlProblem(settings.url, !settings.token.empty())
                                       : "the push token cannot be read: " + problem;
    return settings;
}
