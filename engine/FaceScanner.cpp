#include "engine/FaceScanner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// The cascade's parameters, as DetectFacesWith uses them.
constexpr double kScaleFactor = 1.1;
constexpr int kMinNeighbours = 2;
constexpr int kFlags = cv::CASCADE_DO_CANNY_PRUNING;
constexpr int kSmallestFace = 40;
const cv::Scalar kBoxColour(0, 0, 255);   // red in BGR order
constexpr int kBoxThickness = 3;

constexpr int kCell = 8;                   // pixels per side of a cell of the reduced image
constexpr double kChangeLevel = 12.0;      // grey levels a cell's mean must move to count as changed
constexpr int kMostSlicesPerFrame = 3;     // catching up after slow frames stays bounded
constexpr double kNever = -1e9;            // "changed at" of a cell that has not changed

cv::Rect Grown(const cv::Rect& r, int by, cv::Size bounds)
{
    return cv::Rect(r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by) & cv::Rect({0, 0}, bounds);
}

// Rectangles that overlap become their bounding rectangle, until none overlap: a face that lies
// across two regions is then inside one.
void MergeOverlapping(std::vector<cv::Rect>& rects)
{
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < rects.size() && !merged; ++i)
            for (size_t j = i + 1; j < rects.size() && !merged; ++j)
                if ((rects[i] & rects[j]).area() > 0) {
                    rects[i] |= rects[j];
                    rects.erase(rects.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
    }
}

// Two boxes of one face: their overlap is most of the smaller, or one's centre is in the other.
bool SameFace(const cv::Rect& a, const cv::Rect& b)
{
    const cv::Point ca(a.x + a.width / 2, a.y + a.height / 2), cb(b.x + b.width / 2, b.y + b.height / 2);
    return a.contains(cb) || b.contains(ca) || (a & b).area() * 2 > std::min(a.area(), b.area());
}

// Starts of tiles of length tile along length, overlapping by overlap, the last one at the end.
std::vector<int> TileStarts(int length, int tile, int overlap)
{
    if (tile >= length)
        return {0};
    const int count = 1 + static_cast<int>(std::ceil(double(length - tile) / (tile - overlap)));
    std::vector<int> starts;
    for (int i = 0; i < count; ++i)
        starts.push_back(static_cast<int>(std::lround(double(i) * (length - tile) / (count - 1))));
    return starts;
}

}  // namespace

std::vector<FaceScanner::Search> PlanFullScan(cv::Size size)
{
    std::vector<FaceScanner::Search> plan;
    const int frameSide = std::min(size.width, size.height);
    // Bands of face sizes growing by half from the smallest; each also searches two scale steps
    // beyond its ends, so a face at a band's edge keeps its neighbours at both sides. Tiles three
    // times the band's largest face, overlapping by it, so each face of the band lies wholly in one.
    for (double low = kSmallestFace; low <= frameSide; low *= 1.5) {
        const int smallest = std::max(kSmallestFace, static_cast<int>(low / 1.21));
        const int largest = std::min(frameSide, static_cast<int>(1.5 * low * 1.21));
        const cv::Size tile(std::min(3 * largest, size.width), std::min(3 * largest, size.height));
        for (const int y : TileStarts(size.height, tile.height, largest))
            for (const int x : TileStarts(size.width, tile.width, largest))
                plan.push_back({cv::Rect({x, y}, tile), smallest, largest});
        if (largest >= frameSide)
            break;
    }
    return plan;
}

FaceScanner::FaceScanner(cv::CascadeClassifier& cascade) : cascade_(cascade)
{
}

void FaceScanner::Forget()
{
    frameSize_ = cv::Size();
}

void FaceScanner::Restart(cv::Size frameSize)
{
    frameSize_ = frameSize;
    framesSeen_ = 0;
    next_ = 0;
    // At least one cell, however small the frame.
    changedAt_.create(std::max(1, frameSize.height / kCell), std::max(1, frameSize.width / kCell), CV_64FC1);
    changedAt_.setTo(kNever);
    tracked_.clear();
    fullScan_ = PlanFullScan(frameSize);
    fullScanDone_ = 0;
    fullScanStarted_ = false;
}

bool FaceScanner::Scan(cv::Mat& image, const cv::Mat& area, double seconds)
{
    CV_Assert(image.type() == CV_8UC3);
    CV_Assert(area.empty() || (area.type() == CV_8UC1 && area.size() == image.size()));
    faces_.clear();
    searched_.clear();
    found_.clear();
    if (cascade_.empty())
        return false;
    if (image.size() != frameSize_)
        Restart(image.size());
    cv::cvtColor(image, grey_, cv::COLOR_BGR2GRAY);
    MarkChanges(seconds);

    std::vector<Search> searches;
    AddChangeSearches(seconds, searches);
    AddTrackedSearches(seconds, searches);
    AddFullScanSlice(seconds, searches);
    for (const Search& search : searches)
        Run(search);

    for (const cv::Rect& face : found_)
        if (std::none_of(faces_.begin(), faces_.end(), [&](const cv::Rect& kept) { return SameFace(kept, face); }))
            faces_.push_back(face);
    std::erase_if(tracked_, [&](const TrackedFace& t) {
        return std::any_of(faces_.begin(), faces_.end(), [&](const cv::Rect& f) { return SameFace(f, t.box); })
               || seconds - t.seenAt > kTrackSeconds;
    });
    bool watchedFace = false;
    for (const cv::Rect& face : faces_) {
        tracked_.push_back({face, seconds});
        const cv::Point centre(face.x + face.width / 2, face.y + face.height / 2);
        watchedFace = watchedFace || area.empty() || area.at<uchar>(centre) != 0;
        cv::rectangle(image, face.tl(), face.br(), kBoxColour, kBoxThickness, cv::LINE_8, 0);
    }
    return watchedFace;
}

// Compares the reduced frame with the one kLag frames earlier; a change of the whole picture's
// brightness (the camera's exposure, a lamp) moves every cell alike and is taken out first.
void FaceScanner::MarkChanges(double seconds)
{
    cv::Mat& oldest = cells_[static_cast<size_t>(next_)];
    cv::Mat reduced;
    cv::resize(grey_, reduced, changedAt_.size(), 0, 0, cv::INTER_AREA);
    if (framesSeen_ >= kLag) {
        cv::subtract(reduced, oldest, signedDiff_, cv::noArray(), CV_16S);
        const double offset = cv::mean(signedDiff_)[0];
        cv::absdiff(signedDiff_, cv::Scalar::all(offset), signedDiff_);
        changedAt_.setTo(seconds, signedDiff_ > kChangeLevel);
    }
    oldest = reduced;
    next_ = (next_ + 1) % kLag;
    ++framesSeen_;
}

// The places changed in the last kChangeSeconds, each grown by a margin that holds the face whose
// change it is (a quarter of its size, at least 24 pixels), merged where they overlap.
void FaceScanner::AddChangeSearches(double seconds, std::vector<Search>& searches)
{
    hot_ = changedAt_ >= seconds - kChangeSeconds;
    if (cv::countNonZero(hot_) == 0)
        return;
    cv::Mat labels, stats, centroids;
    cv::dilate(hot_, hot_, cv::Mat());   // cells a cell apart belong together
    const int count = cv::connectedComponentsWithStats(hot_, labels, stats, centroids, 8, CV_32S);
    const double sx = double(frameSize_.width) / changedAt_.cols, sy = double(frameSize_.height) / changedAt_.rows;
    std::vector<cv::Rect> regions;
    for (int i = 1; i < count; ++i) {
        const int* s = stats.ptr<int>(i);
        const cv::Rect cells(cvFloor(s[cv::CC_STAT_LEFT] * sx), cvFloor(s[cv::CC_STAT_TOP] * sy),
                             cvCeil(s[cv::CC_STAT_WIDTH] * sx), cvCeil(s[cv::CC_STAT_HEIGHT] * sy));
        regions.push_back(Grown(cells, std::max(24, std::max(cells.width, cells.height) / 4), frameSize_));
    }
    MergeOverlapping(regions);
    for (const cv::Rect& r : regions)
        searches.push_back({r, kSmallestFace, std::min(r.width, r.height)});
}

// Around each face found in the last kTrackSeconds, a quarter of its size each way, at sizes from
// two thirds to one and a half of its own; not where a change search already holds it (its
// searches reach the region's size, which is more than the face's).
void FaceScanner::AddTrackedSearches(double seconds, std::vector<Search>& searches)
{
    const size_t changeSearches = searches.size();
    for (const TrackedFace& t : tracked_) {
        if (seconds - t.seenAt > kTrackSeconds)
            continue;
        const cv::Rect near = Grown(t.box, t.box.width / 8, frameSize_);
        const bool covered = std::any_of(searches.begin(), searches.begin() + std::ptrdiff_t(changeSearches),
                                         [&](const Search& s) { return (s.rect & near) == near; });
        if (!covered)
            searches.push_back({Grown(t.box, t.box.width / 4, frameSize_), std::max(kSmallestFace, t.box.width * 2 / 3),
                                t.box.width * 3 / 2});
    }
}

// The slices of the whole frame's scan due by now, so that it takes kFullScanSeconds: at least one
// a frame while it is under way, at most kMostSlicesPerFrame; then the next scan starts when the
// last one started kFullScanSeconds ago.
void FaceScanner::AddFullScanSlice(double seconds, std::vector<Search>& searches)
{
    if (!fullScanStarted_ || (fullScanDone_ == fullScan_.size() && seconds - fullScanStart_ >= kFullScanSeconds)) {
        fullScanStarted_ = true;
        fullScanStart_ = seconds;
        fullScanDone_ = 0;
    }
    const double share = std::clamp((seconds - fullScanStart_) / kFullScanSeconds, 0.0, 1.0);
    const size_t due = static_cast<size_t>(std::ceil(share * double(fullScan_.size())));
    const size_t slices = std::clamp<size_t>(due > fullScanDone_ ? due - fullScanDone_ : 0, 1, kMostSlicesPerFrame);
    for (size_t i = 0; i < slices && fullScanDone_ < fullScan_.size(); ++i)
        searches.push_back(fullScan_[fullScanDone_++]);
}

void FaceScanner::Run(const Search& search)
{
    if (search.rect.width < search.smallestFace || search.rect.height < search.smallestFace)
        return;
    searched_.push_back(search.rect);
    std::vector<cv::Rect> faces;
    cascade_.detectMultiScale(grey_(search.rect), faces, kScaleFactor, kMinNeighbours, kFlags,
                              cv::Size(search.smallestFace, search.smallestFace),
                              cv::Size(search.largestFace, search.largestFace));
    for (cv::Rect& face : faces)
        found_.push_back(face + search.rect.tl());
}
