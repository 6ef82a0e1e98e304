#pragma once
// The Notifications dialog (template 137): the MQTT broker (Home Assistant) with its login, the
// room and remote arming, and the push address with its token; each channel with a test that
// uses the boxes as typed, on a thread of its own. The settings go to the settings file, the
// logins, the remote code and the token to the saved auth.txt.

#include "ui/dialogs/ChannelTest.h"

#include <QDialog>

#include <functional>
#include <map>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class CNotificationsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNotificationsDlg(QWidget* parent = nullptr);
    ~CNotificationsDlg() override;

    // The stored values into the boxes; the reason when the saved auth.txt cannot be read (its
    // boxes then stay empty).
    std::string Load();
    // Checks the boxes, saying what is wrong and keeping the dialog open, then saves them; a save
    // that fails is told and keeps it open too.
    void accept() override;
    // Every way out cancels a test still going; the dialog then closes, disabled meanwhile, once
    // the tests have ended.
    void done(int result) override;
    bool testing() const { return mqttTest_.Running() || pushTest_.Running(); }

    QLineEdit* hostEdit = nullptr;         // 1040
    QLineEdit* portEdit = nullptr;         // 1041
    QComboBox* securityCombo = nullptr;    // 1042: automatic (TLS with a login), TLS, none
    QLineEdit* userNameEdit = nullptr;     // 1043
    QLineEdit* passwordEdit = nullptr;     // 1044
    QLineEdit* roomEdit = nullptr;         // 1045
    QLabel* topicLabel = nullptr;          // 1046: the room's topics, as the channel names them
    QCheckBox* remoteCheck = nullptr;      // 1047
    QLineEdit* remoteCodeEdit = nullptr;   // 1048
    QLineEdit* pushUrlEdit = nullptr;      // 1050
    QLineEdit* pushTokenEdit = nullptr;    // 1051

private:
    std::string Problem() const;
    std::map<std::string, std::string> Secrets() const;
    std::string Save();
    void OnTestMqtt();
    void OnTestPush();
    void Tested(const QString& answer);

    std::map<std::string, std::string> loadedSecrets_;
    std::optional<int> closeResult_;   // how the dialog closes once the tests have stopped
    ChannelTest mqttTest_;
    ChannelTest pushTest_;
};

// Shows the dialog with the stored values; after OK (which saved them) calls settingsChanged when
// given. true when closed with OK.
bool RunNotifications(QWidget* parent, const std::function<void()>& settingsChanged = {});
