// MailSender's side of the disk: the outbox files it finds (and those it sets aside), and the
// entries it keeps in memory while the outbox cannot be written.
#include "mail/MailSender.h"

#include "log/EventLog.h"
#include "mail/EntryKinds.h"
#include "mail/MailSenderParts.h"

void MailSender::Scan(bool first)
{
    std::vector<std::string> known;
    {
        std::lock_guard lock(mutex_);
        known = plan_.Ids();
    }
    // Listed after the snapshot: whatever the plan knew and the disk no longer holds was removed.
    const std::vector<std::string> onDisk = outbox_.Ids();
    for (const std::string& id : onDisk) {
        {
            std::lock_guard lock(mutex_);
            if (plan_.Knows(id) || ignored_.contains(id) || othersOnly_.contains(id))
                continue;
        }
        std::string problem;
        const std::optional<OutboxEntry> entry = outbox_.Read(id, problem);
        if (!problem.empty())
            Reject(id, problem);
        if (!entry)
            continue;
        std::lock_guard lock(mutex_);
        if (Owes(*entry, kMailChannel))
            plan_.Add(id, FindEntryKind(entry->kind)->picture, SentSize(*entry));
        else
            othersOnly_.insert(id);
    }
    const std::set<std::string> present(onDisk.begin(), onDisk.end());
    size_t waiting = 0;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(othersOnly_, [&](const std::string& id) { return !present.contains(id); });
        for (const std::string& id : known)
            if (!present.contains(id) && !held_.contains(id))
                plan_.Forget(id);
        waiting = plan_.size();
    }
    if (first && waiting > 0)
        log_.Write("outbox: " + std::to_string(waiting) + " mails waiting");
}

// A file that is not a whole entry: never mailed, never counted, moved where the user can look.
void MailSender::Reject(const std::string& id, const std::string& problem)
{
    std::string reason;
    const std::string file = "outbox file " + id + ".mail is not a mail Sentivo sends (" + problem + "): ";
    if (outbox_.SetAside(id, reason)) {
        log_.Write(file + "moved to " + outbox_.rejectedFolder().string());
        return;
    }
    {
        std::lock_guard lock(mutex_);
        ignored_.insert(id);
    }
    log_.Write(file + reason + "; it is left alone");
}

// Entries kept in memory go to the disk as soon as it takes them; lastChance: the sender stops,
// and what still cannot be stored is lost (and logged).
void MailSender::StoreHeld(bool lastChance)
{
    std::vector<OutboxEntry> held;
    {
        std::lock_guard lock(mutex_);
        if (held_.empty() || (!lastChance && Clock::now() < nextStore_))
            return;
        for (const auto& [id, entry] : held_)
            held.push_back(entry);
    }
    std::string reason;
    size_t stored = 0;
    while (stored < held.size() && outbox_.Add(held[stored], reason))
        ++stored;
    std::unique_lock lock(mutex_);
    for (size_t i = 0; i < stored; ++i)
        held_.erase(held[i].id);
    const size_t left = held_.size();
    nextStore_ = Clock::now() + kStorePause;
    if (left == 0)
        status_.outboxProblem.clear();
    lock.unlock();
    if (left == 0)
        log_.Write("the outbox " + outbox_.folder().string() + " can be written again: "
                   + std::to_string(stored) + " mails kept in memory are stored in it");
    else if (lastChance)
        log_.Write(std::to_string(left) + " mails kept in memory could not be stored and are lost: " + reason);
}

void MailSender::SetAside(const OutboxEntry& entry, std::uintmax_t size, std::uintmax_t limit)
{
    std::string reason;
    bool held = false;
    {
        std::lock_guard lock(mutex_);
        held = held_.contains(entry.id);
    }
    // Another channel may still owe it: then a copy is set aside, and the entry is the mail's no more.
    OutboxEntry copy = entry;
    const bool shared = entry.channels.size() > 1;
    bool moved = held || shared ? Outbox(outbox_.rejectedFolder()).Add(copy, reason) : outbox_.SetAside(entry.id, reason);
    if (moved && shared && !held)
        moved = outbox_.Settle(entry.id, kMailChannel, reason);
    const std::string what = What({entry});
    {
        std::lock_guard lock(mutex_);
        plan_.Forget(entry.id);
        held_.erase(entry.id);
        if (!moved)
            ignored_.insert(entry.id);
        status_.setAside = what + " too big for the server";
    }
    log_.Write("mail for " + what + " set aside: too big for the server (about " + Megabytes(size) + " as sent"
               + (limit ? ", it takes " + Megabytes(limit) : "") + "); "
               + (moved ? "kept in " + outbox_.rejectedFolder().string() : reason + "; not tried again"));
    Report({entry}, "set aside", "too big for the server");
}
