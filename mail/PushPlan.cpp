#include "mail/PushPlan.h"

#include <algorithm>

using namespace std::chrono_literals;

namespace {

constexpr std::chrono::seconds kFirstPause = 10s, kLongestPause = 10min;
constexpr size_t kEpisodesKept = 32;

}  // namespace

PushPlan::Step PushPlan::Next(const std::vector<PushCandidate>& waiting, Clock::time_point now) const
{
    Step step;
    if (waiting.empty())
        return step;
    const Clock::time_point ready = fresh_ ? std::min(readyAt_, failedAt_ + kFirstPause) : readyAt_;
    if (now < ready) {
        step.wakeAt = ready;
        return step;
    }
    for (const PushCandidate& candidate : waiting) {
        const auto last = candidate.picture ? episodes_.find(candidate.episode) : episodes_.end();
        if (last == episodes_.end()) {   // an alert, or an episode's first picture
            step.send = candidate.id;
            return step;
        }
        if (now < last->second + kUpdateEvery) {
            step.wakeAt = std::min(step.wakeAt, last->second + kUpdateEvery);
            continue;
        }
        for (const PushCandidate& other : waiting)   // the episode's latest goes for all of them
            if (other.picture && other.episode == candidate.episode)
                step.superseded.push_back(other.id);
        step.send = step.superseded.back();
        step.superseded.pop_back();
        return step;
    }
    return step;
}

void PushPlan::Sent(const PushCandidate& candidate, Clock::time_point now)
{
    pause_ = 0s;
    readyAt_ = failedAt_ = {};
    fresh_ = false;
    if (!candidate.picture)
        return;
    episodes_[candidate.episode] = now;
    if (episodes_.size() > kEpisodesKept)   // episode numbers grow: the oldest is the first
        episodes_.erase(episodes_.begin());
}

std::chrono::seconds PushPlan::Failed(Clock::time_point now)
{
    pause_ = std::clamp(pause_ * 2, kFirstPause, kLongestPause);
    failedAt_ = now;
    readyAt_ = now + pause_;
    fresh_ = false;
    return pause_;
}
