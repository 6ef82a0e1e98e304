#include "ui/dialogs/NotificationsDlg.h"

#include "mail/PushSend.h"
#include "mqtt/MqttProbe.h"
#include "settings/ChannelSettings.h"
#include "settings/MailSettingsCodec.h"   // PortFromText
#include "settings/SettingsStore.h"
#include "settings/SingleByteText.h"
#include "settings/SmtpCredentials.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/ProductWebPage.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

constexpr int IDC_HOST = 1040, IDC_PORT = 1041, IDC_SECURITY = 1042, IDC_USER_NAME = 1043, IDC_PASSWORD = 1044,
              IDC_ROOM = 1045, IDC_TOPICS = 1046, IDC_REMOTE = 1047, IDC_REMOTE_CODE = 1048, IDC_TEST_MQTT = 1049,
              IDC_PUSH_URL = 1050, IDC_PUSH_TOKEN = 1051, IDC_TEST_PUSH = 1052, IDC_HELP = 1053;

const char* const kPortRule = "The port must be empty or a number from 1 to 65535.";

// The security box's entries, in order, as MQTT_SECURITY keeps them (empty: TLS with a login).
constexpr const char* securityChoices[] = {"", "TLS", "NONE"};

int SecurityIndex(const std::string& stored)
{
    for (int i = 0; i < int(std::size(securityChoices)); ++i)
        if (stored == securityChoices[i])
            return i;
    return 0;
}

std::string Text(const QLineEdit* edit) { return ToSingleByte(edit->text()); }
std::string Secret(const QLineEdit* edit) { return edit->text().toStdString(); }
std::string Named(const char* name) { return ReadNamedSetting(name).value_or(std::string()); }

bool ValidPort(const std::string& text)
{
    return text.empty() || PortFromText(text);
}

// The test picture, compiled in.
std::string TestPicture()
{
    EnsureResources();
    QFile file(QStringLiteral(":/sentivo/sentivo.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

}  // namespace

CNotificationsDlg::CNotificationsDlg(QWidget* parent) : QDialog(parent)
{
    BuildDialog(*this, IDD_NOTIFICATIONS);
    hostEdit = RequiredControl<QLineEdit>(*this, IDC_HOST);
    portEdit = RequiredControl<QLineEdit>(*this, IDC_PORT);
    securityCombo = RequiredControl<QComboBox>(*this, IDC_SECURITY);
    userNameEdit = RequiredControl<QLineEdit>(*this, IDC_USER_NAME);
    passwordEdit = RequiredControl<QLineEdit>(*this, IDC_PASSWORD);
    roomEdit = RequiredControl<QLineEdit>(*this, IDC_ROOM);
    topicLabel = RequiredControl<QLabel>(*this, IDC_TOPICS);
    remoteCheck = RequiredControl<QCheckBox>(*this, IDC_REMOTE);
    remoteCodeEdit = RequiredControl<QLineEdit>(*this, IDC_REMOTE_CODE);
    pushUrlEdit = RequiredControl<QLineEdit>(*this, IDC_PUSH_URL);
    pushTokenEdit = RequiredControl<QLineEdit>(*this, IDC_PUSH_TOKEN);
    if (securityCombo->count() != int(std::size(securityChoices)))
        throw std::runtime_error("Notifications dialog template lists other securities");
    // An empty room box takes the machine's name: shown greyed in it, and the topics follow the box.
    roomEdit->setPlaceholderText(QString::fromStdString(EffectiveRoom("")));
    const auto showTopics = [this] {
        topicLabel->setText(QStringLiteral("sentivo/%1/…").arg(QString::fromStdString(EffectiveRoom(Text(roomEdit)))));
    };
    connect(roomEdit, &QLineEdit::textChanged, this, showTopics);
    showTopics();
    connect(remoteCheck, &QCheckBox::toggled, remoteCodeEdit, &QWidget::setEnabled);
    remoteCodeEdit->setEnabled(false);
    connect(RequiredControl<QPushButton>(*this, IDC_TEST_MQTT), &QPushButton::clicked, this, [this] { OnTestMqtt(); });
    connect(RequiredControl<QPushButton>(*this, IDC_TEST_PUSH), &QPushButton::clicked, this, [this] { OnTestPush(); });
    if (auto* help = FindControl<QPushButton>(*this, IDC_HELP))
        connect(help, &QPushButton::clicked, this, [this] { OpenProductWebPage(this); });
}

// The tests' members cancel and join them; nothing else runs off the GUI thread.
CNotificationsDlg::~CNotificationsDlg() = default;

std::string CNotificationsDlg::Load()
{
    hostEdit->setText(FromSingleByte(Named(SETTING_MQTT_HOST)));
    portEdit->setText(FromSingleByte(Named(SETTING_MQTT_PORT)));
    securityCombo->setCurrentIndex(SecurityIndex(Named(SETTING_MQTT_SECURITY)));
    roomEdit->setText(FromSingleByte(Named(SETTING_ROOM)));
    remoteCheck->setChecked(Named(SETTING_REMOTE_CONTROL) == "1");
    pushUrlEdit->setText(FromSingleByte(Named(SETTING_PUSH_URL)));
    const CredentialsRead saved = ReadSmtpCredentials(SavedCredentialsFile());
    loadedSecrets_ = saved.secrets;
    const auto secret = [&](const char* key) {
        const auto it = saved.secrets.find(key);
        return it == saved.secrets.end() ? QString() : QString::fromStdString(it->second);
    };
    userNameEdit->setText(secret("MQTT_USERNAME"));
    passwordEdit->setText(secret("MQTT_PASSWORD"));
    remoteCodeEdit->setText(secret("REMOTE_CODE"));
    pushTokenEdit->setText(secret("PUSH_TOKEN"));
    return saved.problem;
}

// The secret records the boxes hold, as WriteChannelSecrets takes them.
std::map<std::string, std::string> CNotificationsDlg::Secrets() const
{
    return {{"MQTT_USERNAME", Secret(userNameEdit)}, {"MQTT_PASSWORD", Secret(passwordEdit)},
            {"REMOTE_CODE", Secret(remoteCodeEdit)}, {"PUSH_TOKEN", Secret(pushTokenEdit)}};
}

// The first thing OK refuses, in words; empty when the boxes can be saved.
std::string CNotificationsDlg::Problem() const
{
    if (!ValidPort(Text(portEdit)))
        return kPortRule;
    const std::string url = Text(pushUrlEdit);
    if (!url.empty())
        if (const std::string problem = PushUrlProblem(url, !pushTokenEdit->text().isEmpty()); !problem.empty())
            return "The push address cannot be used: " + problem + ".";
    if (remoteCheck->isChecked() && remoteCodeEdit->text().isEmpty())
        return "Remote arming and disarming needs a code.";
    const std::pair<const QLineEdit*, const char*> secrets[] = {
        {userNameEdit, "broker's user name"}, {passwordEdit, "broker's password"},
        {remoteCodeEdit, "remote code"}, {pushTokenEdit, "push token"}};
    for (const auto& [edit, name] : secrets)
        if (const std::string problem = SecretTextProblem(Secret(edit)); !problem.empty())
            return std::string("The ") + name + " " + problem + ".";
    return {};
}

// Writes the boxes; the reason when something could not be saved.
std::string CNotificationsDlg::Save()
{
    // The first read makes the settings file when there is none yet.
    std::string ignored;
    ReadSetting(SETTING_FROM_ADDRESS, ignored);
    const std::pair<const char*, std::string> values[] = {
        {SETTING_MQTT_HOST, Text(hostEdit)},   {SETTING_MQTT_PORT, Text(portEdit)},
        {SETTING_MQTT_SECURITY, securityChoices[securityCombo->currentIndex()]},
        {SETTING_ROOM, Text(roomEdit)},        {SETTING_REMOTE_CONTROL, remoteCheck->isChecked() ? "1" : "0"},
        {SETTING_PUSH_URL, Text(pushUrlEdit)}};
    for (const auto& [name, value] : values)
        if (!WriteNamedSetting(name, value))
            return "The settings could not be saved in " + SettingsFilePath() + ".";
    std::map<std::string, std::string> secrets = Secrets();
    // auth.txt is rewritten only when a record changed: OK alone leaves it as it is.
    std::erase_if(secrets, [&](const auto& secret) {
        const auto loaded = loadedSecrets_.find(secret.first);
        return secret.second == (loaded == loadedSecrets_.end() ? "" : loaded->second);
    });
    std::string reason;
    if (!secrets.empty() && !WriteChannelSecrets(secrets, reason))
        return "The logins could not be saved: " + reason;
    loadedSecrets_ = Secrets();
    return {};
}

void CNotificationsDlg::accept()
{
    std::string problem = Problem();
    if (problem.empty())
        problem = Save();
    if (!problem.empty()) {
        AppMessageBox(QString::fromStdString(problem));
        return;
    }
    QDialog::accept();
}

void CNotificationsDlg::done(int result)
{
    if (!testing()) {
        QDialog::done(result);
        return;
    }
    // The GUI thread does not wait for the tests: they are told to stop, and the last one to end
    // closes the dialog (Tested).
    if (!closeResult_) {
        closeResult_ = result;
        mqttTest_.Cancel();
        pushTest_.Cancel();
        setEnabled(false);
    }
}

void CNotificationsDlg::Tested(const QString& answer)
{
    if (!closeResult_) {
        AppMessageBox(answer);
    } else if (!testing()) {
        setEnabled(true);
        QDialog::done(*std::exchange(closeResult_, std::nullopt));
    }
}

void CNotificationsDlg::OnTestMqtt()
{
    if (hostEdit->text().isEmpty() || !ValidPort(Text(portEdit))) {
        AppMessageBox(hostEdit->text().isEmpty() ? QStringLiteral("Name the broker to test first.") : kPortRule);
        return;
    }
    const bool login = !userNameEdit->text().isEmpty() || !passwordEdit->text().isEmpty();
    const MqttSettings settings = MqttSettingsFrom(
        {.host = Text(hostEdit), .port = Text(portEdit), .security = securityChoices[securityCombo->currentIndex()],
         .room = Text(roomEdit), .userName = login ? std::optional(Secret(userNameEdit)) : std::nullopt,
         .password = login ? std::optional(Secret(passwordEdit)) : std::nullopt});
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    mqttTest_.Start(
        this, RequiredControl<QPushButton>(*this, IDC_TEST_MQTT), [settings, cancel] { return ProbeMqtt(settings, *cancel); },
        [cancel] { cancel->store(true); },
        [this](const std::string& reason) {
            Tested(reason.empty() ? QStringLiteral("The broker acknowledged the test message.")
                                  : "The test message did not reach the broker: " + QString::fromStdString(reason));
        });
}

void CNotificationsDlg::OnTestPush()
{
    const PushServer server{.url = Text(pushUrlEdit), .token = Secret(pushTokenEdit)};
    if (server.url.empty()) {
        AppMessageBox(QStringLiteral("Enter the push address to test first."));
        return;
    }
    if (const std::string problem = PushUrlProblem(server.url, !server.token.empty()); !problem.empty()) {
        AppMessageBox(QString::fromStdString("The push address cannot be used: " + problem + "."));
        return;
    }
    const PushMessage message{.title = "Sentivo: test",
                              .message = "A test notification from the room \"" + EffectiveRoom(Text(roomEdit)) + "\"",
                              .tags = "white_check_mark,camera",
                              .fileName = "sentivo.jpg",
                              .picture = TestPicture()};
    auto cancel = std::make_shared<SendCancel>();
    pushTest_.Start(
        this, RequiredControl<QPushButton>(*this, IDC_TEST_PUSH),
        [server, message, cancel] {
            const PushResult result = SendPush(server, message, cancel.get());
            return result.sent ? std::string() : result.reason;
        },
        [cancel] { cancel->Cancel(); },
        [this](const std::string& reason) {
            Tested(reason.empty() ? QStringLiteral("The push server accepted the test notification.")
                                  : "The test notification was not sent: " + QString::fromStdString(reason));
        });
}

bool RunNotifications(QWidget* parent, const std::function<void()>& settingsChanged)
{
    CNotificationsDlg dialog(parent);
    if (const std::string problem = dialog.Load(); !problem.empty())
        AppMessageBox(QStringLiteral("The saved logins cannot be read: %1").arg(QString::fromStdString(problem)));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (settingsChanged)
        settingsChanged();
    return true;
}
