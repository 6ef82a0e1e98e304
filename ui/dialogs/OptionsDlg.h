#pragma once
// The e-mail Options dialog (template 131): the "From" and "To" addresses and the SMTP server, with
// a test e-mail that uses the SMTP login from "auth.txt".

#include <QDialog>

#include <string>

class QLineEdit;

class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit COptionsDlg(QWidget* parent = nullptr);
    ~COptionsDlg() override;

    // Initialisation copies the strings into the boxes; OK copies the boxes back into them.
    int exec() override;
    void accept() override;

    // Handler of "Send a test &email" (1014): checks the boxes' texts with the validators of the
    // stored addresses and, when all pass, mails "sentivo.jpg" with them.
    void OnSendTestEmail();

    QLineEdit* toEdit = nullptr;     // 1009
    QLineEdit* smtpEdit = nullptr;   // 1008
    QLineEdit* fromEdit = nullptr;   // 1007
    std::string fromAddress;
    std::string smtpServer;
    std::string toAddress;
    std::string userName;            // from "auth.txt"
    std::string password;
    bool haveCredentials = false;    // "auth.txt" was read without error

private:
    void DoDataExchange(bool saveAndValidate);
};

// Shows the dialog pre-filled from the settings store; on OK saves the three values. true only
// when the dialog was closed with OK and all three saved values pass their checks.
bool RunEmailOptions();
