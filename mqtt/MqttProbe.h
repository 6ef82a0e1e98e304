#pragma once
// A test of MQTT settings before they are saved: a connection of its own to the broker, with the
// TLS and login the channel uses, publishes one test event on sentivo/<room>/event at QoS 1, waits
// for the broker's acknowledgement and disconnects. It runs on the calling thread, which it blocks.

#include "settings/ChannelSettings.h"

#include <atomic>
#include <chrono>
#include <string>

inline constexpr std::chrono::seconds kMqttProbeTime{10};

// Empty when the broker acknowledged the test event, else why not in a few words ("Connection
// refused", "not authorised: ...", "no answer from the broker within 10 s"). Ends within about a
// tenth of a second of cancel being set from another thread (looking up the host's name aside).
std::string ProbeMqtt(const MqttSettings& settings, const std::atomic<bool>& cancel);
