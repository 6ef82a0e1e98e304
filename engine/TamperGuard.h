#pragma once
// Tells when the camera stops watching the room it was armed in: its view covered (a cloth or a
// hand over the lens, paint sprayed on it, a torch shone into it), turned or moved away, or gone
// dark (the lights switched off). Lamps, the camera's exposure, people walking about and someone
// passing close to the lens for a moment are none of these.
//
// How: each frame is shrunk to a grey 80x60 picture (each block's average over two of its rows: the
// cost stays small at any frame size), and its brightness gradients, divided by the picture's mean
// brightness, are compared with those of the view learned in the first 2 s, cell by cell on an 8x6
// grid. Dividing by the brightness and correlating gradients leaves a
// lamp or the exposure (a gain and an offset on every grey level) without effect. Only cells with
// structure in the learned view are judged; a judged cell has
//   lost its structure  when its gradient energy fell below a sixth of the learned one,
//   lined up            when its gradients still correlate with the learned ones (above 0.5),
//   changed             otherwise (something in front of it, or another part of the room).
// The frame's verdict, first match wins:
//   dark     mean grey below a third of the learned mean, or below 8 (nothing to see at all);
//   covered  three quarters of the judged cells lost their structure;
//   moved    fewer than a quarter of the judged cells line up;
//   normal   otherwise: people in the room cover a few cells, the rest still line up.
// A verdict other than normal held for 3 s (without a break of 1 s) raises one event with the
// verdict then; "view restored" follows once the view has been normal for 1 s. The learned view
// follows the room slowly (a running average over about a minute) while the view is normal and
// most of it lines up, so a chair moved or the daylight's shadows do not build up to an alarm.
// A view with structure in fewer than a quarter of its cells (a blank wall) can only go dark.
//
// The run owns one guard per run (a member beside its FrameDetection) and, while armed, after the
// leave-room countdown, feeds it every frame read, as read (before anything is drawn on it), with
// the run's clock in seconds as a double (a float no longer tells frames apart after days):
//   if (std::optional<TamperEvent> event = tamper_.Feed(frame_, seconds)) {
//       const std::string text = TamperEventText(event->kind);   // log, status line, alert kind
//       for an alert (kind != kRestored): send event->lastGood and event->current with it;
//       for kRestored: event->current shows the view back;
//   }
// The first 2 s of frames are learned and raise nothing. A camera lost and back keeps the guard as
// it is (a camera turned while unplugged is still told; a condition that began before the loss
// counts from then); a frame of another size starts learning again.
//
// Cost: at most 0.2 ms a frame at 640x480 on one core (bench/engine/bench_tamper prints it).
// Threads: used by the run's thread only.

#include <opencv2/core.hpp>

#include <array>
#include <optional>

enum class TamperKind {
    kCovered,    // "camera covered"
    kMoved,      // "camera moved"
    kDark,       // "view went dark"
    kRestored,   // "view restored"
};

// The event log's words for it: "camera covered", ...
const char* TamperEventText(TamperKind kind);

struct TamperEvent {
    TamperKind kind;
    // The frame time when the condition began (for kRestored: when the view was normal again), and
    // that of the frame that raised the event.
    double since = 0.0;
    double at = 0.0;
    // For an alert, the last frame before the condition began that stayed normal for half a second
    // after it; empty for kRestored. The frame that raised the event. Copies: the caller keeps them.
    cv::Mat lastGood;
    cv::Mat current;
};

class TamperGuard {
public:
    static constexpr int kCellsAcross = 8, kCellsDown = 6;
    static constexpr int kCells = kCellsAcross * kCellsDown;

    // frameBgr: 8-bit BGR; seconds: the frame's time on a steady clock (only differences count).
    // An event when the view's state changed with this frame.
    std::optional<TamperEvent> Feed(const cv::Mat& frameBgr, double seconds);

    // Forgets the learned view and any condition: the next frame starts learning again (for a view
    // that changed on purpose, such as a camera the owner moved).
    void Reset();

private:
    enum class Verdict { kNormal, kCovered, kMoved, kDark };
    struct Reading {
        Verdict verdict;
        float linedUpShare;   // of the judged cells
    };
    // Per cell: the sums of the frame's squared gradients, of their products with the learned
    // ones, and of the learned ones squared.
    struct Cells {
        std::array<float, kCells> energy{}, dot{}, learnedEnergy{};
    };

    void Shrink(const cv::Mat& frameBgr);
    float Gradients();
    Reading Judge(float brightness) const;
    void Learn(float brightness, float weight);
    std::optional<TamperEvent> Track(Verdict verdict, const cv::Mat& frameBgr, double seconds);
    void KeepGoodFrame(const cv::Mat& frameBgr, double seconds);

    cv::Size frameSize_;
    cv::Mat resized_;              // a frame too small (or too wide) to average, resized
    cv::Mat grey_;                  // the frame's 80x60 average grey, float
    cv::Mat gx_, gy_;               // gradients of grey_ divided by its brightness
    cv::Mat learnedX_, learnedY_;   // the learned view's
    Cells cells_;
    float learnedBrightness_ = 0.0f;

    double firstAt_ = 0.0, lastAt_ = 0.0;   // frame times of the first frame learned and the last
    int learnedFrames_ = 0;
    bool learning_ = true;

    // The condition: since when the view is not normal, since when it is normal again within it.
    std::optional<double> conditionSince_, normalSince_;
    bool alerted_ = false;

    // Two copies of the frame, taken every half second while the view is normal: the newer one
    // becomes the good one when the view was still normal half a second after it was taken.
    cv::Mat goodFrame_, pendingFrame_;
    double pendingAt_ = 0.0;
    bool pendingTaken_ = false;
};
