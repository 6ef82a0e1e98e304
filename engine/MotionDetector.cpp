#include "engine/MotionDetector.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/optflow/motempl.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kHistorySeconds = 1.0;
constexpr double kDisplayScale = 255.0;
constexpr double kSegmentSeconds = 0.5;
constexpr int kComponentMinSpan = 100;  // width + height
// Past this many seconds from the time base, history values would lose resolution (a float has a
// resolution of a second at a hundred days), so the base moves up.
constexpr double kRebaseAfterSeconds = 4096.0;

// Images are made once per frame size; the ring keeps its position, but all history is lost and
// the next three frames compare against black (or, with settle, show no change).
void AllocateFor(DetectorState& state, cv::Size size)
{
    if (!state.motionHistory.empty() && state.motionHistory.size() == size)
        return;
    for (cv::Mat& slot : state.frameRing) {
        slot.release();
        slot = cv::Mat::zeros(size, CV_8UC1);
    }
    state.motionHistory.release();
    state.motionMask.release();
    state.zeroPlane.release();
    state.motionHistory = cv::Mat::zeros(size, CV_32FC1);
    state.segmentFence.create(size + cv::Size(2, 2), CV_8UC1);
    state.seedMap.create(size, CV_8UC1);
    state.motionMask = cv::Mat::zeros(size, CV_8UC1);
    state.zeroPlane = cv::Mat::zeros(size, CV_8UC1);
    state.changedColumns.create(1, size.width, CV_8UC1);
    state.recentChanges.clear();
    state.framesSinceStart = 0;
}

// Moves the time base up to two seconds before now. The history is shifted by whole seconds,
// which single precision does exactly; values at or below the shift had expired anyway.
double Rebase(DetectorState& state, double timestamp)
{
    const double shift = std::floor(timestamp - state.timeBase) - 2.0;
    cv::threshold(state.motionHistory, state.motionHistory, shift, 0.0, cv::THRESH_TOZERO);
    cv::subtract(state.motionHistory, cv::Scalar(shift), state.motionHistory, state.motionHistory > 0);
    for (DetectorState::ChangedArea& change : state.recentChanges)
        change.timestamp -= static_cast<float>(shift);
    state.timeBase += shift;
    return timestamp - state.timeBase;
}

struct Changes {
    int count = 0;
    cv::Rect box;   // of the changed pixels
};

// One pass instead of absdiff, threshold, masking, countNonZero and boundingRect: old (the grey
// frame of three calls ago) becomes the silhouette, 1 where the grey level moved by more than the
// threshold inside the area, else 0, so a count is a sum. Rows go sixteen pixels at a time; per
// column, whether it changed anywhere gives the box's sides.
Changes MarkChanges(const cv::Mat& grey, cv::Mat& old, const cv::Mat& area, int threshold, cv::Mat& columns)
{
    using namespace cv;
    constexpr int kLanes = v_uint8x16::nlanes;
    constexpr int kMaxSums = 255;   // additions of 0 or 1 an 8-bit lane holds
    const uchar limit = saturate_cast<uchar>(threshold);
    const uchar always = threshold < 0 ? 1 : 0;   // below 0, an unchanged pixel is above it too
    const v_uint8x16 vLimit = v_setall_u8(limit), vAlways = v_setall_u8(always), one = v_setall_u8(1),
                     zero = v_setzero_u8();
    columns.setTo(Scalar(0));
    uchar* changedColumn = columns.ptr();
    Changes changes;
    int top = -1, bottom = -1;
    for (int y = 0; y < grey.rows; ++y) {
        const uchar* now = grey.ptr(y);
        uchar* silhouette = old.ptr(y);
        const uchar* watched = area.empty() ? nullptr : area.ptr(y);
        int x = 0, rowCount = 0;
        while (x + kLanes <= grey.cols) {
            v_uint8x16 sums = zero;
            for (int n = 0; n < kMaxSums && x + kLanes <= grey.cols; ++n, x += kLanes) {
                v_uint8x16 changed = ((v_absdiff(v_load(now + x), v_load(silhouette + x)) > vLimit) & one) | vAlways;
                if (watched)
                    changed &= ~(v_load(watched + x) == zero);
                v_store(silhouette + x, changed);
                v_store(changedColumn + x, v_load(changedColumn + x) | changed);
                sums += changed;
            }
            rowCount += static_cast<int>(v_reduce_sum(sums));
        }
        for (; x < grey.cols; ++x) {
            const uchar difference = static_cast<uchar>(std::abs(now[x] - silhouette[x]));
            silhouette[x] = static_cast<uchar>(((difference > limit) | always) & (!watched || watched[x]));
            changedColumn[x] |= silhouette[x];
            rowCount += silhouette[x];
        }
        if (rowCount > 0) {
            top = top < 0 ? y : top;
            bottom = y;
            changes.count += rowCount;
        }
    }
    if (changes.count > 0) {
        int left = 0, right = grey.cols;
        while (!changedColumn[left])
            ++left;
        while (!changedColumn[right - 1])
            --right;
        changes.box = Rect(left, top, right - left, bottom - top + 1);
    }
    return changes;
}

// The history can only be non-zero where a silhouette of the last second had changed pixels. The
// work of the history update, the display and the segmentation is confined to those areas; outside
// them every one of these steps would leave zeros as zeros.
struct WorkAreas {
    cv::Rect update;   // all the history held before this call, and this call's changes
    cv::Rect history;  // all the history holds after this call
};

// The history update clears a value that is below timestamp - duration (in single precision), so
// the boxes of older silhouettes are dropped: their pixels are cleared now, or were overwritten by
// a newer silhouette whose box is kept.
WorkAreas TrackChanges(DetectorState& state, const cv::Rect& box, double timestamp)
{
    if (!box.empty())
        state.recentChanges.push_back({static_cast<float>(timestamp), box});
    WorkAreas areas;
    for (const DetectorState::ChangedArea& change : state.recentChanges)
        areas.update |= change.box;

    const float oldestKept = static_cast<float>(timestamp - kHistorySeconds);
    std::erase_if(state.recentChanges, [oldestKept](const DetectorState::ChangedArea& change) {
        return change.timestamp < oldestKept;
    });
    for (const DetectorState::ChangedArea& change : state.recentChanges)
        areas.history |= change.box;
    return areas;
}

// Black outside area; one channel wide, so any channel count is a plain fill.
void ClearOutside(cv::Mat& overlay, const cv::Rect& area)
{
    cv::Mat plane = overlay.reshape(1);
    if (area.empty()) {
        plane = cv::Scalar(0);
        return;
    }
    const int channels = overlay.channels();
    plane.rowRange(0, area.y) = cv::Scalar(0);
    plane.rowRange(area.br().y, plane.rows) = cv::Scalar(0);
    for (int y = area.y; y < area.br().y; ++y) {
        uchar* row = plane.ptr(y);
        std::fill(row, row + area.x * channels, uchar(0));
        std::fill(row + area.br().x * channels, row + plane.cols, uchar(0));
    }
}

// 255 where the change is in this frame, fading to 0 over the history's length; blue only. With a
// timestamp of at least one second, a pixel without history shows 0, so only the update area needs
// converting.
void PaintOverlay(DetectorState& state, cv::Mat& overlay, const cv::Rect& area, double timestamp)
{
    ClearOutside(overlay, area);
    if (area.empty())
        return;
    const double scale = kDisplayScale / kHistorySeconds;
    const double shift = (kHistorySeconds - timestamp) * kDisplayScale / kHistorySeconds;
    cv::Mat mask = state.motionMask(area);
    state.motionHistory(area).convertTo(mask, CV_8U, scale, shift);

    cv::Mat target = overlay(area);
    const int channels = overlay.channels();
    if (channels <= 4) {
        // Writing all channels at once is cheaper than picking one out of each pixel.
        const cv::Mat zeros = state.zeroPlane(area);
        const cv::Mat planes[] = {mask, zeros, zeros, zeros};
        cv::merge(planes, static_cast<size_t>(channels), target);
    } else {
        const int toBlue[] = {0, 0};
        cv::mixChannels(&mask, 1, &target, 1, toBlue, 1);
    }
}

bool ShowsMotion(int changed, const cv::Rect& rect, double share)
{
    return changed >= share * rect.width * rect.height;
}

// The components motempl::segmentMotion finds, in its order, without its pixel-by-pixel scans or
// the component map nobody reads: in raster order, every pixel changed at this timestamp that no
// earlier component took seeds a flood across neighbours whose history differs by at most
// kSegmentSeconds, and zero history is a barrier. The flood never leaves non-zero history, so the
// area that holds all of it gives the same components as the whole frame.
void FindComponents(DetectorState& state, const cv::Rect& area, double timestamp)
{
    constexpr int kFloodFlags = cv::FLOODFILL_MASK_ONLY | (2 << 8) | 4;   // marks 2, four neighbours
    cv::Mat history = state.motionHistory(area);
    cv::Mat fence = state.segmentFence(cv::Rect(0, 0, area.width + 2, area.height + 2));
    cv::compare(history, 0.0, fence(cv::Rect(1, 1, area.width, area.height)), cv::CMP_EQ);
    const cv::Mat seeds = state.seedMap(area);
    cv::compare(history, static_cast<float>(timestamp), seeds, cv::CMP_EQ);
    cv::findNonZero(seeds, state.seedPoints);
    const cv::Scalar step = cv::Scalar::all(kSegmentSeconds);
    for (const cv::Point& seed : state.seedPoints) {
        if (fence.at<uchar>(seed + cv::Point(1, 1)) != 0)
            continue;
        cv::Rect component;
        cv::floodFill(history, fence, seed, cv::Scalar::all(0), &component, step, step, kFloodFlags);
        state.detectorStorage.push_back(component + area.tl());
    }
}

// The whole frame first, then every component large enough to matter. A frame without changed
// pixels seeds no component, and a frame that shows motion as a whole needs none.
bool Decide(DetectorState& state, const cv::Mat& silhouette, int changed, const cv::Rect& historyArea,
            double timestamp, double share)
{
    if (changed == 0)
        return false;
    if (ShowsMotion(changed, cv::Rect(0, 0, silhouette.cols, silhouette.rows), share))
        return true;
    FindComponents(state, historyArea, timestamp);
    for (const cv::Rect& rect : state.detectorStorage) {
        if (rect.width + rect.height >= kComponentMinSpan &&
            ShowsMotion(cv::countNonZero(silhouette(rect)), rect, share))
            return true;
    }
    return false;
}

}  // namespace

MotionRules RulesForSensitivity(int level)
{
    // Less sensitive: a larger step of grey and a larger share of changed pixels; 3 is standard.
    static constexpr struct { int diffThreshold; double changedShare; } kLevels[] = {
        {50, 0.10}, {40, 0.075}, {30, 0.05}, {22, 0.03}, {15, 0.015}};
    const auto& chosen = kLevels[level >= 1 && level <= 5 ? level - 1 : 2];
    MotionRules rules;
    rules.diffThreshold = chosen.diffThreshold;
    rules.changedShare = chosen.changedShare;
    return rules;
}

bool DetectMotionWith(DetectorState& state, const cv::Mat& frame, cv::Mat& overlay,
                      const MotionRules& rules, double timestampSeconds)
{
    CV_Assert(frame.type() == CV_8UC3);
    CV_Assert(overlay.size() == frame.size() && overlay.depth() == CV_8U && overlay.channels() >= 3);
    CV_Assert(rules.area.empty() || (rules.area.type() == CV_8UC1 && rules.area.size() == frame.size()));
    CV_Assert(timestampSeconds >= kHistorySeconds);
    AllocateFor(state, frame.size());
    state.detectorStorage.clear();
    double now = timestampSeconds - state.timeBase;
    if (now > kRebaseAfterSeconds)
        now = Rebase(state, timestampSeconds);

    cv::Mat& newest = state.frameRing[state.ringIndex];
    cv::cvtColor(frame, newest, cv::COLOR_BGR2GRAY);
    state.ringIndex = (state.ringIndex + 1) % DetectorState::kRingSize;
    // The slot after the newest holds the frame of three calls ago; it becomes the silhouette and
    // is overwritten by the next call's grey frame.
    cv::Mat& silhouette = state.frameRing[state.ringIndex];
    Changes changes;
    if (rules.settle && state.framesSinceStart < DetectorState::kRingSize - 1)
        silhouette.setTo(cv::Scalar(0));   // that frame is the black of the start
    else
        changes = MarkChanges(newest, silhouette, rules.area, rules.diffThreshold, state.changedColumns);
    state.framesSinceStart = std::min(state.framesSinceStart + 1, int(DetectorState::kRingSize));

    const WorkAreas areas = TrackChanges(state, changes.box, now);
    if (!areas.update.empty()) {
        cv::Mat history = state.motionHistory(areas.update);
        cv::motempl::updateMotionHistory(silhouette(areas.update), history, now, kHistorySeconds);
    }
    PaintOverlay(state, overlay, areas.update, now);
    return Decide(state, silhouette, changes.count, areas.history, now, rules.changedShare);
}

void ForgetMotionHistory(DetectorState& state)
{
    for (cv::Mat& slot : state.frameRing)
        slot.setTo(cv::Scalar(0));
    state.motionHistory.setTo(cv::Scalar(0));
    state.recentChanges.clear();
    state.framesSinceStart = 0;
}
