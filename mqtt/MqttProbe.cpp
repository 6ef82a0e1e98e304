#include "mqtt/MqttProbe.h"

#include "mqtt/MosquittoClient.h"
#include "mqtt/MqttMessages.h"

#include <mosquitto.h>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kLoopMilliseconds = 100;   // how soon a cancel is seen

// What the callbacks learn; they run on the probing thread, inside mosquitto_loop.
struct ProbeState {
    explicit ProbeState(const std::string& room) : topics(room) {}
    MqttTopics topics;
    int mid = -1;
    bool acknowledged = false, closed = false;
    std::string failure;
};

std::string RefusalReason(int rc)
{
    if (rc == 4 || rc == 5)   // bad user name or password, not authorised
        return "not authorised: the broker refused the user name or password";
    return std::string("the broker refused the connection: ") + mosquitto_connack_string(rc);
}

void OnConnect(mosquitto* client, void* data, int rc)
{
    ProbeState& state = *static_cast<ProbeState*>(data);
    if (rc != 0) {
        state.failure = RefusalReason(rc);
        return;
    }
    const MqttMessage event = state.topics.EventNow("test", "A test message from Sentivo's Notifications dialog");
    const int publish = mosquitto_publish(client, &state.mid, event.topic.c_str(), static_cast<int>(event.payload.size()),
                                          event.payload.data(), 1, false);
    if (publish != MOSQ_ERR_SUCCESS)
        state.failure = "the test message could not be sent: " + MosquittoReason(publish);
}

void OnPublish(mosquitto*, void* data, int mid)
{
    ProbeState& state = *static_cast<ProbeState*>(data);
    state.acknowledged = state.acknowledged || mid == state.mid;
}

void OnDisconnect(mosquitto*, void* data, int)
{
    static_cast<ProbeState*>(data)->closed = true;
}

// Runs the client until the acknowledgement, a failure, the deadline or a cancel.
std::string Await(mosquitto* client, const ProbeState& state, const std::atomic<bool>& cancel)
{
    const auto deadline = std::chrono::steady_clock::now() + kMqttProbeTime;
    while (!state.acknowledged) {
        if (cancel.load())
            return "cancelled";
        if (std::chrono::steady_clock::now() >= deadline)
            return "no answer from the broker within " + std::to_string(kMqttProbeTime.count()) + " s";
        const int rc = mosquitto_loop(client, kLoopMilliseconds, 1);
        if (!state.failure.empty())
            return state.failure;
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
            return MosquittoReason(rc);
        if (state.closed || rc == MOSQ_ERR_NO_CONN)
            return "the broker closed the connection";
    }
    return {};
}

}  // namespace

std::string ProbeMqtt(const MqttSettings& settings, const std::atomic<bool>& cancel)
{
    if (settings.host.empty())
        return "no broker is named";
    ProbeState state(settings.room);
    // No client id of ours: the broker would otherwise drop the running channel's connection.
    const MosquittoHandle handle = NewMosquitto(nullptr, &state);
    if (!handle)
        return "the MQTT client could not be made";
    mosquitto* client = handle.get();
    mosquitto_connect_callback_set(client, OnConnect);
    mosquitto_publish_callback_set(client, OnPublish);
    mosquitto_disconnect_callback_set(client, OnDisconnect);
    if (const int rc = SetLoginAndTls(client, settings); rc != MOSQ_ERR_SUCCESS)
        return "the MQTT client could not be set up: " + MosquittoReason(rc);
    // Without blocking on the connection: the loop below bounds it and sees a cancel.
    if (const int rc = mosquitto_connect_async(client, settings.host.c_str(), settings.port, kKeepAliveSeconds);
        rc != MOSQ_ERR_SUCCESS)
        return MosquittoReason(rc);
    const std::string reason = Await(client, state, cancel);
    mosquitto_disconnect(client);
    return reason;
}
