// The mail sender's line on the panel: what stays until mended is told above the lesser notices.
#include "log/EventLog.h"
#include "tests/ui/panel/PanelHarness.h"
#include "ui/panel/MailServices.h"

using namespace std::chrono_literals;

TEST(MailStatusLine, TellsWhatStaysUntilItIsMended)
{
    const std::tuple<MailSenderStatus, const char*, bool> cases[] = {
        {{}, "Mail: nothing sent yet", false},
        {{.sent = 12}, "Mail: 12 sent", false},
        {{.sent = 2, .waiting = 3, .sending = true}, "Mail: sending…", false},
        {{.sent = 4, .waiting = 2}, "Mail: 2 waiting", false},
        {{.waiting = 3, .lastFailure = "login refused by the server", .nextTryIn = 40s},
         "Mail: 3 waiting — login refused by the server; next try in 40 s", false},
        {{.sent = 2, .waiting = 1, .lastFailure = "authentication failed", .permanent = true, .nextTryIn = 600s,
          .refusal = "authentication failed"},
         "Mail: 1 waiting — authentication failed; kept, next try in 600 s", true},
        {{.waiting = 1, .lastFailure = "could not connect", .nextTryIn = 20s, .refusal = "authentication failed"},
         "Mail: 1 waiting — could not connect; next try in 20 s — refused: authentication failed", true},
        {{.waiting = 1, .sending = true, .refusal = "authentication failed"},
         "Mail: sending… — refused: authentication failed", true},
        {{.sent = 3, .outboxProblem = "the outbox /x could not be written: Read-only file system", .inMemory = 2},
         "Mail: 3 sent — the outbox cannot be written, 2 kept in memory", true},
        {{.sent = 3, .setAside = "picture 12 too big for the server"},
         "Mail: 3 sent — picture 12 too big for the server, set aside", true},
    };
    for (const auto& [status, text, warning] : cases) {
        EXPECT_EQ(MailStatusText(status).toStdString(), text);
        EXPECT_EQ(MailStatusIsWarning(status), warning) << text;
    }
    const std::pair<MqttStatus, const char*> mqtt[] = {
        {{}, "MQTT: connecting…"},
        {{.problem = "Connection Refused: not authorised."}, "MQTT: not connected — Connection Refused: not authorised."},
        {{.connected = true}, "MQTT: connected"},
        {{.connected = true, .published = 3}, "MQTT: connected, 3 published"},
    };
    for (const auto& [status, text] : mqtt)
        EXPECT_EQ(MqttStatusText(status).toStdString(), text);
}

// A refused alarm mail goes above the notice of a credentials file others can read.
TEST_F(PanelTest, ARefusedMailIsNotHiddenByALesserWarning)
{
    dir.WriteFile("auth.txt", "USERNAME, alarm\nPASSWORD, secret\n");
    std::filesystem::permissions(dir.path() / "auth.txt", std::filesystem::perms(0644));
    EventLog log(dir.path() / "events.log", false);
    CSentivoDlg panel({});
    panel.SetMailServices({.status = [] {
                               return MailSenderStatus{.waiting = 1, .lastFailure = "authentication failed", .permanent = true,
                                                       .nextTryIn = 600s, .refusal = "authentication failed"};
                           },
                           .log = &log});
    panel.OnInitDialog();
    HideSplash();
    const QStringList lines = StatusLine(panel).split('\n');
    ASSERT_EQ(lines.size(), 2) << StatusLine(panel).toStdString();
    EXPECT_EQ(lines[0].toStdString(), "Mail: 1 waiting — authentication failed; kept, next try in 600 s");
    EXPECT_TRUE(lines[1].startsWith("Warning: credentials file")) << lines[1].toStdString();
}

// Every channel at a glance on one line, a failing push with its reason.
TEST_F(PanelTest, TheStatusLineShowsEveryChannel)
{
    EventLog log(dir.path() / "events.log", false);
    CSentivoDlg panel({});
    panel.SetMailServices({.status = [] { return MailSenderStatus{.sent = 12}; },
                           .log = &log,
                           .mqtt = [] { return MqttStatus{.connected = true}; },
                           .push = [] { return PushStatus{.sent = 3, .waiting = 2, .lastFailure = "could not connect",
                                                          .nextTryIn = 20s}; }});
    panel.OnInitDialog();
    HideSplash();
    EXPECT_EQ(StatusLine(panel).toStdString(),
              "Mail: 12 sent · MQTT: connected · Push: 2 waiting — could not connect; next try in 20 s");
}
