// The program's own images and strings, as compiled in and as committed.

#include "ui/templates/Resources.h"
#include "tests/ui/dialogs/ShellTestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QtEndian>

class ResourcesTest : public GuiTest {};

TEST_F(ResourcesTest, IconHasBothImagesAndStringTableHasTheAboutEntry)
{
    const QIcon icon = AppIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_FALSE(icon.pixmap(QSize(32, 32)).isNull());
    EXPECT_EQ(ResourceString(IDS_ABOUTBOX), "&About Sentivo...");
    EXPECT_TRUE(ResourceString(4711).isEmpty());
    EXPECT_TRUE(ResourceBitmap(999).isNull());
}

TEST_F(ResourcesTest, SplashBitmapIsAnUncompressed24BitBottomUpBmp)
{
    EXPECT_EQ(ResourceBitmap(IDB_SPLASH).size(), QSize(350, 325));
    QFile file(":/sentivo/images/bitmap133.bmp");   // the committed file, as compiled in
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54);
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    EXPECT_EQ(bytes.left(2), "BM");
    EXPECT_EQ(qFromLittleEndian<qint32>(data + 18), 350);
    EXPECT_EQ(qFromLittleEndian<qint32>(data + 22), 325) << "positive height: bottom-up";
    EXPECT_EQ(qFromLittleEndian<quint16>(data + 28), 24);
    EXPECT_EQ(qFromLittleEndian<quint32>(data + 30), 0u) << "BI_RGB";
    const quint32 offset = qFromLittleEndian<quint32>(data + 10);
    EXPECT_EQ(bytes.size() - qint64(offset), 341900) << "325 rows of 1052 bytes";
}

TEST_F(ResourcesTest, TestPictureIsAJpegBesideTheProgram)
{
    const QString path = QCoreApplication::applicationDirPath() + "/sentivo.jpg";
    EXPECT_FALSE(QImage(path, "JPEG").isNull());
    EXPECT_LT(QFileInfo(path).size(), 64 * 1024) << "small enough for a test e-mail";
}
