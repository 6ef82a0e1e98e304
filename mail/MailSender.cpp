#include "mail/MailSender.h"

#include "log/EventLog.h"
#include "mail/MailSenderParts.h"

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

constexpr size_t kBacklogWorthTelling = 5;
constexpr std::uintmax_t kMostInMemory = 256 * 1024 * 1024;    // pictures kept while it cannot be written

}  // namespace

MailSender::MailSender(Outbox& outbox, MailSettingsSource settings, EventLog& log, MailDeliveryReport report)
    : outbox_(outbox), settings_(std::move(settings)), log_(log), report_(std::move(report))
{
}

MailSender::~MailSender()
{
    Stop();
}

void MailSender::Start()
{
    std::lock_guard lock(mutex_);
    if (!stop_ && !thread_.joinable())
        thread_ = std::thread(&MailSender::Run, this);
}

bool MailSender::Queue(OutboxEntry entry, std::string& reason)
{
    std::string why;
    const bool stored = outbox_.Add(entry, why);
    if (!stored && entry.id.empty()) {   // the entry itself is not usable
        reason = why;
        return false;
    }
    const std::string what = What({entry});
    bool broke = false, mended = false;
    size_t waiting = 0;
    {
        std::lock_guard lock(mutex_);
        std::uintmax_t inMemory = entry.pictureBytes.size();
        for (const auto& [id, held] : held_)
            inMemory += held.pictureBytes.size();
        if (!stored && inMemory > kMostInMemory) {
            reason = why + "; the mails kept in memory meanwhile fill " + Megabytes(kMostInMemory);
            return false;
        }
        broke = !stored && status_.outboxProblem.empty();
        mended = stored && !status_.outboxProblem.empty() && held_.empty();
        status_.outboxProblem = stored ? (mended ? "" : status_.outboxProblem) : why;
        if (stored || broke)   // stored: what waits in memory may follow; broke: try again in a while
            nextStore_ = Clock::now() + (stored ? 0s : kStorePause);
        if (Owes(entry, kMailChannel))
            plan_.Add(entry.id, IsPicture(entry), SentSize(entry));
        else
            othersOnly_.insert(entry.id);
        if (!stored)
            held_.emplace(entry.id, std::move(entry));
        waiting = plan_.size();
    }
    wake_.notify_all();   // sends now unless a failing server's pause runs
    if (broke)
        log_.Write(why + "; mails are kept in memory and sent from there until it can be written");
    if (mended)
        log_.Write("the outbox " + outbox_.folder().string() + " can be written again");
    log_.Write("mail for " + what + " queued");
    if (waiting == kBacklogWorthTelling + 1)
        log_.Write("outbox: " + std::to_string(waiting) + " mails waiting");
    return true;
}

void MailSender::RetryNow()
{
    {
        std::lock_guard lock(mutex_);
        plan_.RetryNow();
        nextStore_ = Clock::now();
    }
    wake_.notify_all();
}

void MailSender::Stop()
{
    {
        std::lock_guard lock(mutex_);
        if (stop_ && !thread_.joinable())
            return;
        stop_ = true;
    }
    cancel_.Cancel();   // ends a send at once: its sockets are shut down
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
    StoreHeld(true);
}

MailSenderStatus MailSender::Status() const
{
    std::lock_guard lock(mutex_);
    MailSenderStatus status = status_;
    status.waiting = plan_.size();
    status.inMemory = held_.size();
    const Clock::time_point now = Clock::now(), next = plan_.NextTry(now);
    status.nextTryIn = status.lastFailure.empty() || next == Clock::time_point::max() || next <= now
        ? 0s : std::chrono::ceil<std::chrono::seconds>(next - now);
    return status;
}

void MailSender::Run()
{
    Scan(true);
    std::unique_lock lock(mutex_);
    while (!stop_) {
        lock.unlock();
        Scan(false);
        StoreHeld(false);
        lock.lock();
        Clock::time_point wakeAt;
        const std::vector<std::string> batch = plan_.Next(Clock::now(), wakeAt);
        if (stop_)
            break;
        if (batch.empty()) {
            if (!held_.empty())
                wakeAt = std::min(wakeAt, nextStore_);
            wakeAt == Clock::time_point::max() ? wake_.wait(lock) : void(wake_.wait_until(lock, wakeAt));
            continue;
        }
        status_.sending = true;
        lock.unlock();
        Send(batch);
        lock.lock();
        status_.sending = false;
    }
}
