#pragma once
// What the control panel needs of the alert channels, handed in by the program: the mail sender's,
// the MQTT channel's and the push channel's status for the panel's status line, a call for "the
// mail settings changed" (try the waiting mails now), one for "the Notifications dialog saved new
// channel settings" and the event log. Each part may be missing.

#include "mail/MailSender.h"
#include "mail/PushChannel.h"
#include "mqtt/MqttChannel.h"

#include <QString>

#include <functional>

class EventLog;

struct MailServices {
    std::function<MailSenderStatus()> status;
    std::function<void()> settingsChanged;
    EventLog* log = nullptr;
    std::function<MqttStatus()> mqtt;
    std::function<PushStatus()> push;
    // Stops the MQTT and push channels and starts them again with the stored settings (none: a
    // channel stays off), then hands the panel its services again. Only while no run is going: a
    // run uses the channels.
    std::function<void()> restartChannels;
};

// The status line's text: "Mail: nothing sent yet", "Mail: 12 sent", "Mail: sending…" or
// "Mail: 3 waiting — REASON; next try in 40 s", then what stays until it is mended: a refusal
// ("refused: authentication failed") until a mail goes through, an outbox that cannot be
// written ("2 kept in memory"), a picture the server would not take ("picture 12 too big for the
// server, set aside").
QString MailStatusText(const MailSenderStatus& status);
// "MQTT: connected, 3 published" or "MQTT: not connected — REASON": after the mail's, " · " between.
QString MqttStatusText(const MqttStatus& status);
// "Push: 3 sent", "Push: nothing sent yet" or "Push: 2 waiting — REASON; next try in 40 s".
QString PushStatusText(const PushStatus& status);
// Whether the text tells of one of those: the status line then shows it above lesser notices.
bool MailStatusIsWarning(const MailSenderStatus& status);
