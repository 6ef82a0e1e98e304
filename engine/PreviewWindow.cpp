#include "engine/PreviewWindow.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
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
    std::atomic<bool> takePosted{false};      // a queued "take the newest frame" is on its way

    // GUI thread only.
    PreviewWidget* widget = nullptr;
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

// Runs f later on the GUI thread; false when there is no widget application to run it.
template <typename F>
bool PostToGui(F&& f)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app))
        return false;
    return QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::QueuedConnection);
}

}  // namespace

PreviewWindow::PreviewWindow() : channel_(std::make_shared<Channel>()) {}

PreviewWindow::~PreviewWindow()
{
    Close();
}

void PreviewWindow::Open(const std::string& title)
{
    if (open_)
        return;
    open_ = true;
    PostToGui([channel = channel_, title = QString::fromStdString(title)] {
        if (!channel->widget)
            (new PreviewWidget(channel, title))->show();
    });
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
    if (channel_->takePosted.exchange(true))
        return;   // the window has not yet taken the last one: it will take this one instead
    const bool posted = PostToGui([channel = channel_] {
        channel->takePosted = false;   // before taking, so a frame arriving meanwhile posts anew
        if (channel->widget)
            channel->widget->TakeNewestFrame();
    });
    if (!posted)
        channel_->takePosted = false;
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
    PostToGui([channel = channel_] { delete channel->widget; });
}
