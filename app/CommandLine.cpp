#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

namespace {

constexpr const char* kUsage =
    "Usage: sentivo [--arm [--face | --motion]] [--camera SOURCE] [--room NAME] [--help] [--version]";

constexpr const char* kEnvironment = R"(
Environment:
  SENTIVO_SMTP_PORT        mail port, over the Options dialog's and the server text's
  SENTIVO_SMTP_TLS         opportunistic (STARTTLS when offered), required, off or ssl,
                           over the Options dialog's security
  SENTIVO_SMTP_CAFILE      extra trusted certificate (PEM) for the mail server
  SENTIVO_SMTP_TIMEOUT_MS  bound on one mail send, in milliseconds (default 60000)
  XDG_CONFIG_HOME          settings in $XDG_CONFIG_HOME/Corvane/Sentivo.conf

Exit status with --arm: 0 stopped (SIGINT, SIGTERM) or the video ended, 1 the stored settings
are missing or invalid, 2 usage error, 3 no camera.
)";

QStringList Arguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

const char* SentivoVersion()
{
    return SENTIVO_VERSION;
}

CommandLine ParseCommandLine(int argc, char** argv)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sentivo turns a webcam into a burglar alarm for one room."));
    const QCommandLineOption help(QStringList{"h", "help"}, QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version and exits."));
    const QCommandLineOption camera(QStringLiteral("camera"),
                                    QStringLiteral("Frame source: a camera index (default 0), a video file or a stream URL."),
                                    QStringLiteral("SOURCE"), QStringLiteral("0"));
    const QCommandLineOption arm(QStringLiteral("arm"),
                                 QStringLiteral("Runs surveillance with the stored settings, without a window; "
                                                "SIGINT or SIGTERM stops it."));
    const QCommandLineOption face(QStringLiteral("face"), QStringLiteral("With --arm: face detection."));
    const QCommandLineOption motion(QStringLiteral("motion"),
                                    QStringLiteral("With --arm: motion detection (default: the panel's last choice)."));
    const QCommandLineOption fromMenu(QStringLiteral("from-menu"),
                                      QStringLiteral("Started from the desktop menu: pictures go to the Pictures folder's "
                                                     "Sentivo subfolder unless PICTURES_DIR names a folder."));
    const QCommandLineOption room(QStringLiteral("room"),
                                  QStringLiteral("The room this copy watches, as MQTT names it (over the stored ROOM)."),
                                  QStringLiteral("NAME"));
    parser.addOptions({help, version, camera, arm, face, motion, fromMenu, room});

    CommandLine line;
    if (!parser.parse(Arguments(argc, argv)) || !parser.positionalArguments().isEmpty()) {
        const QString reason = parser.errorText().isEmpty() ? QStringLiteral("Unexpected argument.") : parser.errorText();
        line.action = CommandLine::Action::UsageError;
        line.text = "sentivo: " + reason.toStdString() + " " + kUsage + "\n";
        return line;
    }
    const bool detectSet = parser.isSet(face) || parser.isSet(motion);
    if (!parser.isSet(help) && !parser.isSet(version)
        && ((parser.isSet(face) && parser.isSet(motion)) || (detectSet && !parser.isSet(arm)))) {
        line.action = CommandLine::Action::UsageError;
        line.text = std::string("sentivo: --face and --motion go with --arm, one of them. ") + kUsage + "\n";
        return line;
    }
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::PrintText;
        // Without an application object Qt cannot know the program's name.
        line.text = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("sentivo")).toStdString()
                    + kEnvironment;
    } else if (parser.isSet(version)) {
        line.action = CommandLine::Action::PrintText;
        line.text = std::string("sentivo ") + SentivoVersion() + "\n";
    } else if (parser.isSet(arm)) {
        line.action = CommandLine::Action::Arm;
        line.detect = parser.isSet(face) ? CommandLine::Detect::Face
                      : parser.isSet(motion) ? CommandLine::Detect::Motion : CommandLine::Detect::Stored;
    }
    line.cameraSource = parser.value(camera).toStdString();
    line.fromMenu = parser.isSet(fromMenu);
    line.room = parser.value(room).toStdString();
    return line;
}
