#include "ui/dialogs/ProductWebPage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>

QUrl ProductWebPageUrl()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    return QUrl::fromLocalFile(programDir.filePath(QStringLiteral("help/index.html")));
}

void OpenProductWebPage()
{
    // Whether a browser could be started is not checked: the dialog stays as it was either way.
    (void)QDesktopServices::openUrl(ProductWebPageUrl());
}
