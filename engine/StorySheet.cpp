#include "engine/StorySheet.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <ctime>

namespace {

constexpr int kColumns = 3;
constexpr int kTileWidth = 320;   // half a 640×480 frame: six fit a screen and a mail preview

// "03:12:01.4", local time.
std::string Label(std::chrono::system_clock::time_point at)
{
    const std::time_t whole = std::chrono::system_clock::to_time_t(at);
    std::tm local{};
    localtime_r(&whole, &local);
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000 / 100;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(tenths));
    return text;
}

void DrawLabel(cv::Mat& tile, const std::string& text)
{
    const cv::Point at(6, tile.rows - 8);
    cv::putText(tile, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.6, cv::Scalar(0, 0, 0), 4, cv::LINE_AA);
    cv::putText(tile, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.6, cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
}

}  // namespace

std::vector<StoryFrame> PickStoryFrames(const std::vector<StoryFrame>& frames, std::size_t count)
{
    if (frames.size() <= count)
        return frames;
    std::vector<StoryFrame> picked;
    const double first = frames.front().seconds, span = frames.back().seconds - first;
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double wanted = first + span * static_cast<double>(i) / static_cast<double>(count - 1);
        // The first frame at or after the wanted time, never one picked already.
        while (next + 1 < frames.size() && frames[next].seconds < wanted && frames.size() - next > count - i)
            ++next;
        picked.push_back(frames[next++]);
    }
    return picked;
}

std::string MakeStorySheet(const std::vector<StoryFrame>& frames)
{
    std::vector<cv::Mat> tiles;
    for (const StoryFrame& frame : frames) {
        const cv::Mat decoded = cv::imdecode(cv::Mat(1, static_cast<int>(frame.jpeg->size()), CV_8UC1,
                                                     const_cast<char*>(frame.jpeg->data())), cv::IMREAD_COLOR);
        if (decoded.empty())
            continue;
        cv::Mat tile;
        const double scale = static_cast<double>(kTileWidth) / decoded.cols;
        cv::resize(decoded, tile, cv::Size(kTileWidth, std::max(1, static_cast<int>(std::lround(decoded.rows * scale)))),
                   0, 0, cv::INTER_AREA);
        DrawLabel(tile, Label(frame.takenAt));
        tiles.push_back(tile);
    }
    if (tiles.empty())
        return {};
    const int rows = (static_cast<int>(tiles.size()) + kColumns - 1) / kColumns;
    const int columns = std::min<int>(kColumns, static_cast<int>(tiles.size()));
    cv::Mat sheet(rows * tiles[0].rows, columns * kTileWidth, CV_8UC3, cv::Scalar(0, 0, 0));
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const cv::Rect place(static_cast<int>(i) % kColumns * kTileWidth, static_cast<int>(i) / kColumns * tiles[0].rows,
                             kTileWidth, std::min(tiles[i].rows, tiles[0].rows));
        tiles[i](cv::Rect(0, 0, place.width, place.height)).copyTo(sheet(place));
    }
    std::vector<uchar> bytes;
    if (!cv::imencode(".jpg", sheet, bytes))
        return {};
    return {bytes.begin(), bytes.end()};
}
