#include "ui/dialogs/DetectionAreaDlg.h"

#include "settings/DetectionSettings.h"
#include "ui/dialogs/FrameGrabber.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int IDC_CANVAS = 1050;
constexpr int IDC_ERASE = 1052;
constexpr int IDC_PAINT = 1051;
constexpr int IDC_WATCH_ALL = 1053;
constexpr int IDC_WATCH_NONE = 1054;
constexpr uchar watched = 255, ignored = 0;

// A grey 640x480 picture saying text, to draw on while there is no camera picture.
QImage Placeholder(const QString& text)
{
    QImage grey(640, 480, QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    QPainter painter(&grey);
    QFont font = painter.font();
    font.setPixelSize(32);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(grey.rect(), Qt::AlignCenter, text);
    return grey;
}

QImage PictureOrPlaceholder(const QImage& frame)
{
    return frame.isNull() ? Placeholder(QStringLiteral("No camera picture")) : frame.convertToFormat(QImage::Format_RGB32);
}

// The stored mask at the picture's size, each pixel either watched or ignored; all watched when
// there is none.
QImage StartingMask(const QString& maskFile, QSize size)
{
    QImage mask(size, QImage::Format_Grayscale8);
    mask.fill(watched);
    const QImage stored = maskFile.isEmpty() ? QImage() : QImage(maskFile);
    if (stored.isNull())
        return mask;
    mask = stored.convertToFormat(QImage::Format_Grayscale8).scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    for (int y = 0; y < mask.height(); ++y) {
        uchar* row = mask.scanLine(y);
        for (int x = 0; x < mask.width(); ++x)
            row[x] = row[x] >= 128 ? watched : ignored;
    }
    return mask;
}

}   // namespace

// The picture, scaled to fit keeping its aspect and centred, with the ignored parts tinted red;
// a drag shows its rectangle and, on release, paints it into the mask in picture pixels.
class CAreaCanvas : public QWidget {
public:
    CAreaCanvas(const QImage& picture, QImage mask, const QRadioButton* erase, QWidget* parent)
        : QWidget(parent), picture_(picture), mask_(std::move(mask)), erase_(erase)
    {
        setCursor(Qt::CrossCursor);
        MaskChanged();
    }

    const QImage& mask() const { return mask_; }

    // A new picture, maybe of another size: what was painted so far is scaled to it.
    void SetPicture(const QImage& picture)
    {
        picture_ = picture;
        mask_ = mask_.scaled(picture_.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        MaskChanged();
    }

    void Fill(uchar value)
    {
        mask_.fill(value);
        MaskChanged();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Dark));
        const QRect shown = Shown();
        painter.drawImage(shown, picture_);
        painter.setOpacity(0.5);
        painter.drawImage(shown, tint_);
        painter.setOpacity(1.0);
        if (dragging_) {
            painter.setPen(QPen(dragValue_ == watched ? Qt::white : Qt::red, 1, Qt::DashLine));
            painter.drawRect(QRect(anchor_, current_).normalized());
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (dragging_ || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton))
            return;
        dragging_ = true;
        dragButton_ = event->button();
        dragValue_ = (dragButton_ == Qt::RightButton || erase_->isChecked()) ? ignored : watched;
        anchor_ = current_ = event->position().toPoint();
        update();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (dragging_)
            current_ = event->position().toPoint(), update();
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (!dragging_ || event->button() != dragButton_)
            return;
        dragging_ = false;
        const QRect area = QRect(ToPicture(anchor_), ToPicture(event->position().toPoint())).normalized();
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memset(mask_.scanLine(y) + area.left(), dragValue_, std::size_t(area.width()));
        MaskChanged();
    }

private:
    QRect Shown() const
    {
        const QSize size = picture_.size().scaled(this->size(), Qt::KeepAspectRatio);
        return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    }

    // The picture pixel under a widget point; points beside the picture go to its nearest edge.
    QPoint ToPicture(QPoint point) const
    {
        const QRect shown = Shown();
        const auto map = [](int at, int origin, int shownLength, int length) {
            const int pixel = int(std::floor(double(at - origin) * length / shownLength));
            return std::clamp(pixel, 0, length - 1);
        };
        return QPoint(map(point.x(), shown.x(), shown.width(), picture_.width()),
                      map(point.y(), shown.y(), shown.height(), picture_.height()));
    }

    // The red layer is opaque exactly where the mask ignores.
    void MaskChanged()
    {
        QImage alpha = mask_;
        alpha.invertPixels();
        tint_ = QImage(mask_.size(), QImage::Format_ARGB32);
        tint_.fill(QColor(220, 0, 0));
        tint_.setAlphaChannel(alpha);
        update();
    }

    QImage picture_, mask_, tint_;
    const QRadioButton* erase_;
    bool dragging_ = false;
    Qt::MouseButton dragButton_ = Qt::NoButton;
    uchar dragValue_ = watched;
    QPoint anchor_, current_;
};

CDetectionAreaDlg::CDetectionAreaDlg(const QImage& frame, const QString& maskFile, QWidget* parent)
    : QDialog(parent)
{
    BuildDialog(*this, IDD_DETECTION_AREA);
    QWidget* placeholder = RequiredControl<QWidget>(*this, IDC_CANVAS);
    auto* paint = RequiredControl<QRadioButton>(*this, IDC_PAINT);
    erase_ = RequiredControl<QRadioButton>(*this, IDC_ERASE);
    auto* watchAll = RequiredControl<QPushButton>(*this, IDC_WATCH_ALL);
    auto* watchNone = RequiredControl<QPushButton>(*this, IDC_WATCH_NONE);
    paint->setChecked(true);
    const QImage picture = PictureOrPlaceholder(frame);
    canvas_ = new CAreaCanvas(picture, StartingMask(maskFile, picture.size()), erase_, placeholder);
    canvas_->setGeometry(placeholder->rect());
    connect(watchAll, &QPushButton::clicked, this, [this] { canvas_->Fill(watched); });
    connect(watchNone, &QPushButton::clicked, this, [this] { canvas_->Fill(ignored); });
}

CDetectionAreaDlg::CDetectionAreaDlg(CFrameGrabber& grabber, const QString& maskFile, QWidget* parent)
    : CDetectionAreaDlg(Placeholder(QStringLiteral("Waiting for the camera…")), maskFile, parent)
{
    const QString title = windowTitle();
    setWindowTitle(title + QStringLiteral(" — waiting for the camera…"));
    grabber.Grab(this, [this, title](const QImage& frame) {
        canvas_->SetPicture(PictureOrPlaceholder(frame));
        setWindowTitle(title);
    });
}

QWidget* CDetectionAreaDlg::canvas() const
{
    return canvas_;
}

const QImage& CDetectionAreaDlg::mask() const
{
    return canvas_->mask();
}

void CDetectionAreaDlg::accept()
{
    const QImage& area = mask();
    bool anyWatched = false;
    for (int y = 0; y < area.height() && !anyWatched; ++y)
        anyWatched = std::any_of(area.constScanLine(y), area.constScanLine(y) + area.width(),
                                 [](uchar value) { return value == watched; });
    if (!anyWatched) {
        AppMessageBox(QStringLiteral("Nothing is watched: paint at least one area, or press Watch all."));
        return;
    }
    const QString path = QFile::decodeName(DefaultMaskFile().c_str());
    QSaveFile file(path);
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()) || !file.open(QIODevice::WriteOnly)
        || !area.save(&file, "PNG") || !file.commit()) {
        AppMessageBox(QStringLiteral("The detection area could not be saved to %1: %2").arg(path, file.errorString()));
        return;
    }
    savedFile_ = path;
    QDialog::accept();
}

QString RunDetectionArea(QWidget* parent, CFrameGrabber& grabber, const QString& maskFile)
{
    CDetectionAreaDlg dialog(grabber, maskFile, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.savedFile() : QString();
}
