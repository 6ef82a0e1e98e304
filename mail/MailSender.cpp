#include "mail/MailSender.h"

#include "log/EventLog.h"

#include <algorithm>
#include <span>

using namespace std::chrono_literals;

namespace {

constexpr std::uintmax_t kBatchBytes = 10 * 1024 * 1024;
constexpr std::chrono::seconds kFirstPause = 10s, kLongestPause = 10min;
constexpr size_t kBacklogWorthTelling = 5;

bool IsPicture(const OutboxEntry& entry)
{
    return entry.kind == "picture";
}

// "picture 12" / "pictures 12, 13" / "\"camera lost\"".
std::string What(std::span<const OutboxEntry> batch)
{
    if (!IsPicture(batch.front()))
        return "\"" + batch.front().kind + "\"";
    std::string text = batch.size() == 1 ? "picture " : "pictures ";
    for (size_t i = 0; i < batch.size(); ++i)
        text += (i ? ", " : "") + std::to_string(batch[i].pictureNumber);
    return text;
}

// The oldest entries that go in one message: an alert alone, else the pictures up to the next alert.
void KeepOneMessage(std::vector<OutboxEntry>& batch)
{
    const auto end =
        IsPicture(batch.front()) ? std::find_if_not(batch.begin(), batch.end(), IsPicture) : batch.begin() + 1;
    batch.erase(end, batch.end());
}

MailMessage AlarmMessage(const std::vector<OutboxEntry>& batch, const MailSettings& settings)
{
    MailMessage message{settings.fromAddress, settings.toAddress, "", "", {}};
    if (!IsPicture(batch.front())) {
        const OutboxEntry& alert = batch.front();
        message.subject = "Sentivo: " + alert.kind;
        message.body = alert.note + "\r\n";
        if (!alert.pictureBytes.empty())
            message.attachments.push_back({alert.pictureName, alert.pictureBytes});
        return message;
    }
    message.subject = batch.size() == 1 ? "Sentivo: a picture was taken"
                                        : "Sentivo: " + std::to_string(batch.size()) + " pictures were taken";
    message.body = batch.size() == 1 ? "Sentivo's alarm went off and took the attached picture:\r\n"
                                     : "Sentivo's alarm went off and took the attached pictures:\r\n";
    for (const OutboxEntry& entry : batch) {
        message.body += entry.pictureName + ", taken " + entry.takenAt + "\r\n";
        message.attachments.push_back({entry.pictureName, entry.pictureBytes});
    }
    return message;
}

}  // namespace

MailSender::MailSender(Outbox& outbox, MailSettingsSource settings, EventLog& log)
    : outbox_(outbox), settings_(std::move(settings)), log_(log)
{
    status_.waiting = outbox_.Count();
}

MailSender::~MailSender()
{
    Stop();
}

void MailSender::Start()
{
    size_t waiting = 0;
    {
        std::lock_guard lock(mutex_);
        if (stop_ || thread_.joinable())
            return;
        waiting = status_.waiting = outbox_.Count();
        thread_ = std::thread(&MailSender::Run, this);
    }
    if (waiting > 0)
        log_.Write("outbox: " + std::to_string(waiting) + " mails waiting");
}

bool MailSender::Queue(OutboxEntry entry, std::string& reason)
{
    if (!outbox_.Add(entry, reason))
        return false;
    size_t waiting = 0;
    {
        std::lock_guard lock(mutex_);
        waiting = status_.waiting = outbox_.Count();
    }
    wake_.notify_all();   // sends now unless a failure's pause runs: a failing server is not hammered
    log_.Write("mail for " + What({&entry, 1}) + " queued");
    if (waiting == kBacklogWorthTelling + 1)
        log_.Write("outbox: " + std::to_string(waiting) + " mails waiting");
    return true;
}

void MailSender::RetryNow()
{
    {
        std::lock_guard lock(mutex_);
        retryNow_ = true;
        pause_ = 0s;
        nextTry_ = std::chrono::steady_clock::now();
    }
    wake_.notify_all();
}

void MailSender::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cancel_ = true;
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

MailSenderStatus MailSender::Status() const
{
    std::lock_guard lock(mutex_);
    MailSenderStatus status = status_;
    const auto left = nextTry_ - std::chrono::steady_clock::now();
    status.nextTryIn = status.lastFailure.empty() || status.sending || status.waiting == 0 || left <= 0s
        ? 0s : std::chrono::ceil<std::chrono::seconds>(left);
    return status;
}

void MailSender::Run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (status_.waiting == 0)
            wake_.wait(lock);
        else if (!retryNow_ && std::chrono::steady_clock::now() < nextTry_)
            wake_.wait_until(lock, nextTry_);
        else {
            retryNow_ = false;
            status_.sending = true;
            lock.unlock();
            SendBatch();
            lock.lock();
            status_.sending = false;
        }
    }
}

// Runs on the thread without the lock, which it takes only to record the outcome.
void MailSender::SendBatch()
{
    std::vector<OutboxEntry> batch = outbox_.Waiting(kBatchBytes);
    if (batch.empty()) {   // only unreadable files: nothing to send until something is queued
        std::lock_guard lock(mutex_);
        status_.waiting = 0;
        return;
    }
    KeepOneMessage(batch);
    std::string reason;
    const std::optional<MailSettings> settings = settings_ ? settings_(reason) : std::nullopt;
    MailResult result{.reason = reason.empty() ? "the mail settings are incomplete" : reason};
    if (settings)
        result = SendMail(settings->server, AlarmMessage(batch, *settings), &cancel_);
    if (result.sent)
        for (const OutboxEntry& entry : batch)
            outbox_.Remove(entry.id);

    std::string event = "mail for " + What(batch);
    {
        std::lock_guard lock(mutex_);
        status_.waiting = outbox_.Count();
        if (stop_ && !result.sent)
            return;   // cancelled on the way out: the entries wait for the next start
        status_.lastFailure = result.sent ? "" : result.reason;
        status_.permanent = result.permanent;
        if (result.sent) {
            status_.sent += static_cast<int>(batch.size());
            pause_ = 0s;
            event += " sent";
        } else {
            // A refusal for good waits the longest; anything else waits twice as long as before.
            pause_ = result.permanent ? kLongestPause : pause_ == 0s ? kFirstPause : std::min(2 * pause_, kLongestPause);
            nextTry_ = std::chrono::steady_clock::now() + pause_;
            event += (result.permanent ? " refused: " + result.reason + "; kept," : " failed: " + result.reason + ";")
                + " next try in " + std::to_string(pause_.count()) + " s";
        }
    }
    log_.Write(event);
}
