#include "ui/panel/MailServices.h"

QString MailStatusText(const MailSenderStatus& status)
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
