#pragma once
// The e-mail Options dialog (template 131): the "From" and "To" addresses, the SMTP server, its
// port and security, and the SMTP login, with a test e-mail sent on a thread of its own.

#include "mail/SendMail.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit COptionsDlg(QWidget* parent = nullptr);
    // Cancels a test e-mail still going and waits for it (about a second).
    ~COptionsDlg() override;

    // Initialisation copies the strings into the boxes and says when a working folder's auth.txt
    // overrides the login below them; OK copies the boxes back into the strings, and keeps the
    // dialog open while the port is neither empty nor 1..65535.
    int exec() override;
    void accept() override;
    // Every way out (OK, Cancel, the close box) cancels a test e-mail still going; the dialog then
    // closes, disabled meanwhile, once the send has ended.
    void done(int result) override;

    // Handler of "Send a test &email" (1014): checks the boxes' texts with the validators of the
    // stored addresses and, when all pass, starts mailing "sentivo.jpg" with the dialog's server,
    // port and security, logging in as the alarm mails will once OK saved the boxes (ResolveLogin:
    // a working folder's auth.txt first, else the boxes' login when a user name is given). The
    // result is shown when the send ends; meanwhile the button is disabled and reads "Sending…".
    void OnSendTestEmail();
    bool sendingTestEmail() const { return testSend_.valid(); }

    QLineEdit* toEdit = nullptr;         // 1009
    QLineEdit* smtpEdit = nullptr;       // 1008
    QLineEdit* fromEdit = nullptr;       // 1007
    QLineEdit* portEdit = nullptr;       // 1032
    QComboBox* securityCombo = nullptr;  // 1033: STARTTLS if offered, STARTTLS (required), SSL/TLS, None
    QLineEdit* userNameEdit = nullptr;   // 1034
    QLineEdit* passwordEdit = nullptr;   // 1035
    QLabel* loginNotice = nullptr;       // below the boxes, shown while a working folder's auth.txt overrides them
    std::string fromAddress;
    std::string smtpServer;
    std::string toAddress;
    std::string port;                    // SMTP_PORT: empty or 1..65535
    std::string security;                // SMTP_SECURITY: STARTTLS, SSL, NONE or empty (the default)
    std::string userName;                // the login shown, the saved auth.txt's
    std::string password;

private:
    void DoDataExchange(bool saveAndValidate);
    void ShowLoginSource();
    void CancelTestEmail();
    void FinishTestEmail();

    QPushButton* testButton_ = nullptr;
    QSize templateSize_;
    QTimer* testPoll_ = nullptr;
    std::optional<int> closeResult_;     // how the dialog closes once the test e-mail has stopped
    std::shared_ptr<std::atomic<bool>> testCancel_;
    std::future<MailResult> testSend_;
    std::thread testThread_;
};

// Shows the dialog pre-filled from the settings store and the saved auth.txt; on OK saves the three values,
// the port and the security in the store and the login with WriteSmtpCredentials (telling the
// user when that fails), then calls settingsChanged when given. true only when the dialog was
// closed with OK and all three saved values pass their checks.
bool RunEmailOptions(const std::function<void()>& settingsChanged = {});
