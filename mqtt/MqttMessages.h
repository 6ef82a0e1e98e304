#pragma once
// What the MQTT channel publishes, as topics and payloads: everything under "sentivo/<room>/", and
// Home Assistant's discovery of one device per room under "homeassistant/", with unique ids made
// of the room, so that several copies (one per room) share one broker without clashing.

#include "mail/Outbox.h"

#include <string>
#include <utility>
#include <vector>

// Home Assistant's alarm states.
enum class AlarmState { Disarmed, Arming, ArmedAway, Triggered };
// "disarmed", "arming", "armed_away", "triggered".
const char* AlarmStateName(AlarmState state);

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retain = false;
};

class MqttTopics {
public:
    explicit MqttTopics(std::string room) : room_(std::move(room)) {}
    // "sentivo/<room>/<leaf>": availability, state, event, picture, set, motion, camera_problem, pictures.
    std::string Topic(const char* leaf) const { return "sentivo/" + room_ + "/" + leaf; }
    const std::string& room() const { return room_; }

    // The retained discovery configs: the alarm panel, the camera, the "motion" and "camera problem"
    // binary sensors and the "pictures taken" sensor.
    std::vector<MqttMessage> Discovery(const std::string& version) const;
    // The event of an outbox entry, a JSON object: {"kind", "room", "time", "text"} and for a
    // picture {"number", "file"}.
    MqttMessage Event(const OutboxEntry& entry) const;
    // An event of its own (an answer to a command, a test), timed now.
    MqttMessage EventNow(const std::string& kind, const std::string& text) const;

private:
    std::string room_;
};
