#pragma once
#include <QUrl>

class QWidget;

// The help page installed with the program: help/index.html beside it, else in share/sentivo
// (FindResource).
QUrl ProductWebPageUrl();
// Opens it with the desktop's "open" action. A desktop without a handler for it (no browser, no
// xdg-open) gets the page in a help window of our own, a window of parent's that goes with it.
void OpenProductWebPage(QWidget* parent);
