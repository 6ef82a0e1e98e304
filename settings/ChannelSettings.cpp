#include "settings/ChannelSettings.h"

#include "settings/MailSettingsCodec.h"   // PortFromText
#include "settings/SettingsStore.h"
#include "settings/SmtpCredentials.h"

#include <unistd.h>

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

std::string EffectiveRoom(const std::string& text)
{
    return RoomName(text.empty() ? HostName() : text);
}

MqttSettings MqttSettingsFrom(const MqttTexts& texts)
{
    MqttSettings settings;
    settings.host = texts.host;
    settings.room = EffectiveRoom(texts.room);
    settings.login = texts.userName || texts.password;
    settings.userName = texts.userName.value_or(std::string());
    settings.password = texts.password.value_or(std::string());
    settings.tls = texts.security == "TLS" || (texts.security != "NONE" && settings.login);
    settings.port = static_cast<int>(PortFromText(texts.port).value_or(settings.tls ? 8883 : 1883));
    return settings;
}

MqttSettings ReadMqttSettings(const std::string& roomGiven)
{
    MqttTexts texts;
    texts.host = Named(SETTING_MQTT_HOST);
    texts.room = roomGiven.empty() ? Named(SETTING_ROOM) : roomGiven;
    if (texts.host.empty())
        return MqttSettingsFrom(texts);
    std::string problem;
    texts.userName = ReadChannelSecret("MQTT_USERNAME", problem);
    texts.password = ReadChannelSecret("MQTT_PASSWORD", problem);
    texts.port = Named(SETTING_MQTT_PORT);
    texts.security = Named(SETTING_MQTT_SECURITY);
    MqttSettings settings = MqttSettingsFrom(texts);
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
