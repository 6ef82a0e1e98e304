#include "mail/DeliveryPlan.h"

#include "mail/SendMail.h"

#include <algorithm>

using namespace std::chrono_literals;

namespace {

constexpr std::chrono::seconds kFirstPause = 10s, kLongestPause = 10min;

}  // namespace

void DeliveryPlan::Add(const std::string& id, bool picture, std::uintmax_t size)
{
    entries_.insert_or_assign(id, Entry{.picture = picture, .size = size, .added = Clock::now()});
}

void DeliveryPlan::Forget(const std::string& id)
{
    entries_.erase(id);
}

std::vector<std::string> DeliveryPlan::Ids() const
{
    std::vector<std::string> ids;
    for (const auto& [id, entry] : entries_)
        ids.push_back(id);
    return ids;
}

DeliveryPlan::Clock::time_point DeliveryPlan::ReadyAt(const Entry& entry) const
{
    const Clock::time_point ready = std::max(entry.notBefore, entry.waitsForServer ? serverReadyAt_ : freshReadyAt_);
    // A picture that waited when the last group went is late already: it goes as soon as it can.
    if (!entry.picture || group_ == std::chrono::seconds(0) || entry.added <= picturesSentAt_)
        return ready;
    return std::max(ready, picturesSentAt_ + group_);
}

std::vector<std::string> DeliveryPlan::Next(Clock::time_point now, Clock::time_point& wakeAt) const
{
    std::vector<std::string> batch;
    std::uintmax_t size = kMessageOverhead;
    wakeAt = Clock::time_point::max();
    for (const auto& [id, entry] : entries_) {
        if (!Ready(entry, now)) {
            wakeAt = std::min(wakeAt, ReadyAt(entry));
            continue;
        }
        const bool together = entry.picture && !entry.alone;
        if (!batch.empty() && (!together || size + entry.size > limit_))
            break;
        batch.push_back(id);
        size += entry.size;
        if (!together)
            break;
    }
    return batch;
}

std::uintmax_t DeliveryPlan::MessageSize(const std::vector<std::string>& ids) const
{
    std::uintmax_t size = kMessageOverhead;
    for (const std::string& id : ids)
        if (const auto it = entries_.find(id); it != entries_.end())
            size += it->second.size;
    return size;
}

DeliveryPlan::Clock::time_point DeliveryPlan::NextTry(Clock::time_point now) const
{
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [id, entry] : entries_)
        next = std::min(next, std::max(now, ReadyAt(entry)));
    return next;
}

void DeliveryPlan::Sent(const std::vector<std::string>& ids)
{
    for (const std::string& id : ids)
        if (const auto it = entries_.find(id); it != entries_.end()) {
            picturesSentAt_ = it->second.picture ? Clock::now() : picturesSentAt_;
            entries_.erase(it);
        }
    // The server works: what it failed with before goes now.
    serverPause_ = 0s;
    serverReadyAt_ = freshReadyAt_ = {};
    for (auto& [id, entry] : entries_)
        entry.waitsForServer = false;
}

std::chrono::seconds DeliveryPlan::ServerFailed(const std::vector<std::string>& ids, bool permanent,
                                                Clock::time_point now)
{
    // A refusal for good waits the longest, new entries too: the same login or recipient would be
    // refused again. Anything else waits twice as long as before; new entries try after 10 s.
    serverPause_ = permanent ? kLongestPause : serverPause_ == 0s ? kFirstPause : std::min(2 * serverPause_, kLongestPause);
    serverReadyAt_ = now + serverPause_;
    freshReadyAt_ = permanent ? serverReadyAt_ : now + kFirstPause;
    for (const std::string& id : ids)
        if (const auto it = entries_.find(id); it != entries_.end())
            it->second.waitsForServer = true;
    return serverPause_;
}

std::chrono::seconds DeliveryPlan::MessageRefused(const std::vector<std::string>& ids, Clock::time_point now)
{
    for (const std::string& id : ids)
        if (const auto it = entries_.find(id); it != entries_.end()) {
            it->second.alone = true;
            if (ids.size() == 1)
                it->second.notBefore = now + kLongestPause;
        }
    return ids.size() == 1 ? kLongestPause : 0s;
}

void DeliveryPlan::TooBig(std::uintmax_t size, std::uintmax_t announced)
{
    Announced(announced);
    limit_ = std::min(limit_, size / 2);   // halved until the pictures go one by one
}

void DeliveryPlan::Announced(std::uintmax_t limit)
{
    if (limit > 0)
        limit_ = std::min(limit_, limit);
}

void DeliveryPlan::RetryNow()
{
    limit_ = kLargestMessage;
    serverPause_ = 0s;
    serverReadyAt_ = freshReadyAt_ = picturesSentAt_ = {};
    for (auto& [id, entry] : entries_)
        entry.waitsForServer = false, entry.notBefore = {};
}
