#pragma once
// The application object: runs the control panel modally; the program ends when it closes.

#include <string>

class CSentivoApp {
public:
    // cameraSource: a camera index, a video file or a stream URL.
    explicit CSentivoApp(std::string cameraSource) : cameraSource_(std::move(cameraSource)) {}
    // Always false: there is no message loop of the application's own after the panel.
    bool InitInstance();

private:
    std::string cameraSource_;
};
