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

// The MQTT channel of the stored settings, started; null when MQTT_HOST is not set or the channel
// cannot be used (said in log). Its deliveries go to journal (may be null); remote commands, when
// remote control is on, to remote (true: arm), on the MQTT client's thread.
std::unique_ptr<MqttChannel> StartMqttChannel(Outbox& outbox, EventLog& log, Journal* journal,
                                              std::function<void(bool arm)> remote = {}, const std::string& room = {});

// The push channel of the stored settings, started; null when PUSH_URL is not set or cannot be
// used (said in log). Its deliveries go to journal (may be null).
std::unique_ptr<PushChannel> StartPushChannel(Outbox& outbox, EventLog& log, Journal* journal, const std::string& room = {});
