#pragma once
// The alert channels' settings beside the mail's: the MQTT broker (MQTT_HOST, empty = off;
// MQTT_PORT; MQTT_SECURITY "TLS" or "NONE") and the room this copy watches (ROOM), all in the
// settings file; the broker's login (MQTT_USERNAME, MQTT_PASSWORD) in the saved auth.txt. A value
// absent or invalid takes its default: the port 1883, or 8883 with TLS; TLS when a login is set,
// else none; the room the machine's host name, reduced to [a-z0-9_-]. Remote arming and disarming
// over MQTT is off unless REMOTE_CONTROL is 1, and then needs the code (REMOTE_CODE in auth.txt).
// Push to a phone goes to an ntfy topic's address (PUSH_URL, empty = off), with the access token
// PUSH_TOKEN from auth.txt when it has one.

#include <optional>
#include <string>

constexpr const char* SETTING_MQTT_HOST = "MQTT_HOST";
constexpr const char* SETTING_MQTT_PORT = "MQTT_PORT";
constexpr const char* SETTING_MQTT_SECURITY = "MQTT_SECURITY";
constexpr const char* SETTING_ROOM = "ROOM";
constexpr const char* SETTING_REMOTE_CONTROL = "REMOTE_CONTROL";
constexpr const char* SETTING_PUSH_URL = "PUSH_URL";

struct MqttSettings {
    std::string host;            // empty: no MQTT
    int port = 1883;
    bool tls = false;
    std::string room;            // [a-z0-9_-]+, a topic level of its own
    bool login = false;          // log in with the two below
    std::string userName, password;
    std::string problem;         // why the settings cannot be used; the channel stays off then
    bool remoteControl = false;  // REMOTE_CONTROL is 1 and a code is set
    std::string remoteCode;
    std::string remoteProblem;   // why remote control is off although asked for
};

// The texts the MQTT settings are made of, as stored (or as typed in the Notifications dialog).
struct MqttTexts {
    std::string host, port, security, room;
    std::optional<std::string> userName, password;   // a login is given when either is
};

// room, when not empty, takes the place of the stored ROOM (a command line's).
MqttSettings ReadMqttSettings(const std::string& room = {});
// The settings texts make, each invalid or absent value its default; no remote control.
MqttSettings MqttSettingsFrom(const MqttTexts& texts);
// text reduced to lower-case letters, digits, '_' and '-' (others dropped); "room" when nothing is left.
std::string RoomName(const std::string& text);
// The room a ROOM text names: RoomName of the text, or of the machine's host name when it is empty.
std::string EffectiveRoom(const std::string& text);

struct PushSettings {
    std::string url;             // empty: no push
    std::string token;           // sent as a bearer token when not empty
    std::string problem;         // why the settings cannot be used; the channel stays off then
};

PushSettings ReadPushSettings();
// Why url cannot be a push address (not http(s)://host/topic, or a token would travel unencrypted);
// empty when it can.
std::string PushUrlProblem(const std::string& url, bool token);
