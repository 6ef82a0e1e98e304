#pragma once
#include <QUrl>

// The help page installed with the program (help/index.html beside the executable).
QUrl ProductWebPageUrl();
// Opens it with the desktop's "open" action; a failure shows nothing.
void OpenProductWebPage();
