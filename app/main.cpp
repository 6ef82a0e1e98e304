// Sentivo: a webcam burglar alarm for one room.
#include "app/ArmedSession.h"
#include "app/CommandLine.h"
#include "app/InstanceLock.h"
#include "app/MailConfigFromEnvironment.h"
#include "app/SentivoApp.h"
#include "settings/AppPaths.h"
#include "ui/dialogs/MessageBox.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// Exit statuses besides 0, 2 (the command line) and RunArmed's: no display for the panel, and
// another copy running on the same settings.
constexpr int kNoDisplay = 1;
constexpr int kAlreadyRunning = 4;

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether Qt can start a window system: QT_QPA_PLATFORM (a ';'-separated list, each entry perhaps
// with ':'-options) names one that needs no display (offscreen, linuxfb, vnc...) or one whose
// display is set; unset, Qt picks X11 or Wayland. Without one, Qt would abort the program.
bool WindowSystemAvailable()
{
    const bool x11 = Set("DISPLAY"), wayland = Set("WAYLAND_DISPLAY");
    const char* platforms = std::getenv("QT_QPA_PLATFORM");
    if (!platforms || !*platforms)
        return x11 || wayland;
    for (std::string_view list = platforms; !list.empty();) {
        const std::string_view entry = list.substr(0, list.find(';'));
        list.remove_prefix(std::min(list.size(), entry.size() + 1));
        const std::string_view name = entry.substr(0, entry.find(':'));
        if (name.starts_with("xcb") ? x11 : name.starts_with("wayland") ? wayland : !name.empty())
            return true;
    }
    return false;
}

constexpr char kNoDisplayText[] =
    "sentivo: the control panel needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY).\n"
    "Surveillance with the stored settings runs without one:\n"
    "  sentivo --arm [--face | --motion] [--camera SOURCE]\n";

}  // namespace

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
    const bool armed = line.action == CommandLine::Action::Arm;
    if (!armed && !WindowSystemAvailable()) {
        std::fputs(kNoDisplayText, stderr);
        return kNoDisplay;
    }
    // Held to the end, taken before the settings, the event log or the outbox are read or made: a
    // second copy touches none of them.
    const InstanceLock lock(DataFolder() / "sentivo.lock");
    if (!lock.Problem().empty())
        std::fprintf(stderr, "sentivo: %s\n", lock.Problem().c_str());
    if (lock.HeldElsewhere())
        std::fprintf(stderr, "sentivo: %s\n", lock.RefusalText().c_str());
    // Armed without a window: a QCoreApplication only, so no display is needed.
    if (armed)
        return lock.HeldElsewhere() ? kAlreadyRunning : RunArmed(argc, argv, line);

    QApplication app(argc, argv);
    // The application name stays the executable's name: it captions every message box.
    QApplication::setApplicationVersion(QString::fromLatin1(SentivoVersion()));
    if (lock.HeldElsewhere()) {   // before the splash or the panel shows
        AppMessageBox(QString::fromStdString(lock.RefusalText()));
        return kAlreadyRunning;
    }
    CSentivoApp(line.cameraSource, line.fromMenu, line.room).InitInstance();
    return 0;
}
