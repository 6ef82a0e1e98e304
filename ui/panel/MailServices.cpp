#include "ui/panel/MailServices.h"

namespace {

// The sender's state: sending, waiting (with the last failure), or what was sent.
QString MainText(const MailSenderStatus& status)
{
    if (status.sending)
        return QStringLiteral("Mail: sending…");
    if (status.waiting > 0) {
        QString text = QStringLiteral("Mail: %1 waiting").arg(status.waiting);
        if (!status.lastFailure.empty())
            text += QStringLiteral(" — %1; %2next try in %3 s")
                        .arg(QString::fromStdString(status.lastFailure), status.permanent ? QStringLiteral("kept, ") : QString())
                        .arg(status.nextTryIn.count());
        return text;
    }
    return status.sent > 0 ? QStringLiteral("Mail: %1 sent").arg(status.sent) : QStringLiteral("Mail: nothing sent yet");
}

}  // namespace

QString MailStatusText(const MailSenderStatus& status)
{
    QString text = MainText(status);
    // A refusal stays until a mail goes through, also while sending or after a lesser failure.
    const bool refusalShown = status.waiting > 0 && !status.sending && status.lastFailure == status.refusal;
    if (!status.refusal.empty() && !refusalShown)
        text += QStringLiteral(" — refused: %1").arg(QString::fromStdString(status.refusal));
    if (!status.outboxProblem.empty())
        text += QStringLiteral(" — the outbox cannot be written, %1 kept in memory").arg(status.inMemory);
    if (!status.setAside.empty())
        text += QStringLiteral(" — %1, set aside").arg(QString::fromStdString(status.setAside));
    return text;
}

QString MqttStatusText(const MqttStatus& status)
{
    if (!status.connected)
        return status.problem.empty() ? QStringLiteral("MQTT: connecting…")
                                      : QStringLiteral("MQTT: not connected — %1").arg(QString::fromStdString(status.problem));
    return status.published > 0 ? QStringLiteral("MQTT: connected, %1 published").arg(status.published)
                                 : QStringLiteral("MQTT: connected");
}

QString PushStatusText(const PushStatus& status)
{
    if (!status.lastFailure.empty())
        return QStringLiteral("Push: %1 waiting — %2; next try in %3 s")
            .arg(status.waiting).arg(QString::fromStdString(status.lastFailure)).arg(status.nextTryIn.count());
    return status.sent > 0 ? QStringLiteral("Push: %1 sent").arg(status.sent) : QStringLiteral("Push: nothing sent yet");
}

bool MailStatusIsWarning(const MailSenderStatus& status)
{
    return !status.refusal.empty() || !status.outboxProblem.empty() || !status.setAside.empty();
}
