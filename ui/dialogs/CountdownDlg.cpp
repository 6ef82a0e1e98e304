#include "ui/dialogs/CountdownDlg.h"

#include "engine/Milliseconds.h"

#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"

#include <QKeyEvent>
#include <QProgressBar>
#include <algorithm>

CCountdownDlg::CCountdownDlg(QWidget* parent) : QDialog(parent)
{
    BuildDialog(*this, IDD_COUNTDOWN);
    progressBar = FindControl<QProgressBar>(*this, 1016);
}

void CCountdownDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!initialised) {
        initialised = true;
        OnInitDialog();
    }
}

void CCountdownDlg::OnInitDialog()
{
    elapsedMs = 0.0f;
    tickMs = 100.0f;
    // The whole millisecond count, so a delay above 65.535 s still fills the bar over its full
    // length; a 0..0 bar would show Qt's busy animation, where the native control shows it empty.
    progressBar->setRange(0, std::max(ToMilliseconds(delaySeconds), 1));
    progressBar->setValue(0);
    timer.start(static_cast<int>(tickMs), this);
}

void CCountdownDlg::timerEvent(QTimerEvent*)
{
    OnTimer();
}

void CCountdownDlg::OnTimer()
{
    if (closing)
        return;   // the close is on its way; ticks still queued change nothing
    elapsedMs = elapsedMs + tickMs;
    // The native bar holds a position beyond its range at the maximum (full); Qt would ignore it.
    progressBar->setValue(std::min(static_cast<int>(elapsedMs), progressBar->maximum()));
    // Over unless the delay is strictly greater; a NaN delay compares false and so is over too.
    const bool stillCounting = double(delaySeconds) * 1000.0 > double(elapsedMs);
    if (!stillCounting) {
        closing = true;
        timer.stop();
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void CCountdownDlg::keyPressEvent(QKeyEvent* event)
{
    // Without buttons, Enter has no default button to press; it ends the dialog like OK.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);   // Esc: reject()
}

void CCountdownDlg::done(int result)
{
    timer.stop();
    closing = true;
    QDialog::done(result);
}
