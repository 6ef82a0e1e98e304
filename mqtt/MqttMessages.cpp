#include "mqtt/MqttMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

const char* AlarmStateName(AlarmState state)
{
    switch (state) {
    case AlarmState::Arming:
        return "arming";
    case AlarmState::ArmedAway:
        return "armed_away";
    case AlarmState::Triggered:
        return "triggered";
    case AlarmState::Disarmed:
        break;
    }
    return "disarmed";
}

std::vector<MqttMessage> MqttTopics::Discovery(const std::string& version) const
{
    const QString id = Q("sentivo_" + room_);
    const QJsonObject device{{"identifiers", QJsonArray{id}}, {"name", Q("Sentivo " + room_)},
                             {"manufacturer", "Corvane"}, {"model", "Sentivo"}, {"sw_version", Q(version)}};
    // Each entity: its component, its id after the room's, its name and its own keys.
    const auto entity = [&](const char* component, const char* suffix, const char* name, QJsonObject config) {
        config.insert("unique_id", id + "_" + suffix);
        config.insert("object_id", id + "_" + suffix);
        config.insert("name", name);
        config.insert("availability_topic", Q(Topic("availability")));
        config.insert("device", device);
        return MqttMessage{std::string("homeassistant/") + component + "/" + id.toStdString() + "_" + suffix + "/config",
                           Json(config), true};
    };
    return {
        entity("alarm_control_panel", "alarm", "Alarm",
               {{"state_topic", Q(Topic("state"))}, {"command_topic", Q(Topic("set"))}, {"code", "REMOTE_CODE"},
                {"command_template", R"({"action": "{{ action }}", "code": "{{ code }}"})"},
                {"supported_features", QJsonArray{"arm_away"}}, {"code_arm_required", true}}),
        entity("camera", "camera", "Last alarm picture", {{"topic", Q(Topic("picture"))}}),
        entity("binary_sensor", "motion", "Motion",
               {{"state_topic", Q(Topic("motion"))}, {"device_class", "motion"}, {"payload_on", "ON"}, {"payload_off", "OFF"}}),
        entity("binary_sensor", "camera_problem", "Camera problem",
               {{"state_topic", Q(Topic("camera_problem"))}, {"device_class", "problem"}, {"payload_on", "ON"},
                {"payload_off", "OFF"}}),
        entity("sensor", "pictures", "Pictures taken",
               {{"state_topic", Q(Topic("pictures"))}, {"state_class", "total_increasing"}, {"icon", "mdi:camera"}}),
    };
}

MqttMessage MqttTopics::Event(const OutboxEntry& entry) const
{
    QJsonObject event{{"kind", Q(entry.kind)}, {"room", Q(room_)}, {"time", Q(entry.takenAt)}};
    if (!entry.note.empty())
        event.insert("text", Q(entry.note));
    if (entry.kind == "picture") {
        event.insert("number", static_cast<qint64>(entry.pictureNumber));
        event.insert("file", Q(entry.pictureName));
    }
    return {Topic("event"), Json(event), false};
}

MqttMessage MqttTopics::EventNow(const std::string& kind, const std::string& text) const
{
    OutboxEntry event;
    event.kind = kind;
    event.note = text;
    event.takenAt = TakenAtNow();
    return Event(event);
}
