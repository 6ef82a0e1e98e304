#include "engine/DetectorState.h"

namespace {

// A history value of 0 means "no change seen here", so the clock must never read 0: it counts
// from one second before the state was created rather than from the creation itself.
constexpr std::chrono::seconds kClockLead{1};

}  // namespace

DetectorState::DetectorState() : clockOrigin_(std::chrono::steady_clock::now() - kClockLead)
{
    // Room for a busy scene and a fast camera, so the lists do not grow while frames stream in.
    detectorStorage.reserve(256);
    recentChanges.reserve(256);
}

double DetectorState::ClockSeconds() const
{
    const auto elapsed = std::chrono::steady_clock::now() - clockOrigin_;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<double>(ms) * 0.001;
}
