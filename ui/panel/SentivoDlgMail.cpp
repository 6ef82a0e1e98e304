// The control panel's status line, top down: how the run goes (or why it ended), the settings that
// could not be used, a warning about a credentials file that other users can read, and the mail
// sender's state, refreshed about once a second; a refused mail or a lost outbox goes above the
// notices, so that none of them hides it.
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

void CSentivoDlg::ShowRunStatus(const std::string& text)
{
    runStatus_ = disarmedRemotely_ && text.starts_with("Run ended") ? QStringLiteral("Disarmed remotely")
                                                                    : QString::fromStdString(text);
    RefreshMailStatus();
}

void CSentivoDlg::ShowSettingsProblems(const std::vector<std::string>& problems)
{
    settingsNotices_.clear();
    for (const std::string& problem : problems) {
        if (mail_.log)
            mail_.log->Write(problem);
        settingsNotices_ << QString::fromStdString(problem);
    }
    RefreshMailStatus();
}

void CSentivoDlg::RefreshMailStatus()
{
    QStringList lines = settingsNotices_;
    if (!runStatus_.isEmpty())
        lines.prepend(runStatus_);
    // Without a sender (a panel wired without mail) there is no mail status and no login to warn of.
    const bool mail = static_cast<bool>(mail_.status);
    const MailSenderStatus status = mail ? mail_.status() : MailSenderStatus{};
    if (mail && !credentialsNotice_.isEmpty())
        lines << credentialsNotice_;
    // A refused alarm mail or a lost outbox goes above the lesser notices, which never hide it.
    QString channels = mail ? MailStatusText(status) : QString();
    if (mail_.mqtt)
        channels += (channels.isEmpty() ? QString() : QStringLiteral(" · ")) + MqttStatusText(mail_.mqtt());
    if (mail_.push)
        channels += (channels.isEmpty() ? QString() : QStringLiteral(" · ")) + PushStatusText(mail_.push());
    if (!channels.isEmpty())
        lines.insert(MailStatusIsWarning(status) ? (runStatus_.isEmpty() ? 0 : 1) : lines.size(), channels);
    const QString text = lines.join('\n');
    if (text != mailStatusLabel_->text()) {
        mailStatusLabel_->setText(text);
        mailStatusLabel_->setToolTip(text);   // a long path may not fit
    }
}
