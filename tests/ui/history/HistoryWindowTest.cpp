// The History window over a journal written by the journal's own writer: a run's events by day,
// thumbnails, delivery states, opening a clip and deleting an event with its files.

#include "journal/Journal.h"
#include "journal/JournalReader.h"
#include "tests/support/TestDirectory.h"
#include "tests/support/qt/UrlRecorder.h"
#include "ui/history/HistoryWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstring>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

fs::path Picture(const TestDirectory& dir, const std::string& name, Qt::GlobalColor color)
{
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(color);
    const fs::path file = dir.path() / name;
    image.save(QString::fromStdString(file.string()));
    return file;
}

std::int64_t At(int daysAgo, int hour, int minute)
{
    return QDateTime(QDate::currentDate().addDays(-daysAgo), QTime(hour, minute)).toMSecsSinceEpoch();
}

// The thumbnail's middle colour; black when there is none.
QColor Middle(const QTreeWidgetItem* item)
{
    const QImage image = item->icon(0).pixmap(QSize(40, 30)).toImage();
    return image.isNull() ? QColor(Qt::black) : image.pixelColor(image.width() / 2, image.height() / 2);
}

}  // namespace

TEST(HistoryWindow, ListsRunsByDayWithThumbnailsDeliveriesAndDeletes)
{
    TestDirectory dir;
    const fs::path file = dir.dataHome() / "journal.sqlite", clip = dir.path() / "clip_1.mp4";
    dir.WriteFile("clip_1.mp4", "mp4");
    const fs::path picture = Picture(dir, "pic_1.jpg", Qt::blue), story = Picture(dir, "pic_1-story.jpg", Qt::red);
    {
        JournalOpening opening = Journal::Open(file);
        ASSERT_TRUE(opening.journal) << opening.note;
        Journal& journal = *opening.journal;
        const std::int64_t yesterday = journal.BeginRun("motion", At(1, 9, 0));
        journal.Record({.runId = yesterday, .at = At(1, 9, 1), .kind = "alarm", .pictureNumber = 7,
                        .picture = Picture(dir, "pic_7.jpg", Qt::green),
                        .deliveries = {{.channel = "mail", .state = DeliveryState::Sent}}});
        journal.EndRun(yesterday, "stopped", At(1, 10, 0));
        const std::int64_t today = journal.BeginRun("face", At(0, 0, 1));
        journal.Record({.runId = today, .at = At(0, 0, 2), .kind = "alarm", .pictureNumber = 1, .picture = picture,
                        .story = story, .clip = clip,
                        .deliveries = {{.channel = "mail", .state = DeliveryState::Sent},
                                       {.channel = "push", .state = DeliveryState::Refused, .reason = "403"}}});
        journal.Record({.runId = today, .at = At(0, 0, 3), .kind = "camera covered", .note = "no structure"});
        ASSERT_EQ(journal.Flush(), "");
    }

    QWidget parent;
    QWidget* window = ShowHistoryWindow(&parent, file);
    auto* tree = window->findChild<QTreeWidget*>();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    tree->expandItem(tree->topLevelItem(1));
    const struct {
        int day, row;
        const char* event;
        const char* delivery;
        QColor thumbnail;
    } rows[] = {
        {0, 0, "armed (face detection)", "", Qt::black},
        {0, 1, "alarm (picture 1)", "mail: sent", Qt::red},   // the story sheet, not the picture
        {0, 2, "camera covered", "", Qt::black},
        {1, 0, "armed (motion detection)", "", Qt::black},
        {1, 1, "alarm (picture 7)", "mail: sent", Qt::green},   // no story sheet: the picture
        {1, 2, "disarmed: stopped", "", Qt::black},
    };
    for (const auto& [day, row, event, delivery, thumbnail] : rows) {
        SCOPED_TRACE(event);
        ASSERT_EQ(tree->topLevelItem(day)->childCount(), 3);
        const QTreeWidgetItem* item = tree->topLevelItem(day)->child(row);
        EXPECT_EQ(item->text(1), event);
        EXPECT_EQ(item->text(2).left(static_cast<int>(std::strlen(delivery))), delivery) << item->text(2).toStdString();
        const QColor middle = Middle(item);
        EXPECT_LT(std::abs(middle.red() - thumbnail.red()) + std::abs(middle.green() - thumbnail.green())
                      + std::abs(middle.blue() - thumbnail.blue()), 60)
            << middle.name().toStdString();
    }
    EXPECT_TRUE(tree->topLevelItem(0)->child(1)->text(2).contains("push: refused"));

    UrlRecorder opened;
    QDesktopServices::setUrlHandler("file", &opened, "open");
    tree->setCurrentItem(tree->topLevelItem(0)->child(1));
    window->findChild<QPushButton*>("openClip")->click();
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(clip.string()))});

    QTimer::singleShot(0, qApp, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    window->findChild<QPushButton*>("delete")->click();
    for (const fs::path& gone : {picture, story, clip})
        EXPECT_FALSE(fs::exists(gone)) << gone;
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(ShowHistoryWindow(&parent, file), window) << "one window, brought to the front";
    JournalContents contents;
    std::string reason;
    ASSERT_TRUE(ReadJournal(file, contents, reason)) << reason;
    EXPECT_EQ(contents.events.size(), 2u);
}
