#include "ui/dialogs/ProductWebPage.h"

#include "settings/AppPaths.h"

#include <QDesktopServices>
#include <QFile>

QUrl ProductWebPageUrl()
{
    // Absolute even when only the working folder has it: a browser does not share our folder.
    const std::filesystem::path page = std::filesystem::absolute(FindResource("help/index.html"));
    return QUrl::fromLocalFile(QFile::decodeName(page.c_str()));
}

void OpenProductWebPage()
{
    // Whether a browser could be started is not checked: the dialog stays as it was either way.
    (void)QDesktopServices::openUrl(ProductWebPageUrl());
}
