#include "mail/PushChannel.h"

#include "log/EventLog.h"
#include "mail/EntryKinds.h"

#include <algorithm>
#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr auto kRescan = 5s;   // entries stored by another copy of the outbox's writers

struct KindLook {
    const char* kind;
    const char* priority;
    const char* tags;
};
constexpr KindLook kLooks[] = {
    {"picture", "urgent", "rotating_light"},
    {"camera lost", "high", "warning,camera"},
    {"camera back", "default", "white_check_mark,camera"},
    {"disk nearly full", "high", "warning,floppy_disk"},
    {"camera covered", "high", "warning,see_no_evil"},
    {"camera moved", "high", "warning,camera"},
    {"view went dark", "high", "warning,new_moon"},
    {"view restored", "default", "white_check_mark,camera"},
    {"arming failed", "high", "warning"},
};

const KindLook* LookOf(std::string_view kind)
{
    const auto it = std::find_if(std::begin(kLooks), std::end(kLooks), [&](const KindLook& look) { return look.kind == kind; });
    return it == std::end(kLooks) ? nullptr : it;
}

}  // namespace

bool PushTakes(std::string_view kind)
{
    return LookOf(kind) != nullptr;
}

PushChannel::PushChannel(PushServer server, std::string room, Outbox& outbox, EventLog& log, MailDeliveryReport report)
    : server_(std::move(server)), room_(std::move(room)), outbox_(outbox), log_(log), report_(std::move(report))
{
}

PushChannel::~PushChannel()
{
    Stop();
}

void PushChannel::Start()
{
    std::lock_guard lock(mutex_);
    if (!stop_ && !thread_.joinable())
        thread_ = std::thread(&PushChannel::Run, this);
}

void PushChannel::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cancel_.Cancel();
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void PushChannel::Finish(std::chrono::milliseconds limit)
{
    Wake();
    {
        std::unique_lock lock(mutex_);
        if (thread_.joinable())
            idleChanged_.wait_for(lock, limit, [this] { return idle_ && !woken_; });
    }
    Stop();
}

void PushChannel::Wake()
{
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

PushStatus PushChannel::Status() const
{
    std::lock_guard lock(mutex_);
    PushStatus status = status_;
    const Clock::time_point now = Clock::now();
    status.nextTryIn = status.lastFailure.empty() || nextTry_ <= now
        ? 0s : std::chrono::ceil<std::chrono::seconds>(nextTry_ - now);
    return status;
}

void PushChannel::Run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        woken_ = false;
        lock.unlock();
        const std::vector<PushCandidate> waiting = Waiting();
        const PushPlan::Step step = plan_.Next(waiting, Clock::now());
        if (!step.send.empty())
            Deliver(step);
        lock.lock();
        status_.waiting = owed_.size();
        nextTry_ = step.wakeAt;
        if (stop_ || woken_ || !step.send.empty())
            continue;
        idle_ = true;
        idleChanged_.notify_all();
        wake_.wait_until(lock, std::min(step.wakeAt, Clock::now() + kRescan), [this] { return stop_ || woken_; });
        idle_ = false;
    }
}

// The entries owing push, oldest first; each file is read once.
std::vector<PushCandidate> PushChannel::Waiting()
{
    const std::vector<std::string> ids = outbox_.Ids();
    const auto gone = [&](const std::string& id) { return !std::binary_search(ids.begin(), ids.end(), id); };
    std::erase_if(othersOnly_, gone);
    std::erase_if(owed_, [&](const auto& item) { return gone(item.first); });
    for (const std::string& id : ids) {
        if (othersOnly_.contains(id) || owed_.contains(id))
            continue;
        std::string problem;
        const std::optional<OutboxEntry> entry = outbox_.Read(id, problem);
        if (!entry)
            continue;   // what is not a whole entry is the mail sender's to set aside
        if (!Owes(*entry, kPushChannel)) {
            othersOnly_.insert(id);   // never will: a channel is only ever taken off an entry
            continue;
        }
        const bool picture = entry->kind == "picture";
        const bool opens = entry->episode == 0 || entry->episode == entry->pictureNumber;
        owed_[id] = {{id, picture, opens ? entry->pictureNumber : entry->episode, picture && opens}, entry->event};
        plan_.Added();
    }
    std::vector<PushCandidate> waiting;
    for (const auto& [id, owed] : owed_)
        waiting.push_back(owed.candidate);
    return waiting;
}

void PushChannel::Deliver(const PushPlan::Step& step)
{
    std::string problem;
    const std::optional<OutboxEntry> entry = outbox_.Read(step.send, problem);
    if (!entry) {   // gone meanwhile
        owed_.erase(step.send);
        return;
    }
    const PushResult result = Push(*entry);
    if (cancel_.Cancelled())
        return;   // stopped on the way out: the entry waits for the next start
    const Clock::time_point now = Clock::now();
    if (!result.sent) {
        const std::chrono::seconds pause = plan_.Failed(now);
        if (report_ && entry->event)
            report_(entry->event, result.permanent ? "refused" : "queued", result.reason);
        if (std::lock_guard lock(mutex_); std::exchange(status_.lastFailure, result.reason) == result.reason)
            return;   // said already
        log_.Write("push failed: " + result.reason + "; tried again in " + std::to_string(pause.count()) + " s");
        return;
    }
    plan_.Sent(owed_[step.send].candidate, now);
    Settle(step.send, entry->event, "sent", {});
    const std::string instead = "picture " + std::to_string(entry->pictureNumber) + " went instead";
    for (const std::string& id : step.superseded)
        Settle(id, owed_[id].event, "set aside", instead);
    bool mended = false;
    {
        std::lock_guard lock(mutex_);
        mended = !status_.lastFailure.empty();
        status_.lastFailure.clear();
        ++status_.sent;
    }
    if (mended)
        log_.Write("push works again");
}

// The entry as a notification: what happened and where as the title, when and what else as the
// message, its picture attached. A picture too big for the server goes without it, saying so.
PushResult PushChannel::Push(const OutboxEntry& entry)
{
    const KindLook* look = LookOf(entry.kind);
    const EntryKind* kind = FindEntryKind(entry.kind);
    if (!look || !kind)
        return {.sent = false, .permanent = true, .status = 0, .reason = "not a kind push takes", .tooBig = false};
    const bool picture = entry.kind == "picture";
    const bool update = picture && entry.episode != 0 && entry.episode != entry.pictureNumber;
    PushMessage message;
    message.title = picture ? (update ? "Sentivo: the alarm goes on in " : "Sentivo: alarm in ") + room_
                            : std::string(kind->subject) + " in " + room_;
    message.message = picture ? "Picture " + std::to_string(entry.pictureNumber) + " taken at " + entry.takenAt
                                    + (entry.note.empty() ? "" : "; " + entry.note)
                              : entry.note.empty() ? std::string(kind->subject) : entry.note;
    message.priority = update ? "high" : look->priority;
    message.tags = look->tags;
    message.fileName = entry.pictureName;
    message.picture = entry.pictureBytes;
    PushResult result = SendPush(server_, message, &cancel_);
    if (!result.tooBig || message.picture.empty())
        return result;
    message.message += " (the picture is too big for the push server)";
    message.picture.clear();
    message.fileName.clear();
    log_.Write("push: " + entry.pictureName + " is too big for the push server; sent without it");
    return SendPush(server_, message, &cancel_);
}

void PushChannel::Settle(const std::string& id, std::int64_t event, const char* state, const std::string& reason)
{
    std::string problem;
    if (!outbox_.Settle(id, kPushChannel, problem))
        log_.Write("push: outbox entry " + id + " could not be marked as pushed: " + problem);
    owed_.erase(id);
    if (report_ && event)
        report_(event, state, reason);
}
