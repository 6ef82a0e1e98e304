#pragma once
// The MQTT channel: this room's alarm on a broker, as Home Assistant and any other client see it.
// On every connect it says "online" on sentivo/<room>/availability ("offline" is its last will, so
// a killed program shows offline through the broker), sends the discovery configs and the current
// alarm state, motion, camera-problem and pictures-taken values (all retained). The outbox entries
// that owe "mqtt" are published one at a time, oldest first, each picture as the retained
// sentivo/<room>/picture (the saved file's bytes) and every entry as a JSON event (QoS 1); an entry
// is the channel's no more once the broker acknowledged all of it. The broker down: libmosquitto's
// thread reconnects with a back-off from 1 s to 60 s, and what was queued meanwhile follows in order.
//
// Threads: libmosquitto's own (the network and its callbacks) and the channel's publisher, which
// alone reads and settles the outbox's entries. The setters and Status may be called on any thread
// and never wait for the network.

#include "mail/MailSender.h"   // MailDeliveryReport
#include "mail/Outbox.h"
#include "mqtt/MosquittoClient.h"
#include "mqtt/MqttMessages.h"
#include "mqtt/RemoteGate.h"
#include "settings/ChannelSettings.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;
class EventLog;

inline constexpr const char* kMqttChannel = "mqtt";

struct MqttStatus {
    bool connected = false;
    int published = 0;        // entries the broker acknowledged since the start
    std::string problem;      // why it is not connected, when it tried and failed
};

class MqttChannel {
public:
    // report, when given, hears of each entry's delivery ("sent") on the publisher's thread.
    MqttChannel(MqttSettings settings, Outbox& outbox, EventLog& log, std::string version,
                MailDeliveryReport report = {});
    ~MqttChannel();   // Stop()
    MqttChannel(const MqttChannel&) = delete;
    MqttChannel& operator=(const MqttChannel&) = delete;

    // With remote control on, the commands on sentivo/<room>/set with the right code go to command
    // (true: arm, false: disarm) on the client's thread; it must return at once. Before Start.
    void SetRemoteCommand(std::function<void(bool arm)> command) { command_ = std::move(command); }
    // Connects (in the background) and starts publishing; false with the reason when the client
    // could not be set up (the channel then stays off).
    bool Start(std::string& reason);
    // Says "offline", disconnects and ends both threads, within about a second whatever the broker
    // does. What was not acknowledged stays in the outbox.
    void Stop();
    // An entry owing "mqtt" was stored.
    void Wake();
    void SetState(AlarmState state);
    void SetMotion(bool motion);
    void SetCameraProblem(bool problem);
    void SetPicturesTaken(std::int64_t pictures);
    MqttStatus Status() const;
    const MqttTopics& topics() const { return topics_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Flight {
        std::string id;
        std::int64_t event = 0;
        std::set<int> mids;      // not acknowledged yet
        Clock::time_point since;
    };
    struct Values {              // the retained values, as wanted or as last sent
        AlarmState state = AlarmState::Disarmed;
        bool motion = false, cameraProblem = false;
        std::int64_t pictures = 0;
        bool operator==(const Values&) const = default;
    };

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    void Command(std::string_view payload);
    void Answer(const std::string& kind, const std::string& text);
    void Run();
    void Announce();
    void SendValues(const Values& values);
    int Publish(const std::string& topic, const std::string& payload, bool retain);
    std::optional<Flight> PublishNext();
    void Landed(const Flight& flight);
    template <typename Change> void Set(Change change);

    const MqttSettings settings_;
    const MqttTopics topics_;
    Outbox& outbox_;
    EventLog& log_;
    const std::string version_;
    const MailDeliveryReport report_;
    MosquittoHandle client_;
    std::function<void(bool arm)> command_;
    RemoteGate gate_;   // the client's thread only

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false, connected_ = false, announce_ = false, started_ = false;
    Values wanted_, sent_;
    std::optional<Flight> flight_;
    std::set<int> acked_;
    std::set<std::string> othersOnly_;   // entries MQTT does not owe; the publisher's thread only
    MqttStatus status_;
    std::thread publisher_;
};
