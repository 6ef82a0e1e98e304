#include "ui/history/HistoryWindow.h"

#include "journal/JournalReader.h"
#include "ui/dialogs/MessageBox.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <map>

namespace fs = std::filesystem;

namespace {

constexpr const char* kObjectName = "historyWindow";
constexpr QSize kThumbnail(160, 120);
enum Role { EventId = Qt::UserRole, Picture, Story, Clip };
enum Column { TimeColumn, EventColumn, DeliveryColumn, NoteColumn };

QString Q(const std::string& text) { return QString::fromStdString(text); }
// File names are bytes, taken as the file system's encoding.
QString PathQ(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
fs::path PathOf(const QString& path) { return QFile::encodeName(path).toStdString(); }
QDateTime Local(std::int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms); }
QString ClockTime(std::int64_t ms) { return Local(ms).toString(QStringLiteral("HH:mm:ss")); }

// Only a regular file is read or opened: a FIFO in a picture's place would hang the window.
bool IsFile(const QString& path)
{
    std::error_code error;
    return !path.isEmpty() && fs::is_regular_file(PathOf(path), error);
}

// The story sheet, else the picture, scaled while it is decoded; none when neither can be read.
QIcon Thumbnail(const QString& story, const QString& picture)
{
    for (const QString& path : {story, picture}) {
        if (!IsFile(path))
            continue;
        QImageReader reader(path);
        const QSize size = reader.size();
        if (size.isValid())
            reader.setScaledSize(size.scaled(kThumbnail, Qt::KeepAspectRatio));
        if (const QImage image = reader.read(); !image.isNull())
            return QIcon(QPixmap::fromImage(image));
    }
    return {};
}

// "mail: sent 13:05:10; push: refused (403 forbidden)".
QString DeliveryText(const std::vector<JournalDelivery>& deliveries)
{
    QStringList parts;
    for (const JournalDelivery& delivery : deliveries) {
        QString part = Q(delivery.channel) + ": " + DeliveryStateName(delivery.state) + " " + ClockTime(delivery.at);
        if (!delivery.reason.empty())
            part += " (" + Q(delivery.reason) + ")";
        parts << part;
    }
    return parts.join(QStringLiteral("; "));
}

QTreeWidgetItem* EventItem(const JournalEvent& event)
{
    QString what = Q(event.kind);
    if (event.pictureNumber > 0)
        what += QStringLiteral(" (picture %1)").arg(event.pictureNumber);
    auto* item = new QTreeWidgetItem({ClockTime(event.at), what, DeliveryText(event.deliveries), Q(event.note)});
    item->setData(TimeColumn, EventId, QVariant::fromValue<qlonglong>(event.id));
    item->setData(TimeColumn, Picture, PathQ(event.picture));
    item->setData(TimeColumn, Story, PathQ(event.story));
    item->setData(TimeColumn, Clip, PathQ(event.clip));
    return item;
}

// A run's start and end as rows of the day they happened on.
std::vector<std::pair<std::int64_t, QTreeWidgetItem*>> RunItems(const JournalRun& run)
{
    std::vector<std::pair<std::int64_t, QTreeWidgetItem*>> items;
    const QString mode = run.detectMode.empty() ? QString() : " (" + Q(run.detectMode) + " detection)";
    items.emplace_back(run.startedAt, new QTreeWidgetItem({ClockTime(run.startedAt), "armed" + mode}));
    if (run.endedAt > 0)
        items.emplace_back(run.endedAt, new QTreeWidgetItem({ClockTime(run.endedAt), "disarmed: " + Q(run.howEnded)}));
    return items;
}

class HistoryWindow : public QWidget {
public:
    HistoryWindow(QWidget* parent, fs::path file);
    void Reload();

private:
    QPushButton* AddButton(QHBoxLayout* row, const QString& text, const char* name);
    void FillThumbnails(QTreeWidgetItem* day);
    void UpdateButtons();
    QString Selected(Role role) const;
    void Open(const QString& path);
    void DeleteSelected();

    fs::path file_;
    QLabel* problem_ = new QLabel(this);
    QTreeWidget* tree_ = new QTreeWidget(this);
    QPushButton *openPicture_ = nullptr, *openStory_ = nullptr, *openClip_ = nullptr, *delete_ = nullptr;
};

HistoryWindow::HistoryWindow(QWidget* parent, fs::path file) : QWidget(parent, Qt::Window), file_(std::move(file))
{
    setObjectName(kObjectName);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QCoreApplication::applicationName() + " - History");
    resize(900, 600);
    problem_->setWordWrap(true);
    problem_->hide();
    tree_->setHeaderLabels({"Time", "Event", "Delivery", "Note"});
    tree_->setIconSize(kThumbnail);
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(tree_, &QTreeWidget::itemExpanded, this, &HistoryWindow::FillThumbnails);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &HistoryWindow::UpdateButtons);
    connect(tree_, &QTreeWidget::itemActivated, this, [this] {
        for (const Role role : {Story, Picture, Clip})
            if (IsFile(Selected(role)))
                return Open(Selected(role));
    });
    auto* row = new QHBoxLayout;
    openPicture_ = AddButton(row, "Open &picture", "openPicture");
    openStory_ = AddButton(row, "Open &story sheet", "openStory");
    openClip_ = AddButton(row, "Open &clip", "openClip");
    delete_ = AddButton(row, "&Delete...", "delete");
    row->addStretch();
    connect(AddButton(row, "&Refresh", "refresh"), &QPushButton::clicked, this, &HistoryWindow::Reload);
    connect(AddButton(row, "Close", "close"), &QPushButton::clicked, this, &QWidget::close);
    connect(openPicture_, &QPushButton::clicked, this, [this] { Open(Selected(Picture)); });
    connect(openStory_, &QPushButton::clicked, this, [this] { Open(Selected(Story)); });
    connect(openClip_, &QPushButton::clicked, this, [this] { Open(Selected(Clip)); });
    connect(delete_, &QPushButton::clicked, this, &HistoryWindow::DeleteSelected);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(problem_);
    layout->addWidget(tree_);
    layout->addLayout(row);
    Reload();
}

QPushButton* HistoryWindow::AddButton(QHBoxLayout* row, const QString& text, const char* name)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    row->addWidget(button);
    return button;
}

// Days newest first, each day's rows in the order they happened; the newest day open.
void HistoryWindow::Reload()
{
    JournalContents contents;
    std::string reason;
    const bool read = ReadJournal(file_, contents, reason);
    problem_->setText(Q(reason));
    problem_->setVisible(!read);
    std::multimap<std::int64_t, QTreeWidgetItem*> rows;
    for (const JournalRun& run : contents.runs)
        for (const auto& row : RunItems(run))
            rows.insert(row);
    for (const JournalEvent& event : contents.events)
        rows.emplace(event.at, EventItem(event));
    tree_->clear();
    std::map<QDate, QTreeWidgetItem*, std::greater<>> days;
    for (const auto& [at, item] : rows) {
        QTreeWidgetItem*& day = days[Local(at).date()];
        if (!day)
            day = new QTreeWidgetItem({QLocale().toString(Local(at).date(), QLocale::LongFormat)});
        day->addChild(item);
    }
    for (const auto& [date, day] : days) {
        tree_->addTopLevelItem(day);
        day->setFirstColumnSpanned(true);
    }
    if (tree_->topLevelItemCount() > 0)
        tree_->expandItem(tree_->topLevelItem(0));
    UpdateButtons();
}

// Thumbnails are read when their day is opened: a long history costs nothing until it is looked at.
void HistoryWindow::FillThumbnails(QTreeWidgetItem* day)
{
    for (int i = 0; i < day->childCount(); ++i) {
        QTreeWidgetItem* item = day->child(i);
        if (item->icon(TimeColumn).isNull())
            item->setIcon(TimeColumn, Thumbnail(item->data(TimeColumn, Story).toString(),
                                                item->data(TimeColumn, Picture).toString()));
    }
}

QString HistoryWindow::Selected(Role role) const
{
    const QTreeWidgetItem* item = tree_->currentItem();
    return item ? item->data(TimeColumn, role).toString() : QString();
}

void HistoryWindow::UpdateButtons()
{
    openPicture_->setEnabled(IsFile(Selected(Picture)));
    openStory_->setEnabled(IsFile(Selected(Story)));
    openClip_->setEnabled(IsFile(Selected(Clip)));
    delete_->setEnabled(tree_->currentItem() && tree_->currentItem()->data(TimeColumn, EventId).toLongLong() != 0);
}

void HistoryWindow::Open(const QString& path)
{
    if (!IsFile(path))
        return AppMessageBox(path + " is not there any more.");
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        AppMessageBox("No program on this desktop opens " + path + ".");
}

void HistoryWindow::DeleteSelected()
{
    const QTreeWidgetItem* item = tree_->currentItem();
    const qlonglong id = item ? item->data(TimeColumn, EventId).toLongLong() : 0;
    if (id == 0)
        return;
    QStringList files;
    for (const Role role : {Picture, Story, Clip})
        if (IsFile(Selected(role)))
            files << PathQ(PathOf(Selected(role)).filename().string());
    const QString question = "Delete the " + item->text(EventColumn) + " of " + item->parent()->text(TimeColumn)
        + ", " + item->text(TimeColumn) + (files.isEmpty() ? "?" : " and its files (" + files.join(", ") + ")?");
    if (QMessageBox::question(this, QCoreApplication::applicationName(), question) != QMessageBox::Yes)
        return;
    if (std::string reason; !DeleteJournalEvent(file_, id, reason))
        AppMessageBox(Q(reason));
    Reload();
}

}  // namespace

QWidget* ShowHistoryWindow(QWidget* parent, const fs::path& journalFile)
{
    auto* window =
        parent ? dynamic_cast<HistoryWindow*>(parent->findChild<QWidget*>(kObjectName, Qt::FindDirectChildrenOnly))
               : nullptr;
    if (window)
        window->Reload();
    else
        window = new HistoryWindow(parent, journalFile);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
