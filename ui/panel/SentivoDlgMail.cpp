// The control panel's status line: the mail sender's state, refreshed about once a second, and a
// warning about a credentials file that other users can read.
#include "ui/panel/SentivoDlg.h"

#include "log/EventLog.h"
#include "settings/SmtpCredentials.h"

#include <QLabel>
#include <QTimer>

void CSentivoDlg::SetMailServices(MailServices services)
{
    mail_ = std::move(services);
    if (mail_.status)
        mailStatusTimer_->start(1000);
    else
        mailStatusTimer_->stop();
    RefreshMailStatus();
}

void CSentivoDlg::CheckCredentialsFile()
{
    std::error_code error;   // a relative name stays as it is when the working folder is gone
    std::filesystem::path file = std::filesystem::absolute(CredentialsFile(), error);
    if (error)
        file = CredentialsFile();
    if (!ReadableByOthers(file))
        return;
    const std::string notice = "credentials file " + file.string() + " can be read by other users";
    if (mail_.log)
        mail_.log->Write(notice);
    credentialsNotice_ = QStringLiteral("Warning: ") + QString::fromStdString(notice);
    RefreshMailStatus();
}

void CSentivoDlg::RefreshMailStatus()
{
    if (!mail_.status) {
        mailStatusLabel_->clear();
        return;
    }
    const QString mail = MailStatusText(mail_.status());
    const QString text = credentialsNotice_.isEmpty() ? mail : credentialsNotice_ + '\n' + mail;
    if (text != mailStatusLabel_->text()) {
        mailStatusLabel_->setText(text);
        mailStatusLabel_->setToolTip(text);   // a long path may not fit
    }
}
