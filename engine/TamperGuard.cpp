#include "engine/TamperGuard.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

const cv::Size kSmall(80, 60);
constexpr float kBrightnessFloor = 16.0f; // added to the mean before dividing: dark noise stays small
constexpr double kLearnSeconds = 2.0;
constexpr int kLearnFrames = 3;           // and at least this many frames
constexpr double kFollowSeconds = 60.0;   // the learned view's running average spans about this
constexpr double kConditionSeconds = 3.0; // a condition held this long is told
constexpr double kClearSeconds = 1.0;     // normal this long ends it
constexpr double kGoodFrameSeconds = 0.5;

constexpr float kDarkShare = 1.0f / 3.0f; // of the learned brightness
constexpr float kBlackLevel = 8.0f;       // nothing to see at all
// Cells: energy is the sum of squared normalised gradients over the cell's 100 pixels. A cell
// with less learned energy than kMinCellEnergy (a mean gradient of 2 % of the brightness) or than a
// fifth of the mean cell's is plain wall or ceiling and not judged.
constexpr float kMinCellEnergy = 100 * 0.02f * 0.02f;
// Fewer cells with structure than this and the view is judged as a blank wall: its few structured
// cells may be someone who stood in it while it was learned, and their leaving is no tamper.
constexpr int kFewestJudgedCells = 12;   // a quarter of the grid
constexpr float kJudgedShareOfMean = 0.2f;
constexpr float kLostEnergyShare = 1.0f / 6.0f;
constexpr float kLinedUpCorrelation = 0.5f;
constexpr float kCoveredShare = 0.75f;    // of the judged cells that lost their structure
constexpr float kMovedShare = 0.25f;      // fewer judged cells than this lined up
constexpr float kFollowShare = 0.8f;      // the learned view follows only when this many line up

// The sum of the 8 bytes at bytes, as four 16-bit partial sums in one word (SWAR: the compiler
// keeps the whole loop in plain registers, which is what makes the average cheap).
std::uint64_t BytePairs(const uchar* bytes)
{
    constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return (word & kLowBytes) + ((word >> 8) & kLowBytes);
}

// The sum of the count bytes from bytes: 8 at a time, each of the four lanes taking at most 2 * 255
// a word, so up to 128 words (kWidestBlock pixels) add up without overflow.
constexpr int kWidestBlock = 128 * 8 / 3;
std::uint32_t ByteSum(const uchar* bytes, int count)
{
    std::uint64_t lanes = 0;
    int i = 0;
    for (; i + 8 <= count; i += 8)
        lanes += BytePairs(bytes + i);
    auto sum = static_cast<std::uint32_t>((lanes & 0xFFFF) + (lanes >> 16 & 0xFFFF) + (lanes >> 32 & 0xFFFF)
                                          + (lanes >> 48));
    for (; i < count; ++i)
        sum += bytes[i];
    return sum;
}

}  // namespace

const char* TamperEventText(TamperKind kind)
{
    switch (kind) {
    case TamperKind::kCovered:
        return "camera covered";
    case TamperKind::kMoved:
        return "camera moved";
    case TamperKind::kDark:
        return "view went dark";
    case TamperKind::kRestored:
        break;
    }
    return "view restored";
}

std::optional<TamperEvent> TamperGuard::Feed(const cv::Mat& frameBgr, double seconds)
{
    CV_Assert(frameBgr.type() == CV_8UC3 && !frameBgr.empty());
    if (frameBgr.size() != frameSize_) {
        Reset();
        frameSize_ = frameBgr.size();
    }
    Shrink(frameBgr);
    const float brightness = Gradients();
    const double elapsed = std::clamp(seconds - lastAt_, 0.0, 1.0);
    lastAt_ = seconds;
    if (learning_) {
        if (learnedFrames_ == 0)
            firstAt_ = seconds;
        ++learnedFrames_;
        Learn(brightness, 1.0f / static_cast<float>(learnedFrames_));
        KeepGoodFrame(frameBgr, seconds);
        learning_ = seconds - firstAt_ < kLearnSeconds || learnedFrames_ < kLearnFrames;
        return std::nullopt;
    }
    const Reading reading = Judge(brightness);
    std::optional<TamperEvent> event = Track(reading.verdict, frameBgr, seconds);
    if (!conditionSince_ && reading.verdict == Verdict::kNormal && reading.linedUpShare >= kFollowShare)
        Learn(brightness, static_cast<float>(elapsed / kFollowSeconds));
    return event;
}

void TamperGuard::Reset()
{
    learnedX_ = cv::Mat::zeros(kSmall, CV_32FC1);
    learnedY_ = cv::Mat::zeros(kSmall, CV_32FC1);
    learnedBrightness_ = 0.0f;
    learnedFrames_ = 0;
    learning_ = true;
    conditionSince_.reset();
    normalSince_.reset();
    alerted_ = false;
    goodFrame_.release();
    pendingTaken_ = false;
}

// The frame's 80x60 grey picture (the plain mean of blue, green and red): each block's average over
// two of its rows, at a quarter and three quarters of its height. Averaging whole rows of a block
// keeps small shakes from flickering the picture; reading two rows of each block keeps the cost
// down to 120 rows of the frame at any size.
void TamperGuard::Shrink(const cv::Mat& frameBgr)
{
    const cv::Mat* frame = &frameBgr;
    if (frameBgr.cols < kSmall.width || frameBgr.rows < 2 * kSmall.height
        || frameBgr.cols / kSmall.width > kWidestBlock) {   // no camera's, but the sums must hold
        cv::resize(frameBgr, resized_, {2 * kSmall.width, 2 * kSmall.height});
        frame = &resized_;
    }
    const int blockBytes = frame->cols / kSmall.width * 3, blockRows = frame->rows / kSmall.height;
    const float scale = 1.0f / static_cast<float>(2 * blockBytes);
    grey_.create(kSmall, CV_32FC1);
    for (int y = 0; y < kSmall.height; ++y) {
        const uchar* upper = frame->ptr(y * blockRows + blockRows / 4);
        const uchar* lower = frame->ptr(y * blockRows + blockRows * 3 / 4);
        float* out = grey_.ptr<float>(y);
        for (int x = 0; x < kSmall.width; ++x) {
            const int at = x * blockBytes;
            out[x] = scale * static_cast<float>(ByteSum(upper + at, blockBytes) + ByteSum(lower + at, blockBytes));
        }
    }
}

// The gradients of the grey picture divided by its brightness into gx_ and gy_, and per cell their
// energy, their dot product with the learned ones and the learned energy; returns the mean grey.
float TamperGuard::Gradients()
{
    constexpr int kCellWidth = 80 / kCellsAcross, kCellHeight = 60 / kCellsDown;
    static_assert(kCellWidth * kCellsAcross == 80 && kCellHeight * kCellsDown == 60);
    const float brightness = static_cast<float>(cv::mean(grey_)[0]);
    const float scale = 1.0f / (brightness + kBrightnessFloor);
    gx_.create(kSmall, CV_32FC1);
    gy_.create(kSmall, CV_32FC1);
    cells_ = {};
    for (int y = 0; y < kSmall.height; ++y) {
        const float* above = grey_.ptr<float>(std::max(y - 1, 0));
        const float* row = grey_.ptr<float>(y);
        const float* below = grey_.ptr<float>(std::min(y + 1, kSmall.height - 1));
        float* gx = gx_.ptr<float>(y);
        float* gy = gy_.ptr<float>(y);
        const float* lx = learnedX_.ptr<float>(y);
        const float* ly = learnedY_.ptr<float>(y);
        for (int cell = y / kCellHeight * kCellsAcross, x = 0; x < kSmall.width; ++cell) {
            float energy = 0.0f, dot = 0.0f, learned = 0.0f;
            for (const int end = x + kCellWidth; x < end; ++x) {
                const int left = std::max(x - 1, 0), right = std::min(x + 1, kSmall.width - 1);
                gx[x] = scale * (row[right] - row[left]);
                gy[x] = scale * (below[x] - above[x]);
                energy += gx[x] * gx[x] + gy[x] * gy[x];
                dot += gx[x] * lx[x] + gy[x] * ly[x];
                learned += lx[x] * lx[x] + ly[x] * ly[x];
            }
            cells_.energy[cell] += energy;
            cells_.dot[cell] += dot;
            cells_.learnedEnergy[cell] += learned;
        }
    }
    return brightness;
}

TamperGuard::Reading TamperGuard::Judge(float brightness) const
{
    if (brightness < kBlackLevel || brightness < kDarkShare * learnedBrightness_)
        return {Verdict::kDark, 0.0f};
    float meanEnergy = 0.0f;
    for (const float e : cells_.learnedEnergy)
        meanEnergy += e / kCells;
    const float judgedFrom = std::max(kMinCellEnergy, kJudgedShareOfMean * meanEnergy);
    int judged = 0, lost = 0, linedUp = 0;
    for (int k = 0; k < kCells; ++k) {
        const float learned = cells_.learnedEnergy[k], energy = cells_.energy[k];
        if (learned < judgedFrom)
            continue;
        ++judged;
        if (energy < kLostEnergyShare * learned)
            ++lost;
        else if (cells_.dot[k] > kLinedUpCorrelation * std::sqrt(energy * learned))
            ++linedUp;
    }
    if (judged < kFewestJudgedCells)
        return {Verdict::kNormal, 1.0f};
    const float linedUpShare = static_cast<float>(linedUp) / static_cast<float>(judged);
    if (static_cast<float>(lost) >= kCoveredShare * static_cast<float>(judged))
        return {Verdict::kCovered, linedUpShare};
    if (linedUpShare < kMovedShare)
        return {Verdict::kMoved, linedUpShare};
    return {Verdict::kNormal, linedUpShare};
}

// Moves the learned view towards this frame's by weight (1: this frame's alone).
void TamperGuard::Learn(float brightness, float weight)
{
    cv::addWeighted(learnedX_, 1.0 - weight, gx_, weight, 0.0, learnedX_);
    cv::addWeighted(learnedY_, 1.0 - weight, gy_, weight, 0.0, learnedY_);
    learnedBrightness_ += weight * (brightness - learnedBrightness_);
}

std::optional<TamperEvent> TamperGuard::Track(Verdict verdict, const cv::Mat& frameBgr, double seconds)
{
    if (verdict != Verdict::kNormal) {
        normalSince_.reset();
        if (!conditionSince_)
            conditionSince_ = seconds;
        if (alerted_ || seconds - *conditionSince_ < kConditionSeconds)
            return std::nullopt;
        alerted_ = true;
        const TamperKind kind = verdict == Verdict::kCovered ? TamperKind::kCovered
                                : verdict == Verdict::kMoved ? TamperKind::kMoved
                                                             : TamperKind::kDark;
        return TamperEvent{kind, *conditionSince_, seconds, goodFrame_.clone(), frameBgr.clone()};
    }
    if (!conditionSince_) {
        KeepGoodFrame(frameBgr, seconds);
        return std::nullopt;
    }
    if (!normalSince_)
        normalSince_ = seconds;
    if (seconds - *normalSince_ < kClearSeconds)
        return std::nullopt;
    const double backSince = *normalSince_;
    const bool wasAlerted = alerted_;
    conditionSince_.reset();
    normalSince_.reset();
    alerted_ = false;
    pendingTaken_ = false;   // taken before the condition began, and not known to have stayed good
    if (!wasAlerted)
        return std::nullopt;
    return TamperEvent{TamperKind::kRestored, backSince, seconds, {}, frameBgr.clone()};
}

// Called for normal frames only: every half second the pending copy, normal since it was taken,
// becomes the good frame, and this frame the pending one.
void TamperGuard::KeepGoodFrame(const cv::Mat& frameBgr, double seconds)
{
    if (pendingTaken_ && seconds - pendingAt_ < kGoodFrameSeconds)
        return;
    if (pendingTaken_)
        std::swap(goodFrame_, pendingFrame_);
    frameBgr.copyTo(pendingFrame_);
    pendingAt_ = seconds;
    pendingTaken_ = true;
}
