// Sentivo: a webcam burglar alarm for one room.
#include "app/ArmedSession.h"
#include "app/CommandLine.h"
#include "app/MailConfigFromEnvironment.h"
#include "app/SentivoApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    // Read before the application object exists: answering --help needs no display.
    const CommandLine line = ParseCommandLine(argc, argv);
    if (line.action == CommandLine::Action::PrintText) {
        std::fputs(line.text.c_str(), stdout);
        return 0;
    }
    if (line.action == CommandLine::Action::UsageError) {
        std::fputs(line.text.c_str(), stderr);
        return 2;
    }

    std::string mailConfigError;
    const std::optional<MailConfig> mailConfig = MailConfigFromEnvironment(mailConfigError);
    if (!mailConfig) {
        std::fprintf(stderr, "sentivo: %s\n", mailConfigError.c_str());
        return 2;
    }
    SetMailConfig(*mailConfig);
    // Armed without a window: a QCoreApplication only, so no display is needed.
    if (line.action == CommandLine::Action::Arm)
        return RunArmed(argc, argv, line);

    QApplication app(argc, argv);
    // The application name stays the executable's name: it captions every message box.
    QApplication::setApplicationVersion(QString::fromLatin1(SentivoVersion()));
    CSentivoApp(line.cameraSource, line.fromMenu).InitInstance();
    return 0;
}
