#include "engine/LightGuard.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kGridStep = 8;        // every 8th pixel across and down
constexpr int kMinSamples = 16;     // fewer watched samples: no telling
constexpr double kMinShift = 5.0;   // mean grey levels the light must move the picture by

int GridCount(int length)
{
    return std::max(1, length / kGridStep);
}

int GridPosition(int index, int length)
{
    return std::min(index * kGridStep + kGridStep / 2, length - 1);
}

// The grey level as cvtColor computes it, in the same fixed point.
uchar Grey(const uchar* bgr)
{
    return static_cast<uchar>((bgr[0] * 1868 + bgr[1] * 9617 + bgr[2] * 4899 + (1 << 13)) >> 14);
}

void Sample(const cv::Mat& frame, cv::Mat& samples)
{
    for (int i = 0; i < samples.rows; ++i) {
        const uchar* row = frame.ptr(GridPosition(i, frame.rows));
        uchar* out = samples.ptr(i);
        for (int j = 0; j < samples.cols; ++j)
            out[j] = Grey(row + 3 * GridPosition(j, frame.cols));
    }
}

// Calls visit(then, now) for every grid point inside the area.
template <typename Visit>
void ForEachWatched(const cv::Mat& then, const cv::Mat& now, const cv::Mat& area, Visit visit)
{
    for (int i = 0; i < now.rows; ++i) {
        const uchar* watched = area.empty() ? nullptr : area.ptr(GridPosition(i, area.rows));
        const uchar* before = then.ptr(i);
        const uchar* after = now.ptr(i);
        for (int j = 0; j < now.cols; ++j) {
            if (!watched || watched[GridPosition(j, area.cols)])
                visit(before[j], after[j]);
        }
    }
}

// The monotone map of grey levels that carries the distribution of then onto that of now: level g
// goes where its middle rank among then's levels falls among now's. A lamp, daylight or the
// camera's exposure moves every pixel along one such curve (gain, offset, the camera's response,
// clipping at either end), while something moving leaves its pixels off the curve.
std::array<uchar, 256> MatchLevels(const std::array<int, 256>& then, const std::array<int, 256>& now)
{
    std::array<uchar, 256> map{};
    int below = 0, level = 0, reached = now[0];
    for (int g = 0; g < 256; ++g) {
        const double rank = below + then[g] / 2.0;
        while (level < 255 && reached <= rank)
            reached += now[++level];
        map[g] = static_cast<uchar>(level);
        below += then[g];
    }
    return map;
}

}  // namespace

bool IsLightChange(LightGuardState& state, const cv::Mat& frameBgr, const MotionRules& rules)
{
    CV_Assert(frameBgr.type() == CV_8UC3);
    CV_Assert(rules.area.empty() || (rules.area.type() == CV_8UC1 && rules.area.size() == frameBgr.size()));
    const cv::Size grid(GridCount(frameBgr.cols), GridCount(frameBgr.rows));
    if (state.samples[0].size() != grid) {
        for (cv::Mat& slot : state.samples)
            slot.create(grid, CV_8UC1);
        state.framesSinceStart = 0;
    }
    cv::Mat& now = state.samples[state.ringIndex];
    Sample(frameBgr, now);
    state.ringIndex = (state.ringIndex + 1) % LightGuardState::kRingSize;
    const cv::Mat& then = state.samples[state.ringIndex];   // three calls ago
    state.framesSinceStart = std::min(state.framesSinceStart + 1, LightGuardState::kRingSize);
    if (state.framesSinceStart < LightGuardState::kRingSize)
        return false;

    std::array<int, 256> levelsThen{}, levelsNow{};
    int watched = 0;
    ForEachWatched(then, now, rules.area, [&](uchar before, uchar after) {
        ++levelsThen[before], ++levelsNow[after], ++watched;
    });
    if (watched < kMinSamples)
        return false;
    // How far the map moves the picture, and how many samples it leaves changed all the same.
    const std::array<uchar, 256> map = MatchLevels(levelsThen, levelsNow);
    double shift = 0;
    int changed = 0;
    ForEachWatched(then, now, rules.area, [&](uchar before, uchar after) {
        shift += std::abs(map[before] - before);
        changed += std::abs(after - map[before]) > rules.diffThreshold;
    });
    return shift > kMinShift * watched && changed < rules.changedShare * watched;
}

void ResetLightGuard(LightGuardState& state)
{
    state.framesSinceStart = 0;
}
