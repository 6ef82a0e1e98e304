#pragma once
// Face detection at the camera's resolution on one core. The Haar cascade and its parameters are
// those of DetectFacesWith (scale step 1.1, 2 neighbours, Canny pruning, faces of at least 40×40),
// but each frame the cascade looks only where a face can have appeared:
// - where the picture changed in the last moments (kChangeSeconds): a difference with the frame
//   two before on an image reduced to 8×8 cells, a change of the whole picture's brightness taken
//   out, the changed cells grown by a margin that holds the face whose change they are,
//   overlapping regions merged so that no face is cut; the scales searched end at the region's
//   size. Moments rather than a whole second: a face walking across would leave a trail searched
//   over and over; where it stops, the search around found faces takes over;
// - around each face found in the last second, at scales near its size, so a face that stops
//   moving stays found;
// - one slice of a scan of the whole frame, spread over kFullScanSeconds: the frame's area cut
//   into tiles per band of face sizes (each tile overlapping the next by the band's largest face),
//   so a face that never moves is found within a few seconds, without a frame that takes as long
//   as the whole-frame cascade.
// Faces found by more than one search are counted once. Every face gets the red box of thickness 3
// that DetectFacesWith draws. What remains costly is the faces themselves: the cascade's windows on
// and around a face pass many of its stages (at 1280×720 about 5 ms for a face 45 pixels wide,
// 17 ms for one of 180), wherever it is searched.
//
// How the run uses it: one scanner per run (its state belongs to the run; it keeps no frames outside
// itself), made once the run's cascade is loaded, with that cascade, which must outlive it (a
// cascade loaded afresh needs a new scanner). For each frame, in order, call
// Scan(image, area, seconds) in place of DetectFacesWith(state, image, area): the frame (8-bit BGR;
// the preview's copy, boxes are drawn into it), the detection area at the frame's size (as
// DetectFacesWith takes it) and the frame's time on the run's clock in seconds (the run's seconds
// since its start will do). Its answer is DetectFacesWith's: true when a face whose centre is in
// the area was found. After a gap in the frames (the camera lost and back), call Forget() where the
// detectors' history is forgotten, so the first frames after it are not compared with those
// before. A change of frame size starts afresh by itself.
//
// Threads: a scanner is used by one thread at a time; the cascade is not shared with another
// thread while Scan runs.

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <array>
#include <vector>

class FaceScanner {
public:
    static constexpr double kFullScanSeconds = 3.0;   // the whole frame is scanned this often
    static constexpr double kChangeSeconds = 0.15;    // a changed place is searched this long
    static constexpr double kTrackSeconds = 1.0;      // a face is looked for this long where it was

    explicit FaceScanner(cv::CascadeClassifier& cascade);

    // image: 8-bit BGR; area: 8-bit, the image's size, non-zero = watched, or empty = everywhere.
    // True when at least one face whose centre is in the area was found. An empty cascade finds
    // none and draws nothing.
    bool Scan(cv::Mat& image, const cv::Mat& area, double seconds);
    // Forgets the frames seen, the changes and the faces found; the whole frame's scan starts again.
    void Forget();

    // The faces of the last Scan, in the frame's coordinates.
    const std::vector<cv::Rect>& Faces() const { return faces_; }
    // The parts of the last frame the cascade searched (for a preview of the scanner's work, and
    // the share of the picture it searches).
    const std::vector<cv::Rect>& Searched() const { return searched_; }

    // One search: a part of the frame and the face sizes looked for in it.
    struct Search {
        cv::Rect rect;
        int smallestFace = 0;
        int largestFace = 0;
    };

private:
    struct TrackedFace {
        cv::Rect box;
        double seenAt = 0.0;
    };
    static constexpr int kLag = 2;   // frames between the two compared

    void Restart(cv::Size frameSize);
    void MarkChanges(double seconds);
    void AddChangeSearches(double seconds, std::vector<Search>& searches);
    void AddTrackedSearches(double seconds, std::vector<Search>& searches);
    void AddFullScanSlice(double seconds, std::vector<Search>& searches);
    void Run(const Search& search);

    cv::CascadeClassifier& cascade_;
    cv::Size frameSize_;
    cv::Mat grey_;                           // the frame in grey levels, as the cascade reads it
    std::array<cv::Mat, kLag> cells_;        // the last reduced frames; cells_[next_] is the oldest
    int next_ = 0;
    int framesSeen_ = 0;
    cv::Mat changedAt_;                      // per cell (CV_64F): when it last changed, or -inf
    cv::Mat signedDiff_, hot_;
    std::vector<TrackedFace> tracked_;
    std::vector<Search> fullScan_;           // the whole frame's scan, one slice after another
    size_t fullScanDone_ = 0;
    double fullScanStart_ = 0.0;
    bool fullScanStarted_ = false;
    std::vector<cv::Rect> found_, faces_, searched_;
};

// The whole frame's scan of a frame of size, as searches of tiles by bands of face sizes.
std::vector<FaceScanner::Search> PlanFullScan(cv::Size size);
