#include "mqtt/MqttChannel.h"

#include "log/EventLog.h"
#include "mqtt/MosquittoClient.h"

#include <mosquitto.h>

#include <algorithm>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr unsigned kFirstRetrySeconds = 1, kLongestRetrySeconds = 60;
constexpr auto kRescan = std::chrono::seconds(1);          // entries stored by another thread or program
constexpr auto kAckWait = std::chrono::seconds(30);        // then an unacknowledged entry is sent again
constexpr auto kOfflineWait = std::chrono::milliseconds(800);

}  // namespace

MqttChannel::MqttChannel(MqttSettings settings, Outbox& outbox, EventLog& log, std::string version,
                         MailDeliveryReport report)
    : settings_(std::move(settings)), topics_(settings_.room), outbox_(outbox), log_(log), version_(std::move(version)),
      report_(std::move(report)), client_(nullptr, mosquitto_destroy), gate_(settings_.remoteCode)
{
}

MqttChannel::~MqttChannel()
{
    Stop();
}

bool MqttChannel::Start(std::string& reason)
{
    client_ = NewMosquitto(("sentivo-" + topics_.room()).c_str(), this);
    if (!client_) {
        reason = "the MQTT client could not be made";
        return false;
    }
    mosquitto* client = client_.get();
    const std::string offline = "offline", availability = topics_.Topic("availability");
    int rc = mosquitto_will_set(client, availability.c_str(), static_cast<int>(offline.size()), offline.data(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = SetLoginAndTls(client, settings_);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_reconnect_delay_set(client, kFirstRetrySeconds, kLongestRetrySeconds, true);
    mosquitto_connect_callback_set(client, &MqttChannel::OnConnect);
    mosquitto_disconnect_callback_set(client, &MqttChannel::OnDisconnect);
    mosquitto_publish_callback_set(client, &MqttChannel::OnPublish);
    mosquitto_message_callback_set(client, &MqttChannel::OnMessage);
    if (rc == MOSQ_ERR_SUCCESS) {
        // A broker not there yet is no failure: the library's thread keeps trying.
        if (const int connect = mosquitto_connect_async(client, settings_.host.c_str(), settings_.port, kKeepAliveSeconds);
            connect != MOSQ_ERR_SUCCESS) {
            std::lock_guard lock(mutex_);
            status_.problem = MosquittoReason(connect);
        }
        rc = mosquitto_loop_start(client);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = "the MQTT client could not start: " + MosquittoReason(rc);
        client_.reset();
        return false;
    }
    started_ = true;
    publisher_ = std::thread([this] { Run(); });
    log_.Write("MQTT: publishing to " + settings_.host + ":" + std::to_string(settings_.port) + " as room \""
               + topics_.room() + "\"" + (settings_.tls ? " over TLS" : ""));
    return true;
}

void MqttChannel::Stop()
{
    {
        std::lock_guard lock(mutex_);
        if (!started_)
            return;
        started_ = false;
        stop_ = true;
    }
    changed_.notify_all();
    publisher_.join();
    mosquitto* client = client_.get();
    bool connected = false;
    {
        std::lock_guard lock(mutex_);
        connected = connected_;
    }
    // A clean stop says so at once; the will says it for a killed program.
    if (connected) {
        const int mid = Publish(topics_.Topic("availability"), "offline", true);
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kOfflineWait, [&] { return acked_.contains(mid) || !connected_; });
    }
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
}

void MqttChannel::Wake()
{
    changed_.notify_all();
}

template <typename Change>
void MqttChannel::Set(Change change)
{
    {
        std::lock_guard lock(mutex_);
        change(wanted_);
    }
    changed_.notify_all();
}

void MqttChannel::SetState(AlarmState state) { Set([&](Values& v) { v.state = state; }); }
void MqttChannel::SetMotion(bool motion) { Set([&](Values& v) { v.motion = motion; }); }
void MqttChannel::SetCameraProblem(bool problem) { Set([&](Values& v) { v.cameraProblem = problem; }); }
void MqttChannel::SetPicturesTaken(std::int64_t pictures) { Set([&](Values& v) { v.pictures = pictures; }); }

MqttStatus MqttChannel::Status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

void MqttChannel::OnConnect(mosquitto*, void* self, int rc)
{
    auto& channel = *static_cast<MqttChannel*>(self);
    {
        std::lock_guard lock(channel.mutex_);
        channel.connected_ = channel.status_.connected = rc == 0;
        channel.announce_ = rc == 0;
        channel.status_.problem = rc == 0 ? "" : mosquitto_connack_string(rc);
        if (rc == 0 && channel.flight_)
            channel.flight_->since = Clock::now();
    }
    channel.changed_.notify_all();
    if (rc == 0 && channel.settings_.remoteControl && channel.command_)
        mosquitto_subscribe(channel.client_.get(), nullptr, channel.topics_.Topic("set").c_str(), 1);
    channel.log_.Write(rc == 0 ? "MQTT: connected to " + channel.settings_.host
                               : std::string("MQTT: the broker refused the connection: ") + mosquitto_connack_string(rc));
}

void MqttChannel::OnDisconnect(mosquitto*, void* self, int rc)
{
    auto& channel = *static_cast<MqttChannel*>(self);
    bool was = false;
    {
        std::lock_guard lock(channel.mutex_);
        was = channel.connected_;
        channel.connected_ = channel.status_.connected = false;
        if (rc != 0)
            channel.status_.problem = "connection lost";
    }
    channel.changed_.notify_all();
    if (was && rc != 0)
        channel.log_.Write("MQTT: connection to " + channel.settings_.host + " lost; trying again");
}

void MqttChannel::OnPublish(mosquitto*, void* self, int mid)
{
    auto& channel = *static_cast<MqttChannel*>(self);
    {
        std::lock_guard lock(channel.mutex_);
        channel.acked_.insert(mid);
    }
    channel.changed_.notify_all();
}

void MqttChannel::OnMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto& channel = *static_cast<MqttChannel*>(self);
    if (message->payloadlen >= 0 && message->payloadlen <= 4096)
        channel.Command({static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen)});
    else
        channel.log_.Write("MQTT: a remote command of " + std::to_string(message->payloadlen) + " bytes ignored");
}

// A command on the set topic: carried out, refused (told on the event topic, logged without the
// code) or ignored (logged).
void MqttChannel::Command(std::string_view payload)
{
    switch (gate_.Judge(payload, RemoteGate::Clock::now())) {
    case RemoteVerdict::Arm:
        log_.Write("MQTT: armed remotely");
        command_(true);
        break;
    case RemoteVerdict::Disarm:
        log_.Write("MQTT: disarmed remotely");
        command_(false);
        break;
    case RemoteVerdict::WrongCode:
        log_.Write("MQTT: a remote command with a wrong code refused");
        Answer("command refused", "wrong code");
        break;
    case RemoteVerdict::LockedOut:
        log_.Write("MQTT: a remote command with a wrong code refused; 5 wrong codes in 10 minutes: remote commands "
                   "are ignored for 10 minutes");
        Answer("command refused", "wrong code; remote commands are ignored for 10 minutes");
        break;
    case RemoteVerdict::Ignored:
        break;
    case RemoteVerdict::Malformed:
        log_.Write("MQTT: a message on " + topics_.Topic("set") + " ignored: not {\"action\": \"ARM_AWAY\" or \"DISARM\", "
                   "\"code\": \"...\"}");
        break;
    }
}

void MqttChannel::Answer(const std::string& kind, const std::string& text)
{
    const MqttMessage event = topics_.EventNow(kind, text);
    Publish(event.topic, event.payload, false);
}

// The publisher: announces after each connect, keeps the retained values current and sends the
// outbox's entries one at a time, each once the last one was acknowledged.
void MqttChannel::Run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (flight_) {
            std::erase_if(flight_->mids, [&](int mid) { return acked_.erase(mid) > 0; });
            if (flight_->mids.empty()) {
                const Flight landed = *std::exchange(flight_, std::nullopt);
                acked_.clear();
                lock.unlock();
                Landed(landed);
                lock.lock();
                continue;
            }
            if (connected_ && Clock::now() - flight_->since > kAckWait)
                flight_.reset();   // the broker lost it: sent again
        }
        if (connected_ && (announce_ || wanted_ != sent_)) {
            const bool announce = std::exchange(announce_, false);
            const Values values = sent_ = wanted_;
            lock.unlock();
            if (announce)
                Announce();
            SendValues(values);
            lock.lock();
            continue;
        }
        if (connected_ && !flight_) {
            lock.unlock();
            std::optional<Flight> next = PublishNext();
            lock.lock();
            if (next) {
                flight_ = std::move(next);
                continue;
            }
        }
        if (!flight_ && acked_.size() > 1000)   // the retained values' acknowledgements
            acked_.clear();
        changed_.wait_for(lock, kRescan);
    }
}

void MqttChannel::Announce()
{
    Publish(topics_.Topic("availability"), "online", true);
    for (const MqttMessage& message : topics_.Discovery(version_))
        Publish(message.topic, message.payload, message.retain);
}

void MqttChannel::SendValues(const Values& values)
{
    Publish(topics_.Topic("state"), AlarmStateName(values.state), true);
    Publish(topics_.Topic("motion"), values.motion ? "ON" : "OFF", true);
    Publish(topics_.Topic("camera_problem"), values.cameraProblem ? "ON" : "OFF", true);
    Publish(topics_.Topic("pictures"), std::to_string(values.pictures), true);
}

// QoS 1; the message id, or -1 when the library did not take it (the connection is gone).
int MqttChannel::Publish(const std::string& topic, const std::string& payload, bool retain)
{
    int mid = -1;
    const int rc = mosquitto_publish(client_.get(), &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

// The oldest entry that owes "mqtt", published: the picture first (so the event's reader finds it
// there), then the event. Nothing when none waits, or the library would not take it now.
std::optional<MqttChannel::Flight> MqttChannel::PublishNext()
{
    const std::vector<std::string> ids = outbox_.Ids();
    std::erase_if(othersOnly_, [&](const std::string& id) { return !std::binary_search(ids.begin(), ids.end(), id); });
    for (const std::string& id : ids) {
        if (othersOnly_.contains(id))
            continue;
        std::string problem;
        const std::optional<OutboxEntry> entry = outbox_.Read(id, problem);
        if (entry && !Owes(*entry, kMqttChannel))
            othersOnly_.insert(id);   // never will: a channel is only ever taken off an entry
        if (!entry || !Owes(*entry, kMqttChannel))
            continue;   // what is not a whole entry is the mail sender's to set aside
        Flight flight{id, entry->event, {}, Clock::now()};
        if (entry->kind == "picture" && !entry->pictureBytes.empty())
            flight.mids.insert(Publish(topics_.Topic("picture"), entry->pictureBytes, true));
        const MqttMessage event = topics_.Event(*entry);
        flight.mids.insert(Publish(event.topic, event.payload, event.retain));
        if (flight.mids.contains(-1))
            return std::nullopt;   // tried again once connected
        return flight;
    }
    return std::nullopt;
}

void MqttChannel::Landed(const Flight& flight)
{
    std::string reason;
    if (!outbox_.Settle(flight.id, kMqttChannel, reason))
        log_.Write("MQTT: outbox entry " + flight.id + " could not be marked as published: " + reason);
    {
        std::lock_guard lock(mutex_);
        ++status_.published;
    }
    if (report_ && flight.event)
        report_(flight.event, "sent", {});
}
