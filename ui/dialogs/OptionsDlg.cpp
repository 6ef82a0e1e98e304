#include "ui/dialogs/OptionsDlg.h"

#include "mail/MailConfig.h"
#include "mail/SmtpUrl.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"
#include "settings/AppPaths.h"
#include "settings/MailSettingsCodec.h"
#include "settings/SmtpCredentials.h"
#include "settings/SettingsStore.h"
#include "settings/SingleByteText.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/ProductWebPage.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>
#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr int IDC_FROM = 1007;
constexpr int IDC_SMTP = 1008;
constexpr int IDC_TO = 1009;
constexpr int IDC_SEND_TEST_EMAIL = 1014;
constexpr int IDC_HELP = 1015;
constexpr int IDC_PORT = 1032;
constexpr int IDC_SECURITY = 1033;
constexpr int IDC_USER_NAME = 1034;
constexpr int IDC_PASSWORD = 1035;

// The test attachment, found as the program's other shipped files are (FindResource).
constexpr const char* testPicture = "sentivo.jpg";

const QString unsentText =
    QStringLiteral("Email could not be sent. Please check addresses and the SMTP server is that of your ISP.\n");

// The security box's entries, in order, with what the settings store keeps for each (empty: the
// default) and what the test e-mail's text calls it.
struct SecurityChoice {
    const char* stored;
    MailSecurity security;
    const char* shown;
};
constexpr SecurityChoice securityChoices[] = {
    {"", MailSecurity::Default, "STARTTLS when the server offers it"},
    {"STARTTLS", MailSecurity::StartTls, "STARTTLS"},
    {"SSL", MailSecurity::Ssl, "SSL/TLS"},
    {"NONE", MailSecurity::None, "none"},
};

// The entry for a stored text; an unknown one is shown, and saved again, as the default.
const SecurityChoice& StoredSecurity(const std::string& text)
{
    for (const SecurityChoice& choice : securityChoices)
        if (text == choice.stored)
            return choice;
    return securityChoices[0];
}

std::string FromBox(const QLineEdit* edit)
{
    return ToSingleByte(edit->text());
}

bool ValidPort(const std::string& text)
{
    return text.empty() || PortFromText(text);
}

// What the test e-mail says about how it travelled: the server as typed, the port the mail
// library connects to (environment override, Port box, the server text's, or the default).
std::string TestBody(const MailServer& server, const char* security)
{
    const std::optional<std::string> url =
        SmtpUrl(server.server, GetMailConfig().port.value_or(server.port), server.security == MailSecurity::Ssl);
    const std::string port = url ? url->substr(url->rfind(':') + 1) : "default";
    return "This is a test e-mail from Sentivo: its alarm pictures will reach you the same way.\r\n\r\n"
           "Server: " + server.server + "\r\nPort: " + port + "\r\nSecurity: " + security + "\r\n";
}

}  // namespace

COptionsDlg::COptionsDlg(QWidget* parent)
    : QDialog(parent), testPoll_(new QTimer(this))
{
    BuildDialog(*this, IDD_OPTIONS);
    toEdit = RequiredControl<QLineEdit>(*this, IDC_TO);
    smtpEdit = RequiredControl<QLineEdit>(*this, IDC_SMTP);
    fromEdit = RequiredControl<QLineEdit>(*this, IDC_FROM);
    portEdit = RequiredControl<QLineEdit>(*this, IDC_PORT);
    securityCombo = RequiredControl<QComboBox>(*this, IDC_SECURITY);
    userNameEdit = RequiredControl<QLineEdit>(*this, IDC_USER_NAME);
    passwordEdit = RequiredControl<QLineEdit>(*this, IDC_PASSWORD);
    testButton_ = RequiredControl<QPushButton>(*this, IDC_SEND_TEST_EMAIL);
    templateSize_ = size();
    loginNotice = new QLabel(this);
    loginNotice->setWordWrap(true);
    loginNotice->hide();
    if (securityCombo->count() != int(std::size(securityChoices)))
        throw std::runtime_error("Options dialog template lists other securities");
    connect(testButton_, &QPushButton::clicked, this, &COptionsDlg::OnSendTestEmail);
    connect(testPoll_, &QTimer::timeout, this, [this] {
        if (testSend_.wait_for(0s) == std::future_status::ready)
            FinishTestEmail();
    });
    if (auto* help = FindControl<QPushButton>(*this, IDC_HELP))
        connect(help, &QPushButton::clicked, this, [this] { OpenProductWebPage(this); });
}

COptionsDlg::~COptionsDlg()
{
    // Only a dialog destroyed without being closed can still be sending: the send ends within
    // about a second of the flag (its time-outs bound it anyway), and is waited for.
    if (testSend_.valid()) {
        testCancel_->store(true);
        testThread_.join();
    }
}

void COptionsDlg::DoDataExchange(bool saveAndValidate)
{
    if (saveAndValidate) {
        fromAddress = FromBox(fromEdit);
        smtpServer = FromBox(smtpEdit);
        toAddress = FromBox(toEdit);
        port = FromBox(portEdit);
        security = securityChoices[securityCombo->currentIndex()].stored;
        userName = userNameEdit->text().toStdString();
        password = passwordEdit->text().toStdString();
    } else {
        fromEdit->setText(FromSingleByte(fromAddress));
        smtpEdit->setText(FromSingleByte(smtpServer));
        toEdit->setText(FromSingleByte(toAddress));
        portEdit->setText(FromSingleByte(port));
        securityCombo->setCurrentIndex(int(&StoredSecurity(security) - securityChoices));
        userNameEdit->setText(QString::fromStdString(userName));
        passwordEdit->setText(QString::fromStdString(password));
    }
}

int COptionsDlg::exec()
{
    DoDataExchange(false);
    ShowLoginSource();
    return QDialog::exec();
}

void COptionsDlg::ShowLoginSource()
{
    const bool overridden = WorkingFolderCredentialsPresent();
    QSize size = templateSize_;
    if (overridden) {
        loginNotice->setText(QStringLiteral("The login in %1 is used for every mail: an auth.txt in the working folder "
                                            "overrides the user name and password above.")
                                 .arg(QFile::decodeName(WorkingFolderCredentialsFile().c_str())));
        // Below the last box, as wide as the boxes' column and the labels' together.
        const QRect last = passwordEdit->geometry();
        const int margin = templateSize_.width() - last.right() - 1;
        const int width = templateSize_.width() - 2 * margin;
        loginNotice->setGeometry(margin, last.bottom() + 1 + margin / 2, width, loginNotice->heightForWidth(width));
        size.setHeight(loginNotice->geometry().bottom() + 1 + margin);
    }
    loginNotice->setVisible(overridden);
    setFixedSize(size);
}

void COptionsDlg::accept()
{
    if (!ValidPort(FromBox(portEdit))) {
        AppMessageBox(QStringLiteral("The port must be empty or a number from 1 to 65535."));
        return;
    }
    DoDataExchange(true);
    QDialog::accept();
}

void COptionsDlg::done(int result)
{
    if (!testSend_.valid()) {
        QDialog::done(result);
        return;
    }
    // A test e-mail still going is told to stop, and the dialog closes once its thread has ended
    // (within about a second): the GUI thread does not wait for it, and no thread outlives the
    // dialog.
    if (!closeResult_) {
        closeResult_ = result;
        testCancel_->store(true);
        testButton_->setText(QStringLiteral("Cancelling…"));
        setEnabled(false);
    }
}

void COptionsDlg::OnSendTestEmail()
{
    if (testSend_.valid())
        return;
    // The boxes go into the SMTP envelope as typed, so they are checked as the stored addresses
    // are (To, From, then the server: the sender's own rule) and nothing is sent while one fails:
    // "a@b.net> SIZE=1" would otherwise reach the server as a command parameter.
    const std::string to = FromBox(toEdit);
    if (to.size() < 5 || !IsValidEmailAddress(to)) {
        AppMessageBox(QStringLiteral("\"To\" email is invalid"));
        return;
    }
    const std::string from = FromBox(fromEdit);
    if (from.size() < 5 || !IsValidEmailAddress(from)) {
        AppMessageBox(QStringLiteral("\"From\" email is invalid"));
        return;
    }
    const std::string serverText = FromBox(smtpEdit);
    if (!IsValidServerAddress(serverText)) {
        AppMessageBox(QStringLiteral("SMTP server address is invalid"));
        return;
    }
    if (!ValidPort(FromBox(portEdit))) {
        AppMessageBox(QStringLiteral("The port must be empty or a number from 1 to 65535."));
        return;
    }
    QFile picture(QFile::decodeName(FindResource(testPicture).c_str()));
    if (!picture.open(QIODevice::ReadOnly)) {
        AppMessageBox(unsentText + QStringLiteral("%1 could not be read: %2").arg(picture.fileName(), picture.errorString()));
        return;
    }
    // The login the alarm mails would use once OK saved the boxes: a working folder's auth.txt
    // overrides them, for the test as for the alarm mails.
    const CredentialsRead login = ResolveLogin(SmtpLogin{.given = !userNameEdit->text().isEmpty(),
                                                         .userName = userNameEdit->text().toStdString(),
                                                         .password = passwordEdit->text().toStdString()});
    if (!login.problem.empty()) {
        AppMessageBox(unsentText + QString::fromStdString(login.problem));
        return;
    }
    const SecurityChoice& choice = securityChoices[securityCombo->currentIndex()];
    MailServer server{.server = serverText,
                      .port = FromBox(portEdit).empty() ? 0 : portEdit->text().toLong(),
                      .security = choice.security,
                      .login = login.login.given,
                      .userName = login.login.userName,
                      .password = login.login.password};
    const QByteArray bytes = picture.readAll();
    MailMessage message{.fromAddress = from,
                        .toAddress = to,
                        .subject = "Sentivo test e-mail",
                        .body = TestBody(server, choice.shown),
                        .attachments = {{testPicture, bytes.toStdString()}}};

    // The result comes back through the future alone; the GUI polls it, so no data crosses
    // threads through Qt.
    std::promise<MailResult> promise;
    testSend_ = promise.get_future();
    testCancel_ = std::make_shared<std::atomic<bool>>(false);
    testThread_ = std::thread([promise = std::move(promise), server = std::move(server),
                               message = std::move(message), cancel = testCancel_]() mutable {
        promise.set_value(SendMail(server, message, cancel.get()));
    });
    testButton_->setEnabled(false);
    testButton_->setText(QStringLiteral("Sending…"));
    testPoll_->start(50);
}

void COptionsDlg::FinishTestEmail()
{
    const MailResult result = testSend_.get();
    testThread_.join();
    testPoll_->stop();
    testButton_->setText(QStringLiteral("Send a test &email"));
    testButton_->setEnabled(true);
    if (closeResult_) {
        // Cancelled on the way out: the result is of no interest any more.
        setEnabled(true);
        QDialog::done(*std::exchange(closeResult_, std::nullopt));
    } else if (result.sent) {
        AppMessageBox(QStringLiteral("An email with a test attachment should be waiting in your \"To\" email inbox!"));
    } else {
        // The library's reason on a line of its own lets the user tell a wrong password from a
        // wrong server.
        AppMessageBox(unsentText + QString::fromStdString(result.reason));
    }
}

bool RunEmailOptions(const std::function<void()>& settingsChanged)
{
    COptionsDlg dialog;
    ReadSetting(SETTING_FROM_ADDRESS, dialog.fromAddress);
    ReadSetting(SETTING_TO_ADDRESS, dialog.toAddress);
    ReadSetting(SETTING_SMTP_SERVER, dialog.smtpServer);
    dialog.port = ReadNamedSetting(SETTING_SMTP_PORT).value_or("");
    dialog.security = ReadNamedSetting(SETTING_SMTP_SECURITY).value_or("");
    // The boxes hold the saved login (a working folder's auth.txt, which overrides it, is named
    // in the dialog instead).
    const SmtpLogin saved = ReadSmtpCredentials(SavedCredentialsFile()).login;
    const std::string &userName = saved.userName, &password = saved.password;
    dialog.userName = userName;
    dialog.password = password;
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
    WriteNamedSetting(SETTING_SMTP_PORT, dialog.port);
    WriteNamedSetting(SETTING_SMTP_SECURITY, dialog.security);
    // Saved only when changed: OK alone does not rewrite the file.
    std::string reason;
    if ((dialog.userName != userName || dialog.password != password)
        && !WriteSmtpCredentials(dialog.userName, dialog.password, reason))
        AppMessageBox(QStringLiteral("The SMTP login could not be saved: ") + QString::fromStdString(reason));
    if (settingsChanged)
        settingsChanged();
    return allValid;
}
