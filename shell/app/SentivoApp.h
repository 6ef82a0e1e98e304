#pragma once
// The application object: runs the control panel modally; the program ends when it closes.

#include "engine/SurveillanceWorker.h"

class CSentivoApp {
public:
    explicit CSentivoApp(SurveillanceOptions options) : options_(std::move(options)) {}
    // Always false: there is no message loop of the application's own after the panel.
    bool InitInstance();

private:
    SurveillanceOptions options_;
};
