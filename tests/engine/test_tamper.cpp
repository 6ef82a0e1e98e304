// The tamper guard on recorded footage of a drawn room: covered, turned or dark told once after 3 s, light and passers-by not.

#include "engine/TamperGuard.h"
#include "tests/engine/DetectorScenes.h"
#include "tests/support/TestDirectory.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kFps = 15;
constexpr double kRunSeconds = 20.0, kStart = 1000.0;   // the run's clock at the first frame
constexpr double kFrom = 6.0, kUntil = 14.0;            // when the view is tampered with
const cv::Size kSize(320, 240);

// A room twice as wide as the view: shaded wall and floor, windows, shelves of books, pictures,
// a table, a faint texture, softened as by a lens. The camera sees the part from x on.
cv::Mat DrawRoom()
{
    const cv::Size size(2 * kSize.width, kSize.height);
    cv::Mat room(size, CV_8UC3);
    const int floorY = size.height * 7 / 10;
    for (int y = 0; y < size.height; ++y)
        room.row(y) = y < floorY ? cv::Scalar(150, 160, 170) - cv::Scalar::all(y / 6) : cv::Scalar(70, 90, 110);
    cv::RNG rng(11);
    for (int x = 20; x < size.width - 60; x += 100 + rng.uniform(0, 40)) {
        switch (rng.uniform(0, 3)) {
        case 0:   // a window with its bars
            cv::rectangle(room, cv::Rect(x, 30, 60, 70), cv::Scalar(230, 215, 200), cv::FILLED);
            cv::line(room, {x + 30, 30}, {x + 30, 100}, cv::Scalar(60, 60, 60), 3);
            cv::line(room, {x, 65}, {x + 60, 65}, cv::Scalar(60, 60, 60), 3);
            cv::rectangle(room, cv::Rect(x, 30, 60, 70), cv::Scalar(60, 60, 60), 3);
            break;
        case 1:   // a shelf of books
            for (int shelf = 40; shelf < floorY; shelf += 40) {
                for (int bx = x; bx < x + 70; bx += rng.uniform(5, 11))
                    cv::rectangle(room, cv::Rect(bx, shelf - rng.uniform(20, 36), rng.uniform(4, 9), 40),
                                  cv::Scalar(rng.uniform(20, 220), rng.uniform(20, 220), rng.uniform(20, 220)),
                                  cv::FILLED);
                cv::rectangle(room, cv::Rect(x - 4, shelf, 78, 5), cv::Scalar(40, 60, 90), cv::FILLED);
            }
            break;
        default:   // a picture over a table
            cv::rectangle(room, cv::Rect(x, 40, 50, 40), cv::Scalar(rng.uniform(40, 200), 120, 80), cv::FILLED);
            cv::circle(room, {x + 25, 60}, 12, cv::Scalar(30, rng.uniform(100, 250), 200), cv::FILLED);
            cv::rectangle(room, cv::Rect(x - 10, floorY - 40, 80, 8), cv::Scalar(30, 50, 80), cv::FILLED);
            cv::rectangle(room, cv::Rect(x - 5, floorY - 32, 6, 45), cv::Scalar(30, 50, 80), cv::FILLED);
            cv::rectangle(room, cv::Rect(x + 59, floorY - 32, 6, 45), cv::Scalar(30, 50, 80), cv::FILLED);
        }
    }
    cv::Mat grain(size, CV_8UC3);
    rng.fill(grain, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(6));
    cv::GaussianBlur(grain, grain, cv::Size(0, 0), 1.2);
    cv::add(room, grain, room);
    cv::GaussianBlur(room, room, cv::Size(0, 0), 0.8);
    return room;
}

const cv::Mat kRoom = DrawRoom();

cv::Mat View(int x = 0)
{
    return kRoom(cv::Rect({x, 0}, kSize)).clone();
}

bool Tampered(double t)
{
    return t >= kFrom && t < kUntil;
}

cv::Mat Lit(const cv::Mat& frame, double gain, double offset = 0.0)
{
    cv::Mat lit;
    frame.convertTo(lit, -1, gain, offset);
    return lit;
}

// colour laid over the frame where weight (float, 0..1) says.
cv::Mat Blend(const cv::Mat& frame, const cv::Mat& weight, cv::Scalar colour)
{
    cv::Mat frameF, weight3, out;
    frame.convertTo(frameF, CV_32FC3);
    cv::merge(std::vector<cv::Mat>(3, weight), weight3);
    const cv::Mat paint(frame.size(), CV_32FC3, colour);
    out = frameF.mul(cv::Scalar::all(1.0) - weight3) + paint.mul(weight3);
    out.convertTo(out, CV_8UC3);
    return out;
}

// A soft round weight around centre with the given half axes.
cv::Mat Blob(cv::Point centre, cv::Size axes, double softness)
{
    cv::Mat weight(kSize, CV_32FC1, cv::Scalar(0));
    cv::ellipse(weight, centre, axes, 0, 0, 360, cv::Scalar(1.0), cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(weight, weight, cv::Size(0, 0), softness);
    return weight;
}

// A cloth over the lens: one dull grey with a soft shading, nothing in focus.
cv::Mat Cloth()
{
    cv::Mat cloth(kSize, CV_8UC3);
    for (int y = 0; y < kSize.height; ++y)
        cloth.row(y) = cv::Scalar(84, 92, 98) + cv::Scalar::all(y / 16);
    return cloth;
}

cv::Mat Sprayed(const cv::Mat& frame)
{
    cv::Mat blurred;
    cv::GaussianBlur(frame, blurred, cv::Size(0, 0), 14);
    return Blend(blurred, cv::Mat(kSize, CV_32FC1, cv::Scalar(0.6)), cv::Scalar(40, 120, 200));
}

// A torch shone into the lens: its glare fills the picture and drowns the room.
cv::Mat Torch(const cv::Mat& frame)
{
    static const cv::Mat glare = [] {
        cv::Mat weight = Blob({kSize.width / 2, kSize.height / 2}, {kSize.width / 3, kSize.height / 3}, 60) * 6.0;
        return cv::Mat(cv::min(weight, 1.0));
    }();
    return Blend(Lit(frame, 1.6), glare, cv::Scalar::all(255));
}

// The camera turned by a third of the view over 0.6 s at kFrom and back at kUntil.
int Pan(double t)
{
    const double turn = kSize.width / 3.0, ramp = 0.6;
    const double out = std::clamp((t - kFrom) / ramp, 0.0, 1.0), back = std::clamp((t - kUntil) / ramp, 0.0, 1.0);
    return static_cast<int>(std::lround(turn * (out - back)));
}

cv::Mat WithFigure(cv::Mat frame, int x, cv::Size size)
{
    cv::rectangle(frame, cv::Rect({x, frame.rows - size.height + 15}, size), cv::Scalar(30, 40, 50), cv::FILLED);
    cv::circle(frame, {x + size.width / 2, frame.rows - size.height}, size.width / 2, cv::Scalar(70, 90, 130),
               cv::FILLED);
    return frame;
}

int Walk(double t, int span, double speed)
{
    const double travel = std::fmod(t * speed, 2.0 * span);
    return static_cast<int>(travel < span ? travel : 2 * span - travel);
}

using Scene = std::function<cv::Mat(double t)>;

struct Expected {
    TamperKind kind;
    double from, to;   // the event comes at a frame time in [from, to] (seconds into the footage)
};

std::string Describe(const std::vector<TamperEvent>& events)
{
    std::ostringstream text;
    for (const TamperEvent& e : events)
        text << TamperEventText(e.kind) << " at " << e.at - kStart << " s (since " << e.since - kStart << "); ";
    return text.str();
}

double MeanDifference(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    return cv::mean(difference)[0];
}

TEST(TamperGuard, CoveredTurnedOrDarkIsToldOnceAndItsEndOnceLightAndPassersByAreNot)
{
    TestDirectory dir;
    const Scene lampFlicker = [](double t) { return Lit(View(), int(t * 5) % 2 ? 0.6 : 1.0); };
    const Scene lampOff = [](double t) { return Lit(View(), Tampered(t) ? 0.55 : 1.0); };
    const cv::Mat pool = Blob({kSize.width, 0}, {kSize.width / 2, kSize.height / 2}, 40) * 0.5;
    const Scene cornerLamp = [&pool](double t) {
        return Tampered(t) ? Blend(View(), pool, cv::Scalar(220, 240, 255)) : View();
    };
    const Scene exposure = [](double t) {
        const double swing = std::sin(2 * CV_PI * t);   // once a second, ±50 grey levels in the middle
        return Lit(View(), 1.0 + 0.2 * swing, 28.0 * swing);
    };
    const Scene walkers = [](double t) {
        return WithFigure(WithFigure(View(), Walk(t, 280, 60), {40, 150}), Walk(t + 2, 250, 45), {70, 200});
    };
    const Scene passingClose = [](double t) {   // from kFrom for 2 s, a dark blur over most of the view
        if (t < kFrom || t >= kFrom + 2)
            return View();
        const int x = static_cast<int>(kSize.width * (0.35 + 0.15 * (t - kFrom)));
        return Blend(View(), Blob({x, kSize.height / 2}, {kSize.width * 3 / 5, kSize.height * 3 / 4}, 12),
                     cv::Scalar(30, 40, 50));
    };
    const Scene shaking = [](double t) {
        const int jitter = int(t * kFps) % 3 - 1;   // ±3 pixels, as on a shelf a lorry shakes
        return View(3 + 3 * jitter);
    };
    const double soon = kFrom + 3, late = kFrom + 5, back = kUntil, backLate = kUntil + 2.5;
    const struct {
        const char* name;
        Scene scene;
        std::vector<Expected> events;
    } cases[] = {
        {"lens covered", [](double t) { return Tampered(t) ? Cloth() : View(); },
         {{TamperKind::kCovered, soon, late}, {TamperKind::kRestored, back, backLate}}},
        {"lens sprayed", [](double t) { return t >= kFrom ? Sprayed(View()) : View(); },
         {{TamperKind::kCovered, soon, late}}},
        {"torch shone into the lens", [](double t) { return Tampered(t) ? Torch(View()) : View(); },
         {{TamperKind::kCovered, soon, late}, {TamperKind::kRestored, back, backLate}}},
        {"camera turned by a third", [](double t) { return View(Pan(t)); },
         {{TamperKind::kMoved, soon, late}, {TamperKind::kRestored, back, backLate}}},
        {"lights off", [](double t) { return Tampered(t) ? Lit(View(), 0.07) : View(); },
         {{TamperKind::kDark, soon, late}, {TamperKind::kRestored, back, backLate}}},
        {"lamp flickering", lampFlicker, {}},
        {"a lamp switched off, then on", lampOff, {}},
        {"a lamp in the corner switched on, then off", cornerLamp, {}},
        {"exposure hunting ±50 grey levels", exposure, {}},
        {"two people walking about", walkers, {}},
        {"someone passing close to the lens for 2 s", passingClose, {}},
        {"the camera shaking by 3 pixels", shaking, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto frame = [&](int n) { return c.scene(double(n) / kFps); };
        const std::vector<cv::Mat> footage = detector_scenes::Record(frame, int(kRunSeconds * kFps), kFps, kSize);
        TamperGuard guard;
        std::vector<TamperEvent> events;
        for (size_t n = 0; n < footage.size(); ++n) {
            if (auto event = guard.Feed(footage[n], kStart + double(n) / kFps))
                events.push_back(*event);
        }
        ASSERT_EQ(events.size(), c.events.size()) << Describe(events);
        for (size_t k = 0; k < events.size(); ++k) {
            const TamperEvent& e = events[k];
            EXPECT_EQ(e.kind, c.events[k].kind) << Describe(events);
            EXPECT_GE(e.at - kStart, c.events[k].from) << Describe(events);
            EXPECT_LE(e.at - kStart, c.events[k].to) << Describe(events);
            if (e.kind == TamperKind::kRestored)
                continue;
            // The alert's pictures: the room as it was before, and the tampered view.
            ASSERT_EQ(e.lastGood.size(), kSize);
            EXPECT_GE(e.since - kStart, kFrom - 0.2);
            EXPECT_LT(MeanDifference(e.lastGood, View()), 6.0);
            EXPECT_GT(MeanDifference(e.current, View()), 15.0);
        }
    }
}


}  // namespace
