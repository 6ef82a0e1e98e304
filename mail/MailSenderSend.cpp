// MailSender's sends: one message of the plan's entries, and what its answer changes.
#include "mail/MailSender.h"

#include "log/EventLog.h"
#include "mail/MailSenderParts.h"

// The batch's entries, from memory or the disk; nothing when one of them is no longer to be sent
// (gone, or not a whole entry: then set aside), and the plan is asked again.
std::optional<std::vector<OutboxEntry>> MailSender::Load(const std::vector<std::string>& ids)
{
    std::vector<OutboxEntry> batch;
    for (const std::string& id : ids) {
        {
            std::lock_guard lock(mutex_);
            if (const auto it = held_.find(id); it != held_.end()) {
                batch.push_back(it->second);
                continue;
            }
        }
        std::string problem;
        std::optional<OutboxEntry> entry = outbox_.Read(id, problem);
        if (!entry) {
            {
                std::lock_guard lock(mutex_);
                plan_.Forget(id);
            }
            if (!problem.empty())
                Reject(id, problem);
            return std::nullopt;
        }
        batch.push_back(std::move(*entry));
    }
    return batch;
}

// Runs on the thread without the lock, which it takes only to record the outcome.
void MailSender::Send(const std::vector<std::string>& ids)
{
    const std::optional<std::vector<OutboxEntry>> batch = Load(ids);
    if (!batch)
        return;
    std::string reason;
    const std::optional<MailSettings> settings = settings_ ? settings_(reason) : std::nullopt;
    MailResult result{.reason = reason.empty() ? "the mail settings are incomplete" : reason};
    if (settings) {
        {
            std::lock_guard lock(mutex_);
            plan_.SetGroup(settings->group);
        }
        result = SendMail(settings->server, AlarmMessage(*batch, *settings), &cancel_);
    }
    if (result.sent)
        return Sent(*batch, result.sizeLimit);
    if (cancel_.Cancelled())
        return;   // stopped on the way out: the stored entries wait for the next start
    if (const std::string event = Failed(*batch, result); !event.empty())
        log_.Write(event);
    if (!result.tooBig)   // a batch too big is split; an entry too big alone is set aside
        Report(*batch, result.permanent || result.messageRefused ? "refused" : "queued", result.reason);
}

void MailSender::Report(const std::vector<OutboxEntry>& batch, const char* state, const std::string& reason) const
{
    if (report_)
        for (const OutboxEntry& entry : batch)
            if (entry.event != 0)
                report_(entry.event, state, reason);
}

void MailSender::Sent(const std::vector<OutboxEntry>& batch, std::uintmax_t sizeLimit)
{
    std::string reason;
    for (const OutboxEntry& entry : batch)
        if (!outbox_.Settle(entry.id, kMailChannel, reason))
            log_.Write("outbox entry " + entry.id + " could not be marked as mailed: " + reason + "; it may be mailed again");
    {
        std::lock_guard lock(mutex_);
        for (const OutboxEntry& entry : batch)
            held_.erase(entry.id);
        plan_.Sent(Ids(batch));
        plan_.Announced(sizeLimit);
        status_.sent += static_cast<int>(batch.size());
        status_.lastFailure.clear();
        status_.refusal.clear();
        status_.permanent = false;
    }
    log_.Write("mail for " + What(batch) + " sent");
    Report(batch, "sent", {});
}

// Records a failed send; answers the event to log (empty when it logged its own).
std::string MailSender::Failed(const std::vector<OutboxEntry>& batch, const MailResult& result)
{
    const std::vector<std::string> ids = Ids(batch);
    const std::string event = "mail for " + What(batch);
    std::unique_lock lock(mutex_);
    const std::uintmax_t size = plan_.MessageSize(ids);
    plan_.Announced(result.sizeLimit);
    if (result.tooBig && batch.size() > 1) {
        plan_.TooBig(size, result.sizeLimit);
        return event + " too big for the server (about " + Megabytes(size) + "): sent in smaller messages";
    }
    if (result.tooBig) {
        lock.unlock();
        SetAside(batch.front(), size, result.sizeLimit);
        return {};
    }
    status_.lastFailure = result.reason;
    status_.permanent = result.permanent;
    if (result.permanent)
        status_.refusal = result.reason;
    if (result.messageRefused) {
        const std::chrono::seconds pause = plan_.MessageRefused(ids, Clock::now());
        return event + " refused: " + result.reason
            + (batch.size() > 1 ? "; sent one by one" : "; kept, next try in " + std::to_string(pause.count()) + " s");
    }
    const std::chrono::seconds pause = plan_.ServerFailed(ids, result.permanent, Clock::now());
    return event + (result.permanent ? " refused: " + result.reason + "; kept," : " failed: " + result.reason + ";")
        + " next try in " + std::to_string(pause.count()) + " s";
}
