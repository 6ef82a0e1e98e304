// The help page shipped with the program and the "open" request for it.

#include "ui/dialogs/ProductWebPage.h"
#include "ui/dialogs/MessageBox.h"
#include "tests/ui/dialogs/ShellTestSupport.h"
#include "tests/support/qt/UrlRecorder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>

class ProductWebPageTest : public GuiTest {};

TEST_F(ProductWebPageTest, AddressIsTheHelpPageBesideTheProgram)
{
    const QUrl url = ProductWebPageUrl();
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toLocalFile(), QCoreApplication::applicationDirPath() + "/help/index.html");
    QFile page(url.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << "installed beside the program";
    const QString html = QString::fromUtf8(page.readAll());
    for (const char* topic : {"auth.txt", "USERNAME", "PASSWORD", "app password", "STARTTLS", "SMTP server",
                              "SENTIVO_SMTP_PORT", "SENTIVO_SMTP_TLS", "Motion detect", "Face detect", "pic_1.jpg",
                              "Time to allow before alarm"})
        EXPECT_TRUE(html.contains(QLatin1String(topic))) << topic;
}

// Every click is a new request to the desktop's "open" action; when it fails (the offscreen
// platform cannot open documents) nothing is shown.
TEST_F(ProductWebPageTest, OpensTheAddressWithTheDesktopsOpenActionAndShowsNoFailure)
{
    MessageBoxCapture capture;
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        OpenProductWebPage();
        OpenProductWebPage();
        QDesktopServices::unsetUrlHandler("file");
        EXPECT_EQ(recorder.urls, (QList<QUrl>{ProductWebPageUrl(), ProductWebPageUrl()}));
    }
    OpenProductWebPage();
    ProcessEvents(50);
    EXPECT_TRUE(capture.texts().isEmpty());
    EXPECT_EQ(TopLevelCount(), 0);
}

