#pragma once
#include <QUrl>

// The help page installed with the program: help/index.html beside it, else in share/sentivo
// (FindResource).
QUrl ProductWebPageUrl();
// Opens it with the desktop's "open" action; a failure shows nothing.
void OpenProductWebPage();
