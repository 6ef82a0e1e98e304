#include "ui/preview/PreviewWindow.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace {
class PreviewWidget;
}

struct PreviewWindow::Channel {
    std::mutex mutex;
    std::condition_variable keyArrived;
    cv::Mat pending;                          // newest frame not yet taken by the window
    bool hasPending = false;
    int key = -1;                             // newest key not yet taken by the worker
    bool wantOpen = false;                    // the window should be on screen
    QString title;
    std::atomic<bool> wakePosted{false};      // a wake-up is on its way to the host

    // GUI thread only.
    PreviewWidget* widget = nullptr;
    bool shown = false;   // the window of this opening was made (and may since have been closed)
};

namespace {

using Channel = PreviewWindow::Channel;

// A key as a small non-negative code: the character typed, else Qt's key number.
int KeyCode(const QKeyEvent& event)
{
    const QString text = event.text();
    if (!text.isEmpty() && text.at(0).unicode() != 0)
        return text.at(0).unicode();
    return event.key() & 0x7fffffff;
}

class PreviewWidget final : public QWidget {
public:
    PreviewWidget(std::shared_ptr<Channel> channel, const QString& title) : channel_(std::move(channel))
    {
        setWindowTitle(title);
        setAttribute(Qt::WA_DeleteOnClose);   // the user may close it; the run goes on unseen
        setFocusPolicy(Qt::StrongFocus);
        channel_->widget = this;
    }
    ~PreviewWidget() override { channel_->widget = nullptr; }

    // The worker's buffer and ours trade places, so neither side copies while the other waits.
    void TakeNewestFrame()
    {
        {
            std::lock_guard lock(channel_->mutex);
            if (!channel_->hasPending)
                return;
            cv::swap(channel_->pending, shown_);
            channel_->hasPending = false;
        }
        if (size() != QSize(shown_.cols, shown_.rows))
            setFixedSize(shown_.cols, shown_.rows);   // the window takes the picture's size
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QImage image = AsImage(shown_);
        if (image.isNull())
            painter.fillRect(rect(), Qt::black);
        else
            painter.drawImage(0, 0, image);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        {
            std::lock_guard lock(channel_->mutex);
            channel_->key = KeyCode(*event);
        }
        channel_->keyArrived.notify_all();
    }

private:
    static QImage AsImage(const cv::Mat& mat)
    {
        const auto step = static_cast<qsizetype>(mat.step);
        if (mat.type() == CV_8UC3)
            return QImage(mat.data, mat.cols, mat.rows, step, QImage::Format_BGR888);
        if (mat.type() == CV_8UC1)
            return QImage(mat.data, mat.cols, mat.rows, step, QImage::Format_Grayscale8);
        return {};
    }

    std::shared_ptr<Channel> channel_;
    cv::Mat shown_;
};

}  // namespace

std::shared_ptr<PreviewHost> PreviewHost::Create()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    // The host (and with it the window) is deleted on its own thread, at once when the last
    // reference goes there, otherwise when that thread next runs its events.
    return std::shared_ptr<PreviewHost>(new PreviewHost, [](PreviewHost* host) {
        if (QThread::currentThread() == host->thread())
            delete host;
        else
            QMetaObject::invokeMethod(host, "deleteLater", Qt::QueuedConnection);
    });
}

PreviewHost::PreviewHost() : channel_(std::make_shared<PreviewWindow::Channel>()) {}

PreviewHost::~PreviewHost()
{
    delete channel_->widget;
}

void PreviewHost::Pump()
{
    channel_->wakePosted = false;   // before looking, so a request arriving meanwhile wakes anew
    bool wantOpen;
    QString title;
    {
        std::lock_guard lock(channel_->mutex);
        wantOpen = channel_->wantOpen;
        title = channel_->title;
    }
    if (!wantOpen) {
        delete channel_->widget;
        channel_->shown = false;
        return;
    }
    if (!channel_->widget) {
        if (channel_->shown)
            return;   // closed by the user: the run goes on unseen
        channel_->shown = true;
        (new PreviewWidget(channel_, title))->show();
    }
    channel_->widget->TakeNewestFrame();
}

PreviewWindow::PreviewWindow() : PreviewWindow(PreviewHost::Create()) {}

PreviewWindow::PreviewWindow(std::shared_ptr<PreviewHost> host)
    : host_(std::move(host)), channel_(host_ ? host_->channel() : std::make_shared<Channel>())
{
}

PreviewWindow::~PreviewWindow()
{
    Close();
}

void PreviewWindow::Wake()
{
    if (host_ && !channel_->wakePosted.exchange(true))
        QMetaObject::invokeMethod(host_.get(), "Pump", Qt::QueuedConnection);
}

void PreviewWindow::Open(const std::string& title)
{
    if (open_)
        return;
    open_ = true;
    {
        std::lock_guard lock(channel_->mutex);
        channel_->wantOpen = true;
        channel_->title = QString::fromStdString(title);
        channel_->hasPending = false;
    }
    Wake();
}

void PreviewWindow::Show(const cv::Mat& image)
{
    if (!open_)
        return;
    {
        std::lock_guard lock(channel_->mutex);
        image.copyTo(channel_->pending);   // same size as last time: no allocation
        channel_->hasPending = true;
    }
    Wake();   // a wake-up already on its way takes this frame instead of the last one
}

int PreviewWindow::WaitKey(int milliseconds)
{
    std::unique_lock lock(channel_->mutex);
    channel_->keyArrived.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return channel_->key >= 0; });
    return std::exchange(channel_->key, -1);
}

void PreviewWindow::Close()
{
    if (!open_)
        return;
    open_ = false;
    {
        std::lock_guard lock(channel_->mutex);
        channel_->wantOpen = false;
    }
    Wake();
}
