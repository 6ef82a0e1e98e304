#pragma once
// The story of each detection episode. An episode begins with the first frame that raises the
// alarm level from zero and ends when the level has drained to zero again. The run feeds every
// frame; at an alarm it gets the contact sheet of the episode so far (its start to the alarm) and
// a clip is queued once the frames up to 10 s after the alarm are in (from 5 s before the episode
// began). Pictures that follow while that clip is still open lengthen it rather than start
// another (up to two minutes a clip). An episode that drains without an alarm is a near alarm:
// its sheet goes to nearAlarm, and no alert.
//
// Threads: the run's thread only. Clips are written by the ClipWriter's thread.

#include "engine/ClipWriter.h"
#include "engine/FrameRing.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class AlarmStory {
public:
    static constexpr double kBeforeEpisode = 5.0, kAfterAlarm = 10.0, kLongestClip = 120.0;   // seconds

    struct Alarm {
        std::string sheetJpeg;           // empty when no frame was kept
        std::filesystem::path clipFile;  // the clip this alarm is in (written later)
    };
    // nearAlarm(sheet, when the episode began): an episode drained before the alarm.
    using NearAlarm = std::function<void(const std::string& sheetJpeg, std::chrono::system_clock::time_point began)>;

    AlarmStory(FrameRing& ring, ClipWriter& clips, NearAlarm nearAlarm);

    // Every frame, after the alarm level was updated; atAlarmLevel: the level reached the alarm's
    // (a picture may still wait for the spacing between pictures: no near alarm, then).
    void Frame(const cv::Mat& frame, double seconds, float alarmLevel, bool atAlarmLevel);
    // A picture was taken at seconds (this frame): the episode's sheet, and the clip it goes in.
    Alarm TakeAlarm(double seconds, const std::filesystem::path& clipFile);
    // A gap (the camera lost): the episode and the frames before it are over; open clips are
    // written with what they have.
    void Interrupt();
    // The run ends: open clips are written with what they have.
    void Finish();

private:
    struct OpenClip {
        std::filesystem::path file;
        double from = 0.0, to = 0.0;
    };
    void QueueClip();
    void Hold();

    FrameRing& ring_;
    ClipWriter& clips_;
    NearAlarm nearAlarm_;
    std::optional<double> episodeStart_;
    std::chrono::system_clock::time_point episodeBegan_;
    bool alarmInEpisode_ = false;   // a picture was taken, or the level reached the alarm's
    std::optional<OpenClip> clip_;
    std::optional<double> lastClipEnd_;   // where the last clip of this run ended
};
