#pragma once
// The program's command line, read before any window system is touched, so that --help, --version
// and a mistyped option are answered on a machine without a display.

#include <string>

struct CommandLine {
    enum class Action {
        RunPanel,      // start the control panel
        PrintText,     // print text on standard output, exit 0 (--help, --version)
        UsageError,    // print text on standard error, exit 2
        Arm,           // --arm: surveillance with the stored settings, no window
    };
    enum class Detect { Stored, Face, Motion };   // --face / --motion; Stored: the panel's last choice
    Action action = Action::RunPanel;
    std::string text;
    std::string cameraSource = "0";   // a camera index, a video file or a stream URL
    Detect detect = Detect::Stored;
    bool fromMenu = false;            // --from-menu: the desktop entry's launch
    std::string room;                 // --room NAME; empty: the stored ROOM
};

CommandLine ParseCommandLine(int argc, char** argv);

// The version the program reports: the project version of the build.
const char* SentivoVersion();
