#include "ui/dialogs/ProductWebPage.h"

#include "settings/AppPaths.h"

#include <QDesktopServices>
#include <QFile>
#include <QTextBrowser>

namespace {

constexpr char kHelpWindowName[] = "sentivoHelpWindow";

// The page in a window of parent's; the one already open is brought up again.
void ShowHelpWindow(QWidget* parent, const QUrl& page)
{
    auto* browser = parent ? parent->findChild<QTextBrowser*>(kHelpWindowName, Qt::FindDirectChildrenOnly) : nullptr;
    if (!browser) {
        browser = new QTextBrowser(parent);
        browser->setObjectName(kHelpWindowName);
        browser->setWindowFlags(Qt::Window);
        browser->setAttribute(Qt::WA_DeleteOnClose);
        browser->setWindowTitle(QStringLiteral("Sentivo help"));
        browser->setOpenExternalLinks(true);   // web addresses may still find a browser
        browser->resize(640, 560);
    }
    browser->setSource(page);
    browser->show();
    browser->raise();
    browser->activateWindow();
}

}  // namespace

QUrl ProductWebPageUrl()
{
    // Absolute even when only the working folder has it: a browser does not share our folder.
    const std::filesystem::path page = std::filesystem::absolute(FindResource("help/index.html"));
    return QUrl::fromLocalFile(QFile::decodeName(page.c_str()));
}

void OpenProductWebPage(QWidget* parent)
{
    const QUrl page = ProductWebPageUrl();
    if (!QDesktopServices::openUrl(page))
        ShowHelpWindow(parent, page);
}
