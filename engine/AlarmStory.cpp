#include "engine/AlarmStory.h"

#include "engine/StorySheet.h"

#include <algorithm>

AlarmStory::AlarmStory(FrameRing& ring, ClipWriter& clips, NearAlarm nearAlarm)
    : ring_(ring), clips_(clips), nearAlarm_(std::move(nearAlarm))
{
}

void AlarmStory::Frame(const cv::Mat& frame, double seconds, float alarmLevel, bool atAlarmLevel)
{
    const auto now = std::chrono::system_clock::now();
    ring_.Offer(frame, seconds, now);
    if (alarmLevel > 0.0f && !episodeStart_) {
        episodeStart_ = seconds;
        episodeBegan_ = now;
        alarmInEpisode_ = false;
    } else if (alarmLevel <= 0.0f && episodeStart_) {
        if (!alarmInEpisode_ && nearAlarm_)
            nearAlarm_(MakeStorySheet(PickStoryFrames(ring_.Between(*episodeStart_, seconds))), episodeBegan_);
        episodeStart_.reset();
    }
    if (episodeStart_ && atAlarmLevel)
        alarmInEpisode_ = true;
    if (clip_ && seconds >= clip_->to)
        QueueClip();
    Hold();
}

// The ring keeps what an open episode (from 5 s before it) and an open clip still need.
void AlarmStory::Hold()
{
    std::optional<double> from;
    if (episodeStart_)
        from = *episodeStart_ - kBeforeEpisode;
    if (clip_)
        from = std::min(from.value_or(clip_->from), clip_->from);
    if (from)
        ring_.HoldFrom(*from);
    else
        ring_.Release();
}

AlarmStory::Alarm AlarmStory::TakeAlarm(double seconds, const std::filesystem::path& clipFile)
{
    // A delay of 0 can fire on the episode's first frame, before Frame() has seen it.
    const double start = episodeStart_.value_or(seconds);
    alarmInEpisode_ = true;
    Alarm alarm{MakeStorySheet(PickStoryFrames(ring_.Between(start, seconds))), clipFile};
    if (clip_ && seconds + kAfterAlarm - clip_->from <= kLongestClip) {
        clip_->to = seconds + kAfterAlarm;
        alarm.clipFile = clip_->file;
        return alarm;
    }
    if (clip_)
        QueueClip();
    // A later clip of a long episode begins where the last one ended.
    const double from = std::max(start - kBeforeEpisode, lastClipEnd_.value_or(start - kBeforeEpisode));
    clip_ = OpenClip{clipFile, from, seconds + kAfterAlarm};
    Hold();
    return alarm;
}

void AlarmStory::Interrupt()
{
    Finish();
    episodeStart_.reset();
    lastClipEnd_.reset();
    Hold();
    ring_.Clear();
}

void AlarmStory::Finish()
{
    if (clip_)
        QueueClip();
}

void AlarmStory::QueueClip()
{
    ClipJob job{clip_->file, ring_.Between(clip_->from, clip_->to), ring_.framesPerSecond()};
    lastClipEnd_ = clip_->to;
    clip_.reset();
    if (!job.frames.empty())
        clips_.Queue(std::move(job));
}
