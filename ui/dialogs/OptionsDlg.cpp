#include "ui/dialogs/OptionsDlg.h"

#include "mail/EmailPic.h"
#include "ui/templates/DialogBuilder.h"
#include "settings/SmtpCredentials.h"
#include "settings/SettingsStore.h"
#include "settings/SingleByteText.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/ProductWebPage.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <stdexcept>

namespace {

constexpr int IDC_FROM = 1007;
constexpr int IDC_SMTP = 1008;
constexpr int IDC_TO = 1009;
constexpr int IDC_SEND_TEST_EMAIL = 1014;
constexpr int IDC_HELP = 1015;
constexpr int RESOURCE_ID = 131;

// The test attachment, installed beside the program; the dialog does not look for it first, the
// mail library's answer decides.
constexpr const char* testPicture = "sentivo.jpg";

// Holds a cursor over the whole application for its lifetime, on every path out.
class OverrideCursor {
public:
    explicit OverrideCursor(Qt::CursorShape shape) { QApplication::setOverrideCursor(shape); }
    ~OverrideCursor() { QApplication::restoreOverrideCursor(); }
    OverrideCursor(const OverrideCursor&) = delete;
    OverrideCursor& operator=(const OverrideCursor&) = delete;
};

// A message box is answered with the ordinary pointer; the wait cursor comes back after it.
void ShowMessage(const QString& text)
{
    OverrideCursor arrow(Qt::ArrowCursor);
    AppMessageBox(text);
}

std::string FromBox(const QLineEdit* edit)
{
    return ToSingleByte(edit->text());
}

}  // namespace

COptionsDlg::COptionsDlg(QWidget* parent)
    : QDialog(parent)
{
    BuildDialog(*this, RESOURCE_ID);
    toEdit = FindControl<QLineEdit>(*this, IDC_TO);
    smtpEdit = FindControl<QLineEdit>(*this, IDC_SMTP);
    fromEdit = FindControl<QLineEdit>(*this, IDC_FROM);
    if (!toEdit || !smtpEdit || !fromEdit)
        throw std::runtime_error("Options dialog template lacks an edit box");
    if (auto* test = FindControl<QPushButton>(*this, IDC_SEND_TEST_EMAIL))
        connect(test, &QPushButton::clicked, this, &COptionsDlg::OnSendTestEmail);
    if (auto* help = FindControl<QPushButton>(*this, IDC_HELP))
        connect(help, &QPushButton::clicked, this, [] { OpenProductWebPage(); });
}

COptionsDlg::~COptionsDlg() = default;

void COptionsDlg::DoDataExchange(bool saveAndValidate)
{
    if (saveAndValidate) {
        fromAddress = FromBox(fromEdit);
        smtpServer = FromBox(smtpEdit);
        toAddress = FromBox(toEdit);
    } else {
        fromEdit->setText(FromSingleByte(fromAddress));
        smtpEdit->setText(FromSingleByte(smtpServer));
        toEdit->setText(FromSingleByte(toAddress));
    }
}

int COptionsDlg::exec()
{
    DoDataExchange(false);
    return QDialog::exec();
}

void COptionsDlg::accept()
{
    DoDataExchange(true);
    QDialog::accept();
}

void COptionsDlg::OnSendTestEmail()
{
    OverrideCursor wait(Qt::WaitCursor);
    // The boxes go into the SMTP envelope as typed, so they are checked as the stored addresses
    // are (To, From, then the server; a text under 5 characters fails first) and nothing is sent
    // while one fails: "a@b.net> SIZE=1" would otherwise reach the server as a command parameter.
    const std::string to = FromBox(toEdit);
    if (to.size() < 5 || !IsValidEmailAddress(to)) {
        ShowMessage(QStringLiteral("\"To\" email is invalid"));
        return;
    }
    const std::string from = FromBox(fromEdit);
    if (from.size() < 5 || !IsValidEmailAddress(from)) {
        ShowMessage(QStringLiteral("\"From\" email is invalid"));
        return;
    }
    const std::string server = FromBox(smtpEdit);
    if (server.size() < 5 || !IsValidServerAddress(server)) {
        ShowMessage(QStringLiteral("SMTP server address is invalid"));
        return;
    }
    const char* user = haveCredentials ? userName.c_str() : nullptr;
    const char* pass = haveCredentials ? password.c_str() : nullptr;
    if (EmailPic(to.c_str(), from.c_str(), server.c_str(), testPicture, user, pass)) {
        ShowMessage(QStringLiteral("An email with a test attachment should be waiting in your \"To\" email inbox!"));
    } else {
        // The library's reason on a line of its own lets the user tell a wrong password from a
        // wrong server.
        ShowMessage(QStringLiteral("Email could not be sent. Please check addresses and the SMTP server is that of your ISP.\n") +
                    QString::fromStdString(EmailPicLastError()));
    }
}

bool RunEmailOptions()
{
    COptionsDlg dialog;
    ReadSetting(SETTING_FROM_ADDRESS, dialog.fromAddress);
    ReadSetting(SETTING_TO_ADDRESS, dialog.toAddress);
    ReadSetting(SETTING_SMTP_SERVER, dialog.smtpServer);
    dialog.haveCredentials = ReadSmtpCredentials(dialog.userName, dialog.password);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // All three are written, even after a failing one.
    bool allValid = WriteSetting(SETTING_FROM_ADDRESS, dialog.fromAddress);
    allValid = WriteSetting(SETTING_TO_ADDRESS, dialog.toAddress) && allValid;
    allValid = WriteSetting(SETTING_SMTP_SERVER, dialog.smtpServer) && allValid;
    if (!allValid) {
        AppMessageBox(QStringLiteral("Some email options have been left blank or do not seem valid. "
                                     "Sentivo cannot function fully without valid addresses in all the boxes!"));
    }
    return allValid;
}
