#include "ui/dialogs/OptionsDlg.h"

#include "mail/MailConfig.h"
#include "mail/SmtpUrl.h"
#include "ui/templates/DialogBuilder.h"
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
constexpr int RESOURCE_ID = 131;

// The test attachment, found as the program's other shipped files are (FindResource).
constexpr const char* testPicture = "sentivo.jpg";

const QString unsentText =
    QStringLiteral("Email could not be sent. Please check addresses and the SMTP server is that of your ISP.\n");

// The security box's entries, in order, with what the settings store keeps for each.
struct SecurityChoice {
    const char* stored;
    MailSecurity security;
    const char* shown;   // in the test e-mail's text
};
constexpr SecurityChoice securityChoices[] = {
    {"STARTTLS", MailSecurity::StartTls, "STARTTLS"},
    {"SSL", MailSecurity::Ssl, "SSL/TLS"},
    {"NONE", MailSecurity::None, "none"},
};

// The entry for a stored text; nothing for empty or unknown (the default).
const SecurityChoice* StoredSecurity(const std::string& text)
{
    for (const SecurityChoice& choice : securityChoices)
        if (text == choice.stored)
            return &choice;
    return nullptr;
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
    BuildDialog(*this, RESOURCE_ID);
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
    connect(securityCombo, &QComboBox::activated, this, [this] { securityPicked_ = true; });
    connect(testButton_, &QPushButton::clicked, this, &COptionsDlg::OnSendTestEmail);
    connect(testPoll_, &QTimer::timeout, this, [this] {
        if (testSend_.wait_for(0s) == std::future_status::ready)
            FinishTestEmail();
    });
    if (auto* help = FindControl<QPushButton>(*this, IDC_HELP))
        connect(help, &QPushButton::clicked, this, [] { OpenProductWebPage(); });
}

COptionsDlg::~COptionsDlg()
{
    CancelTestEmail();
}

void COptionsDlg::DoDataExchange(bool saveAndValidate)
{
    if (saveAndValidate) {
        fromAddress = FromBox(fromEdit);
        smtpServer = FromBox(smtpEdit);
        toAddress = FromBox(toEdit);
        port = FromBox(portEdit);
        // Untouched, an empty (or unknown) security stays the default: STARTTLS when offered.
        if (securityPicked_)
            security = securityChoices[securityCombo->currentIndex()].stored;
        else if (!StoredSecurity(security))
            security.clear();
        userName = userNameEdit->text().toStdString();
        password = passwordEdit->text().toStdString();
    } else {
        fromEdit->setText(FromSingleByte(fromAddress));
        smtpEdit->setText(FromSingleByte(smtpServer));
        toEdit->setText(FromSingleByte(toAddress));
        portEdit->setText(FromSingleByte(port));
        const SecurityChoice* stored = StoredSecurity(security);
        securityCombo->setCurrentIndex(stored ? int(stored - securityChoices) : 0);
        securityPicked_ = false;
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
    CancelTestEmail();
    QDialog::done(result);
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
    // The security the alarm mails would use: the one picked, else the stored one (or the default).
    const SecurityChoice* choice = securityPicked_ ? &securityChoices[securityCombo->currentIndex()]
                                                   : StoredSecurity(security);
    MailServer server{.server = serverText,
                      .port = FromBox(portEdit).empty() ? 0 : portEdit->text().toLong(),
                      .security = choice ? choice->security : MailSecurity::Default,
                      .login = login.login.given,
                      .userName = login.login.userName,
                      .password = login.login.password};
    const QByteArray bytes = picture.readAll();
    MailMessage message{.fromAddress = from,
                        .toAddress = to,
                        .subject = "Sentivo test e-mail",
                        .body = TestBody(server, choice ? choice->shown : "STARTTLS when the server offers it"),
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
    if (result.sent) {
        AppMessageBox(QStringLiteral("An email with a test attachment should be waiting in your \"To\" email inbox!"));
    } else {
        // The library's reason on a line of its own lets the user tell a wrong password from a
        // wrong server.
        AppMessageBox(unsentText + QString::fromStdString(result.reason));
    }
}

void COptionsDlg::CancelTestEmail()
{
    if (!testSend_.valid())
        return;
    testPoll_->stop();
    testCancel_->store(true);
    // The send ends within about a second of the flag; should it not, the thread is let go with
    // its own copies of everything it uses, and its result is dropped.
    if (testSend_.wait_for(1200ms) == std::future_status::ready)
        testThread_.join();
    else
        testThread_.detach();
    testSend_ = {};
    testButton_->setText(QStringLiteral("Send a test &email"));
    testButton_->setEnabled(true);
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
