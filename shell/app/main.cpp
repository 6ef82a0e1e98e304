// Sentivo: a webcam burglar alarm for one room.
#include "mail/MailConfig.h"
#include "shell/app/SentivoApp.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The application name stays the executable's name: it captions every message box.
    QApplication::setApplicationVersion(QStringLiteral("3.2"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sentivo turns a webcam into a burglar alarm for one room."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption camera(QStringLiteral("camera"),
                                    QStringLiteral("Frame source: a camera index (default 0), a video file or a stream URL."),
                                    QStringLiteral("SOURCE"), QStringLiteral("0"));
    parser.addOption(camera);
    parser.process(app);

    SetMailConfig(MailConfigFromEnvironment());
    SurveillanceOptions options;
    options.cameraSource = parser.value(camera).toStdString();
    CSentivoApp sentivo(std::move(options));
    sentivo.InitInstance();
    return 0;
}
