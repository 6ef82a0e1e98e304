// The Notifications dialog: what OK saves (the settings file, the saved auth.txt) and refuses, and
// its two tests with the boxes as typed, against a real mosquitto and a loopback push server.

#include "ui/dialogs/NotificationsDlg.h"
#include "settings/ChannelSettings.h"
#include "settings/SettingsStore.h"
#include "settings/SmtpCredentials.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/templates/DialogBuilder.h"
#include "tests/support/MqttTestBroker.h"
#include "tests/support/PushTestServer.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

constexpr int IDOK = 1, IDC_TEST_MQTT = 1049, IDC_TEST_PUSH = 1052;
const std::string noReach = "The test message did not reach the broker: ";

// What a user types; security is the box's entry (automatic, TLS, none).
struct Values {
    std::string host, port;
    int security = 0;
    std::string user, password, room;
    bool remote = false;
    std::string code, url, token;
    bool operator==(const Values&) const = default;
};

static void Type(CNotificationsDlg& d, const Values& v)
{
    const auto set = [](QLineEdit* edit, const std::string& text) { edit->setText(QString::fromStdString(text)); };
    set(d.hostEdit, v.host), set(d.portEdit, v.port), d.securityCombo->setCurrentIndex(v.security);
    set(d.userNameEdit, v.user), set(d.passwordEdit, v.password), set(d.roomEdit, v.room);
    d.remoteCheck->setChecked(v.remote), set(d.remoteCodeEdit, v.code), set(d.pushUrlEdit, v.url), set(d.pushTokenEdit, v.token);
}

static Values Shown(const CNotificationsDlg& d)
{
    const auto get = [](const QLineEdit* edit) { return edit->text().toStdString(); };
    return {get(d.hostEdit), get(d.portEdit), d.securityCombo->currentIndex(), get(d.userNameEdit), get(d.passwordEdit),
            get(d.roomEdit), d.remoteCheck->isChecked(), get(d.remoteCodeEdit), get(d.pushUrlEdit), get(d.pushTokenEdit)};
}

static std::string Told(const MessageBoxCapture& messages) { return messages.texts().join(" | ").toStdString(); }
static std::string Named(const char* name) { return ReadNamedSetting(name).value_or("(none)"); }

// Presses a test button and waits for the answer the dialog shows.
static std::string PressTest(CNotificationsDlg& dialog, int button)
{
    MessageBoxCapture messages;
    FindControl<QPushButton>(dialog, button)->click();
    EXPECT_FALSE(FindControl<QPushButton>(dialog, button)->isEnabled()) << "disabled while the test runs";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 20000));
    return Told(messages);
}

struct Notifications : ::testing::Test {
    TestDirectory dir;
    Notifications()
    {
        std::string ignored;
        ReadSetting(SETTING_FROM_ADDRESS, ignored);   // the first read makes the settings file
    }
};

// OK (as the panel opens the dialog) saves the settings and the secrets, owner only beside the SMTP
// login, and tells the panel; the next opening shows them. Emptied secrets lose their records.
TEST_F(Notifications, OkSavesTheBoxesApartAndTheNextOpeningShowsThem)
{
    dir.WriteFile("config/Corvane/auth.txt", "USERNAME, mailer\nPASSWORD, smtp secret\n");
    const struct {
        Values typed;
        std::vector<std::string> settings;   // host, port, security, room, remote control, push address
        std::map<std::string, std::string> secrets;
    } cases[] = {
        {{"broker.lan", "8884", 1, "house", "pass word", "Hall 2", true, "1234", "https://ntfy.sh/hall", "tk_1"},
         {"broker.lan", "8884", "TLS", "Hall 2", "1", "https://ntfy.sh/hall"},
         {{"MQTT_USERNAME", "house"}, {"MQTT_PASSWORD", "pass word"}, {"REMOTE_CODE", "1234"}, {"PUSH_TOKEN", "tk_1"}}},
        {{"broker.lan", "", 2, "", "", "", false, "", "", ""}, {"broker.lan", "", "NONE", "", "0", ""}, {}},
        {{.host = "", .code = "99"}, {"", "", "", "", "0", ""}, {{"REMOTE_CODE", "99"}}},
    };
    int changed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.host + c.typed.user);
        QObject context;
        QTimer::singleShot(0, &context, [&] {
            auto& dialog = *qobject_cast<CNotificationsDlg*>(QApplication::activeModalWidget());
            Type(dialog, c.typed);
            FindControl<QPushButton>(dialog, IDOK)->click();
        });
        EXPECT_TRUE(RunNotifications(nullptr, [&] { ++changed; }));
        std::vector<std::string> settings;
        for (const char* name : {SETTING_MQTT_HOST, SETTING_MQTT_PORT, SETTING_MQTT_SECURITY, SETTING_ROOM,
                                 SETTING_REMOTE_CONTROL, SETTING_PUSH_URL})
            settings.push_back(Named(name));
        EXPECT_EQ(settings, c.settings);
        const CredentialsRead saved = ReadSmtpCredentials(SavedCredentialsFile());
        EXPECT_EQ(saved.login.userName + "/" + saved.login.password, "mailer/smtp secret");
        EXPECT_EQ(saved.secrets, c.secrets);
        EXPECT_EQ(std::filesystem::status(SavedCredentialsFile()).permissions(), std::filesystem::perms(0600));
        CNotificationsDlg again;
        EXPECT_EQ(again.Load(), "");
        EXPECT_EQ(Shown(again), c.typed);
    }
    EXPECT_EQ(changed, 3);
}

// OK stays refused, saving nothing, while a box cannot be used, and says which and why.
TEST_F(Notifications, OkRefusesWhatCannotBeUsedAndSaysWhy)
{
    const std::string port = "The port must be empty or a number from 1 to 65535.";
    const std::pair<Values, std::string> cases[] = {
        {{.port = "65536"}, port},
        {{.port = "12a"}, port},
        {{.url = "ntfy.sh/hall"}, "The push address cannot be used: the push address \"ntfy.sh/hall\" does not begin with https://."},
        {{.url = "http://ntfy.lan/hall", .token = "tk_1"},
         "The push address cannot be used: the push token is sent over HTTPS only."},
        {{.remote = true}, "Remote arming and disarming needs a code."},
        {{.password = "a,b"}, "The broker's password cannot hold a comma, a semicolon or a line break."},
        {{.token = "tk_1 "}, "The push token cannot begin or end with a blank."},
    };
    for (const auto& [typed, told] : cases) {
        MessageBoxCapture messages;
        CNotificationsDlg dialog;
        dialog.show();
        Type(dialog, {.host = "broker.lan"}), Type(dialog, typed);
        FindControl<QPushButton>(dialog, IDOK)->click();
        EXPECT_TRUE(dialog.isVisible()) << told;
        EXPECT_EQ(Told(messages), told);
    }
    EXPECT_EQ(Named(SETTING_MQTT_HOST), "(none)");
    EXPECT_FALSE(std::filesystem::exists(SavedCredentialsFile()));
}

// "Send a test" publishes with the boxes as typed, nothing saved: with the broker's login the broker
// acknowledges and the event arrives on the room's topic; a wrong password or no broker is told.
TEST_F(Notifications, MqttTestPublishesWithTheTypedLoginAndTellsTheBrokersAnswer)
{
    MqttTestBroker broker;
    MqttWatcher watcher(broker, {"sentivo/+/event"});
    const std::string port = std::to_string(broker.port());
    const std::pair<Values, std::string> cases[] = {
        {{"127.0.0.1", port, 2, MqttTestBroker::kUser, MqttTestBroker::kPassword, "Test Room"},
         "The broker acknowledged the test message."},
        {{"127.0.0.1", port, 2, MqttTestBroker::kUser, "wrong"},
         noReach + "not authorised: the broker refused the user name or password"},
        {{"127.0.0.1", "1", 2}, noReach + "Connection refused"},
    };
    for (const auto& [typed, told] : cases) {
        CNotificationsDlg dialog;
        dialog.show();
        Type(dialog, typed);
        EXPECT_EQ(PressTest(dialog, IDC_TEST_MQTT), told);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watcher.Messages().empty(); }, 5000));
    const std::vector<std::string> events = watcher.On("sentivo/testroom/event");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find(R"("kind":"test","room":"testroom")"), std::string::npos) << events[0];
    EXPECT_EQ(Named(SETTING_MQTT_HOST), "(none)");
}

// The push test sends the test picture to the typed address, titled and naming the room.
TEST_F(Notifications, PushTestSendsTheTestPictureToTheTypedAddress)
{
    PushTestServer server;
    const std::pair<Values, std::string> cases[] = {
        {{.room = "Hall", .url = server.url("hall")}, "The push server accepted the test notification."},
        {{.url = "http://127.0.0.1:1/hall"}, "The test notification was not sent: "},
    };
    for (const auto& [typed, told] : cases) {
        CNotificationsDlg dialog;
        dialog.show();
        Type(dialog, typed);
        EXPECT_EQ(PressTest(dialog, IDC_TEST_PUSH).substr(0, told.size()), told);
    }
    const std::vector<ReceivedPush> pushes = server.Received();
    ASSERT_EQ(pushes.size(), 1u);
    EXPECT_EQ(pushes[0].method + " " + pushes[0].path, "PUT /hall");
    EXPECT_EQ(pushes[0].Header("Title") + " | " + pushes[0].Header("Filename"), "Sentivo: test | sentivo.jpg");
    EXPECT_NE(pushes[0].Header("Message").find("\"hall\""), std::string::npos);
    QFile picture(QString::fromStdString((SourceDir() / "res" / "sentivo.jpg").string()));
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pushes[0].body == picture.readAll().toStdString());
}

// Closed while a test waits on a broker that never answers, the dialog cancels it and goes within
// about a second, telling nothing.
TEST_F(Notifications, ClosingCancelsAWaitingTest)
{
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);   // takes connections, never answers
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    socklen_t size = sizeof address;
    ::bind(silent, reinterpret_cast<sockaddr*>(&address), size), ::listen(silent, 4);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size);
    MessageBoxCapture messages;
    CNotificationsDlg dialog;
    dialog.show();
    Type(dialog, {"127.0.0.1", std::to_string(ntohs(address.sin_port)), 2});
    FindControl<QPushButton>(dialog, IDC_TEST_MQTT)->click();
    QTest::qWait(300);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible() && dialog.testing()) << "it waits for the test, events going on";
    QElapsedTimer closing;
    closing.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
    EXPECT_LT(closing.elapsed(), 1000);
    EXPECT_FALSE(dialog.testing());
    EXPECT_EQ(Told(messages), "");
    ::close(silent);
}
