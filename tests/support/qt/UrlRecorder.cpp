#include "tests/support/qt/UrlRecorder.h"

void UrlRecorder::open(const QUrl& url)
{
    urls.append(url);
}
