#pragma once
// Where a run's pictures, alerts and records go: the alert channels (the mail sender, the MQTT
// channel, push) through the one outbox, the event log and the journal. One dispatcher: an entry
// names the channels that take it (the mail when the run says so, MQTT whenever it is on, push for
// the kinds it takes) and is stored once; the mail sender keeps it in memory when the outbox cannot be written. Any part may be
// missing (null): then nothing goes there.

#include "engine/AlarmPicture.h"
#include "engine/RunAlert.h"
#include "app/RunJournal.h"   // RunRecorder
#include "engine/RunRecord.h"
#include "mail/Outbox.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class EventLog;
class Journal;
class MailSender;
class MqttChannel;
class PushChannel;

struct RunOutlets {
    Outbox* outbox = nullptr;
    MailSender* mail = nullptr;
    MqttChannel* mqtt = nullptr;
    PushChannel* push = nullptr;
    EventLog* log = nullptr;
    Journal* journal = nullptr;
};

// Each returns at once, whatever the network does.
void DispatchPicture(const RunOutlets& outlets, const AlarmPicture& picture);
void DispatchAlert(const RunOutlets& outlets, const RunAlert& alert);
// The record call of one run's environment (make one per run): the journal's runs and events,
// and the room's state on MQTT ("arming", "armed", each alarm and its end, camera problems, the
// run's end), with a run's end and a failed arming as events of their own there and on push.
RunRecorder RecorderFor(const RunOutlets& outlets);

// The alert channels beside the mail, as the stored settings make them: each started, or null
// when it is off or cannot be used (said in log). What waits in the outbox for a channel that is
// off (its setting removed) is no longer kept for it; one that is on but cannot be used keeps it.
// Deliveries go to journal (may be null); remote commands, when remote control is on, to remote
// (true: arm), on the MQTT client's thread. room, when not empty, names the room over ROOM.
struct AlertChannels {
    std::unique_ptr<MqttChannel> mqtt;
    std::unique_ptr<PushChannel> push;
};
AlertChannels StartAlertChannels(Outbox& outbox, EventLog& log, Journal* journal,
                                 std::function<void(bool arm)> remote = {}, const std::string& room = {});
