#include "engine/MotionDetector.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/optflow/motempl.hpp>

#include <vector>

namespace {

constexpr double kSilhouetteValue = 1.0;  // a changed pixel is 1, so a count is a sum
constexpr double kHistorySeconds = 1.0;
constexpr double kDisplayScale = 255.0;
constexpr double kSegmentSeconds = 0.5;
constexpr int kComponentMinSpan = 100;  // width + height
constexpr double kChangedFraction = 0.05;

// Images are made once per frame size; the ring keeps its position, but all history is lost and
// the next three frames compare against black.
void AllocateFor(DetectorState& state, cv::Size size)
{
    if (!state.motionHistory.empty() && state.motionHistory.size() == size)
        return;
    for (cv::Mat& slot : state.frameRing) {
        slot.release();
        slot = cv::Mat::zeros(size, CV_8UC1);
    }
    state.motionHistory.release();
    state.segmentMap.release();
    state.motionMask.release();
    state.zeroPlane.release();
    state.motionHistory = cv::Mat::zeros(size, CV_32FC1);
    state.segmentMap.create(size, CV_32FC1);
    state.motionMask = cv::Mat::zeros(size, CV_8UC1);
    state.zeroPlane = cv::Mat::zeros(size, CV_8UC1);
    state.recentChanges.clear();
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
WorkAreas TrackChanges(DetectorState& state, const cv::Mat& silhouette, double timestamp)
{
    const cv::Rect box = cv::boundingRect(silhouette);
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

// 255 where the change is in this frame, fading to 0 over the history's length; blue only. With a
// timestamp of at least one second, a pixel without history shows 0, so only the update area needs
// converting.
void PaintOverlay(DetectorState& state, cv::Mat& overlay, const cv::Rect& area, double timestamp)
{
    overlay.reshape(1) = cv::Scalar(0);  // one channel wide: any channel count, one plain fill
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

bool ShowsMotion(int changed, const cv::Rect& rect)
{
    return changed >= kChangedFraction * rect.width * rect.height;
}

// Segmentation floods only across non-zero history, so segmenting the area that holds all of it
// finds the same components, in the same order, as segmenting the whole frame.
void FindComponents(DetectorState& state, const cv::Rect& area, double timestamp)
{
    cv::Mat segments = state.segmentMap(area);
    cv::motempl::segmentMotion(state.motionHistory(area), segments, state.detectorStorage, timestamp,
                               kSegmentSeconds);
    for (cv::Rect& component : state.detectorStorage)
        component += area.tl();
}

// The whole frame first, then every component large enough to matter. A frame without changed
// pixels seeds no component, and a frame that shows motion as a whole needs none.
bool Decide(DetectorState& state, const cv::Mat& silhouette, const cv::Rect& historyArea,
            double timestamp)
{
    const int changed = cv::countNonZero(silhouette);
    if (changed == 0)
        return false;
    if (ShowsMotion(changed, cv::Rect(0, 0, silhouette.cols, silhouette.rows)))
        return true;
    FindComponents(state, historyArea, timestamp);
    for (const cv::Rect& rect : state.detectorStorage) {
        if (rect.width + rect.height >= kComponentMinSpan &&
            ShowsMotion(cv::countNonZero(silhouette(rect)), rect))
            return true;
    }
    return false;
}

}  // namespace

bool DetectMotionWith(DetectorState& state, const cv::Mat& frame, cv::Mat& overlay,
                      const MotionRules& rules, double timestampSeconds)
{
    CV_Assert(frame.type() == CV_8UC3);
    CV_Assert(overlay.size() == frame.size() && overlay.depth() == CV_8U && overlay.channels() >= 3);
    CV_Assert(timestampSeconds >= kHistorySeconds);
    AllocateFor(state, frame.size());
    state.detectorStorage.clear();

    cv::Mat& newest = state.frameRing[state.ringIndex];
    cv::cvtColor(frame, newest, cv::COLOR_BGR2GRAY);
    state.ringIndex = (state.ringIndex + 1) % DetectorState::kRingSize;
    // The slot after the newest holds the frame of three calls ago; it becomes the silhouette and
    // is overwritten by the next call's grey frame.
    cv::Mat& silhouette = state.frameRing[state.ringIndex];
    cv::absdiff(newest, silhouette, silhouette);
    cv::threshold(silhouette, silhouette, rules.diffThreshold, kSilhouetteValue, cv::THRESH_BINARY);

    const WorkAreas areas = TrackChanges(state, silhouette, timestampSeconds);
    if (!areas.update.empty()) {
        cv::Mat history = state.motionHistory(areas.update);
        cv::motempl::updateMotionHistory(silhouette(areas.update), history, timestampSeconds,
                                         kHistorySeconds);
    }
    PaintOverlay(state, overlay, areas.update, timestampSeconds);
    return Decide(state, silhouette, areas.history, timestampSeconds);
}

bool DetectMotion(const cv::Mat& frame, cv::Mat& overlay, int diffThreshold)
{
    DetectorState& state = detectorState();
    return DetectMotionWith(state, frame, overlay, MotionRules{diffThreshold, 0.05, {}}, state.ClockSeconds());
}

void ForgetMotionHistory(DetectorState& state)
{
    state.motionHistory.release();   // the next call allocates afresh
}
