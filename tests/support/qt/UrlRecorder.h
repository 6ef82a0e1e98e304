#pragma once
// Stands in for the desktop's "open" action: install with
// QDesktopServices::setUrlHandler(scheme, &recorder, "open") and read what was opened.
#include <QList>
#include <QObject>
#include <QUrl>

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};
