#pragma once
// What the control panel needs of the mail sender, handed in by the program: its status for the
// panel's status line, a call for "the mail settings changed" (try the waiting mails now) and the
// event log. Each part may be missing.

#include "mail/MailSender.h"

#include <QString>

#include <functional>

class EventLog;

struct MailServices {
    std::function<MailSenderStatus()> status;
    std::function<void()> settingsChanged;
    EventLog* log = nullptr;
};

// The status line's text: "Mail: nothing sent yet", "Mail: 12 sent", "Mail: sending…" or
// "Mail: 3 waiting — REASON; next try in 40 s".
QString MailStatusText(const MailSenderStatus& status);
