#pragma once
// The application object: makes the event log, the journal, the outbox and its channels (the mail
// sender and MQTT, started at once), runs the control panel modally, and stops the channels once
// the panel has closed.

#include <string>

class CSentivoApp {
public:
    // cameraSource: a camera index, a video file or a stream URL.
    // startedFromMenu: pictures go to the Pictures folder while no pictures folder is set.
    // room: the room MQTT names, over the stored one; empty: the stored one.
    CSentivoApp(std::string cameraSource, bool startedFromMenu, std::string room = {})
        : cameraSource_(std::move(cameraSource)), startedFromMenu_(startedFromMenu), room_(std::move(room))
    {
    }
    // Always false: there is no message loop of the application's own after the panel.
    bool InitInstance();

private:
    std::string cameraSource_;
    bool startedFromMenu_;
    std::string room_;
};
