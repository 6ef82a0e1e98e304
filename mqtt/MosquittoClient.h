#pragma once
// What every connection of ours to a broker shares: libmosquitto started once, a client handle
// that destroys itself, the broker's login and TLS set up alike, and a return code in words.

#include "settings/ChannelSettings.h"

#include <memory>
#include <string>

struct mosquitto;

using MosquittoHandle = std::unique_ptr<mosquitto, void (*)(mosquitto*)>;

// A new client (the library started first, once per process); null when none could be made.
// id null: the library makes up one, so the client never takes the place of another one.
MosquittoHandle NewMosquitto(const char* id, void* userData);
// The login of settings, when it has one, and with TLS the broker's certificate and name checked
// against the system's certificates. A libmosquitto return code.
int SetLoginAndTls(mosquitto* client, const MqttSettings& settings);
// A libmosquitto return code in words ("Connection refused" for a system error).
std::string MosquittoReason(int rc);
