// Renders the program's dialogs to PNG files for review: About, Options, Detection and its area
// (the templates alone), countdown (half-way),
// the splash and the control panel as its template builds it. Each picture is the window's client
// area under a plain caption strip showing the window title.
// Usage: sentivo_render_dialogs OUTPUT_FOLDER   (offscreen or under Xvfb)

#include "ui/templates/DialogBuilder.h"
#include "ui/templates/Resources.h"
#include "ui/dialogs/AboutBox.h"
#include "ui/dialogs/CountdownDlg.h"
#include "ui/dialogs/SplashWindow.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QTimerEvent>
#include <cstdio>

namespace {

QImage WithCaption(QWidget& window)
{
    const QPixmap client = window.grab();
    if (!window.isWindow() || (window.windowFlags() & Qt::FramelessWindowHint))
        return client.toImage();
    const int strip = 22;
    QImage image(client.width() + 2, client.height() + strip + 1, QImage::Format_RGB32);
    image.fill(QColor(40, 60, 110));
    QPainter painter(&image);
    painter.drawPixmap(1, strip, client);
    painter.setPen(Qt::white);
    QFont font = window.font();
    font.setBold(true);
    painter.setFont(font);
    int textLeft = 6;
    if (window.windowFlags() & Qt::WindowSystemMenuHint) {
        painter.drawPixmap(4, 3, AppIcon().pixmap(16, 16));
        textLeft = 24;
    }
    const QRect titleRect(textLeft, 0, image.width() - textLeft - 24, strip);
    const QString title = QFontMetrics(font).elidedText(window.windowTitle(), Qt::ElideRight, titleRect.width());
    painter.drawText(titleRect, Qt::AlignVCenter, title);
    if (window.windowFlags() & Qt::WindowCloseButtonHint)
        painter.drawText(QRect(image.width() - 20, 0, 16, strip), Qt::AlignCenter, QStringLiteral("x"));
    return image;
}

bool Save(QWidget& window, const QDir& folder, const QString& name)
{
    window.show();
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    const bool saved = WithCaption(window).save(path, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    window.hide();
    return saved;
}

}   // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));
    bool ok = true;

    CAboutBox about;
    ok &= Save(about, folder, QStringLiteral("about.png"));

    QDialog options;
    BuildDialog(options, IDD_OPTIONS);
    ok &= Save(options, folder, QStringLiteral("options.png"));

    for (const auto& [id, name] : {std::pair{IDD_DETECTION, "detection.png"}, {IDD_DETECTION_AREA, "detection-area.png"},
                                   {IDD_NOTIFICATIONS, "notifications.png"}}) {
        QDialog dialog;
        BuildDialog(dialog, id);
        ok &= Save(dialog, folder, QString::fromLatin1(name));
    }

    QDialog panel;
    BuildDialog(panel, IDD_SENTIVO_DIALOG);
    ok &= Save(panel, folder, QStringLiteral("control-panel.png"));

    CCountdownDlg countdown;
    countdown.delaySeconds = 10.0f;
    countdown.show();
    for (int tick = 0; tick < 50; ++tick) {
        QTimerEvent event(0);
        QApplication::sendEvent(&countdown, &event);
    }
    ok &= Save(countdown, folder, QStringLiteral("countdown.png"));

    CSplashWindow::EnableSplashScreen(true);
    CSplashWindow::ShowSplashScreen(nullptr);
    if (CSplashWindow* splash = CSplashWindow::CurrentSplash()) {
        ok &= Save(*splash, folder, QStringLiteral("splash.png"));
        splash->HideSplashScreen();
    } else {
        ok = false;
    }
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ok ? 0 : 1;
}
