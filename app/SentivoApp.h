#pragma once
// The application object: makes the event log, the mail outbox and its sender (started at once),
// runs the control panel modally, and stops the sender once the panel has closed.

#include <string>

class CSentivoApp {
public:
    // cameraSource: a camera index, a video file or a stream URL.
    // startedFromMenu: pictures go to the Pictures folder while no pictures folder is set.
    CSentivoApp(std::string cameraSource, bool startedFromMenu)
        : cameraSource_(std::move(cameraSource)), startedFromMenu_(startedFromMenu)
    {
    }
    // Always false: there is no message loop of the application's own after the panel.
    bool InitInstance();

private:
    std::string cameraSource_;
    bool startedFromMenu_;
};
