#include "engine/SurveillanceThread.h"

#include "engine/SurveillanceRun.h"

bool RequestedFrameSize(int capturePropertyValue, int& width, int& height)
{
    width = capturePropertyValue / 1000;
    height = capturePropertyValue % 1000;
    return width > 0 && height > 0;
}

int SurveillanceThread(SessionState& state, const SurveillanceEnvironment& env, std::unique_ptr<FrameSource> source)
{
    try {
        SurveillanceRun(state, env, std::move(source)).Run();
    } catch (const std::exception& error) {
        // A library failure mid-run (an unreadable frame, say) ends the run, told like any end;
        // the run's destructor has released the camera and closed the window.
        env.logEvent(std::string("run ended: an error: ") + error.what());
        state.ShowRunStatus(std::string("Run ended: an error: ") + error.what());
    }
    state.RunEnded();
    return 0;
}
