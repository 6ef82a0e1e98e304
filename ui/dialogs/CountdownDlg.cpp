#include "ui/dialogs/CountdownDlg.h"

#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"

#include <QKeyEvent>
#include <QProgressBar>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The bar's maximum: the delay in milliseconds, truncated toward zero. The whole count is kept
// (no 16-bit range), so a delay above 65.535 s still fills the bar over its full length.
// Values that have no integer (NaN, below zero, beyond int) are held to the ends of the range.
int RangeMaximum(float delaySeconds)
{
    const double ms = std::trunc(double(delaySeconds) * 1000.0);
    if (!(ms > 0.0))
        return 0;
    return ms >= double(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

}   // namespace

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
    // A 0..0 bar would show Qt's busy animation; the native control shows it empty.
    progressBar->setRange(0, std::max(RangeMaximum(delaySeconds), 1));
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
