#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>

namespace {

constexpr const char* kUsage = "Usage: sentivo [--camera SOURCE] [--help] [--version]";

constexpr const char* kEnvironment = R"(
Environment:
  SENTIVO_SMTP_PORT        mail port, over the Options dialog's and the server text's
  SENTIVO_SMTP_TLS         opportunistic (STARTTLS when offered), required, off or ssl,
                           over the Options dialog's security
  SENTIVO_SMTP_CAFILE      extra trusted certificate (PEM) for the mail server
  SENTIVO_SMTP_TIMEOUT_MS  bound on one mail send, in milliseconds (default 60000)
  XDG_CONFIG_HOME          settings in $XDG_CONFIG_HOME/Corvane/Sentivo.conf
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
    parser.addOptions({help, version, camera});

    CommandLine line;
    if (!parser.parse(Arguments(argc, argv)) || !parser.positionalArguments().isEmpty()) {
        const QString reason = parser.errorText().isEmpty() ? QStringLiteral("Unexpected argument.") : parser.errorText();
        line.action = CommandLine::Action::UsageError;
        line.text = "sentivo: " + reason.toStdString() + " " + kUsage + "\n";
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
    }
    line.cameraSource = parser.value(camera).toStdString();
    return line;
}
