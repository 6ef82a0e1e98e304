#include "app/RunOutlets.h"

#include "app/CommandLine.h"   // SentivoVersion
#include "app/RunJournal.h"
#include "log/EventLog.h"
#include "mail/MailSender.h"
#include "mail/PushChannel.h"
#include "mqtt/MqttChannel.h"
#include "settings/ChannelSettings.h"
#include "settings/SettingsStore.h"

#include <memory>
#include <string>
#include <vector>

namespace {

// An entry of kind, taken now, with the addresses stored now (the sender mails with the settings
// current when it sends), for the mail when it takes it, for MQTT when that is on, for push when
// it takes the kind.
OutboxEntry Entry(const RunOutlets& outlets, const std::string& kind, bool mail, const std::string& pictureName,
                  const std::string& pictureBytes)
{
    OutboxEntry entry;
    entry.kind = kind;
    entry.pictureName = pictureName;
    entry.takenAt = TakenAtNow();
    ReadSetting(SETTING_FROM_ADDRESS, entry.fromAddress);
    ReadSetting(SETTING_TO_ADDRESS, entry.toAddress);
    ReadSetting(SETTING_SMTP_SERVER, entry.smtpServer);
    entry.pictureBytes = pictureBytes;
    entry.channels.clear();
    if (mail && outlets.mail)
        entry.channels.emplace_back(kMailChannel);
    if (outlets.mqtt && outlets.outbox)
        entry.channels.emplace_back(kMqttChannel);
    if (outlets.push && outlets.outbox && PushTakes(kind))
        entry.channels.emplace_back(kPushChannel);
    return entry;
}

// Stores entry once for every channel it names (nothing when it names none); each channel's
// history state starts "queued". what names it in the log when it could not be stored.
void Dispatch(const RunOutlets& outlets, OutboxEntry entry, const std::string& what)
{
    if (entry.channels.empty())
        return;
    const std::vector<std::string> channels = entry.channels;
    const std::int64_t event = entry.event;
    for (const std::string& channel : channels)
        JournalQueued(outlets.journal, event, channel.c_str(), true, {});
    std::string reason;
    const bool stored = Owes(entry, kMailChannel) ? outlets.mail->Queue(std::move(entry), reason)
                                                  : outlets.outbox->Add(entry, reason);
    if (!stored) {
        for (const std::string& channel : channels)
            JournalQueued(outlets.journal, event, channel.c_str(), false, reason);
        if (outlets.log)
            outlets.log->Write(what + " could not be queued: " + reason);
        return;
    }
    if (outlets.mqtt)
        outlets.mqtt->Wake();
    if (outlets.push)
        outlets.push->Wake();
}

// The room's state on MQTT as the records tell it.
void TellMqtt(MqttChannel& mqtt, const RunRecord& record, std::int64_t& pictures)
{
    const std::string& kind = record.kind;
    if (kind == "arming")
        mqtt.SetState(AlarmState::Arming);
    else if (kind == "armed")
        mqtt.SetState(AlarmState::ArmedAway);
    else if (kind == "alarm" && record.id == 0) {
        mqtt.SetState(AlarmState::Triggered);
        mqtt.SetPicturesTaken(++pictures);
    } else if (kind == "motion" || kind == "still") {
        mqtt.SetMotion(kind == "motion");
    } else if (kind == "camera lost" || kind == "camera covered" || kind == "camera moved" || kind == "view went dark")
        mqtt.SetCameraProblem(true);
    else if (kind == "camera back" || kind == "view restored")
        mqtt.SetCameraProblem(false);
    if (kind == "still")
        mqtt.SetState(AlarmState::ArmedAway);
    if (kind == "run ended" || kind == "arming failed") {
        mqtt.SetState(AlarmState::Disarmed);
        mqtt.SetMotion(false);
        mqtt.SetCameraProblem(false);
    }
}

// A run's end and a failed arming are events of their own for the channels beside the mail.
void TellChannels(const RunOutlets& outlets, const RunRecord& record, std::int64_t& pictures)
{
    if (outlets.mqtt)
        TellMqtt(*outlets.mqtt, record, pictures);
    if (record.kind != "run ended" && record.kind != "arming failed")
        return;
    OutboxEntry entry = Entry(outlets, record.kind, false, "", "");
    entry.note = record.note;
    Dispatch(outlets, std::move(entry), "the event \"" + record.kind + "\"");
}

}  // namespace

void DispatchPicture(const RunOutlets& outlets, const AlarmPicture& picture)
{
    OutboxEntry entry = Entry(outlets, "picture", picture.mail, picture.fileName, picture.jpegBytes);
    entry.pictureNumber = picture.number;
    entry.episode = picture.episode == picture.number ? 0 : picture.episode;
    entry.event = picture.event;
    if (!picture.saveError.empty())
        entry.note = "could not be saved: " + picture.saveError;
    Dispatch(outlets, std::move(entry), "the alert for picture " + std::to_string(picture.number));
    if (picture.storyBytes.empty() || !picture.mail || !outlets.mail)
        return;
    OutboxEntry story = Entry(outlets, "story", true, "", picture.storyBytes);
    story.channels = {kMailChannel};   // the sheet travels by mail only
    story.pictureNumber = picture.number;
    Dispatch(outlets, std::move(story), "the story of picture " + std::to_string(picture.number));
}

void DispatchAlert(const RunOutlets& outlets, const RunAlert& alert)
{
    OutboxEntry entry = Entry(outlets, alert.kind, alert.mail, alert.jpegBytes.empty() ? "" : "camera.jpg", alert.jpegBytes);
    entry.note = alert.text;
    entry.event = alert.event;
    Dispatch(outlets, std::move(entry), "the alert \"" + alert.kind + "\"");
}

RunRecorder RecorderFor(const RunOutlets& outlets)
{
    auto journal = JournalRecorder(outlets.journal);
    if (!outlets.mqtt && !outlets.push)
        return journal ? journal : [](const RunRecord&) -> std::int64_t { return 0; };
    // Records come one at a time: from the thread that starts the run, then from the run's thread.
    auto pictures = std::make_shared<std::int64_t>(0);
    return [outlets, journal, pictures](const RunRecord& record) -> std::int64_t {
        const std::int64_t id = journal ? journal(record) : 0;
        TellChannels(outlets, record, *pictures);
        return id;
    };
}

namespace {

std::unique_ptr<MqttChannel> StartMqtt(MqttSettings settings, Outbox& outbox, EventLog& log, Journal* journal,
                                       std::function<void(bool arm)> remote)
{
    if (!settings.problem.empty()) {
        log.Write("MQTT is off: " + settings.problem);
        return nullptr;
    }
    if (!settings.remoteProblem.empty())
        log.Write("MQTT: " + settings.remoteProblem);
    auto channel = std::make_unique<MqttChannel>(std::move(settings), outbox, log, SentivoVersion(),
                                                 JournalDeliveryReport(journal, kMqttChannel));
    channel->SetRemoteCommand(std::move(remote));
    if (std::string reason; !channel->Start(reason)) {
        log.Write("MQTT is off: " + reason);
        return nullptr;
    }
    return channel;
}

std::unique_ptr<PushChannel> StartPush(const PushSettings& settings, const std::string& room, Outbox& outbox,
                                       EventLog& log, Journal* journal)
{
    if (!settings.problem.empty()) {
        log.Write("push is off: " + settings.problem);
        return nullptr;
    }
    auto channel = std::make_unique<PushChannel>(PushServer{settings.url, settings.token}, room, outbox, log,
                                                 JournalDeliveryReport(journal, kPushChannel));
    channel->Start();
    return channel;
}

}  // namespace

AlertChannels StartAlertChannels(Outbox& outbox, EventLog& log, Journal* journal, std::function<void(bool arm)> remote,
                                 const std::string& room)
{
    MqttSettings mqtt = ReadMqttSettings(room);
    const PushSettings push = ReadPushSettings();
    std::vector<std::string> off;
    if (mqtt.host.empty())
        off.emplace_back(kMqttChannel);
    if (push.url.empty())
        off.emplace_back(kPushChannel);
    // One pass over the outbox for all of them: a backlog may be large.
    if (const size_t released = off.empty() ? 0 : outbox.Release(off))
        log.Write(std::to_string(released) + " waiting entries are no longer kept for the channels turned off");
    const std::string roomName = mqtt.room;
    AlertChannels channels;
    if (!mqtt.host.empty())
        channels.mqtt = StartMqtt(std::move(mqtt), outbox, log, journal, std::move(remote));
    if (!push.url.empty())
        channels.push = StartPush(push, roomName, outbox, log, journal);
    return channels;
}
