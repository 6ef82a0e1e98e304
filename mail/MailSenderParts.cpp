#include "mail/MailSenderParts.h"

#include "mail/EntryKinds.h"

#include <algorithm>
#include <cstdio>

bool IsPicture(const OutboxEntry& entry)
{
    const EntryKind* kind = FindEntryKind(entry.kind);
    return kind && kind->picture;
}

std::string What(const std::vector<OutboxEntry>& batch)
{
    if (!IsPicture(batch.front()))
        return "\"" + batch.front().kind + "\"";
    // A picture's story sheet goes unnamed beside it; named only when it travels alone.
    std::vector<std::int64_t> numbers;
    for (const OutboxEntry& entry : batch)
        if (entry.kind == "picture")
            numbers.push_back(entry.pictureNumber);
    if (numbers.empty())
        return "story of picture " + std::to_string(batch.front().pictureNumber);
    std::string text = numbers.size() == 1 ? "picture " : "pictures ";
    for (size_t i = 0; i < numbers.size(); ++i)
        text += (i ? ", " : "") + std::to_string(numbers[i]);
    return text;
}

std::vector<std::string> Ids(const std::vector<OutboxEntry>& batch)
{
    std::vector<std::string> ids;
    for (const OutboxEntry& entry : batch)
        ids.push_back(entry.id);
    return ids;
}

std::uintmax_t SentSize(const OutboxEntry& entry)
{
    return (entry.pictureBytes.empty() ? 0 : SentAttachmentSize(entry.pictureBytes.size()))
        + 3 * (entry.takenAt.size() + entry.note.size()) + 64;
}

std::string Megabytes(std::uintmax_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

MailMessage AlarmMessage(const std::vector<OutboxEntry>& batch, const MailSettings& settings)
{
    const EntryKind& kind = *FindEntryKind(batch.front().kind);   // the outbox read only known kinds
    MailMessage message{settings.fromAddress, settings.toAddress, std::string(kind.subject), "", {}};
    if (!kind.picture) {
        const OutboxEntry& alert = batch.front();
        message.body = alert.note + "\r\n";
        if (!alert.pictureBytes.empty())
            message.attachments.push_back({AttachmentName(kind, 0), alert.pictureBytes});
        return message;
    }
    // A picture's story sheet travels with it and is no picture of its own.
    const auto pictures = std::count_if(batch.begin(), batch.end(), [](const OutboxEntry& e) { return e.kind == "picture"; });
    if (pictures > 1)
        message.subject = "Sentivo: " + std::to_string(pictures) + " pictures were taken";
    message.body = pictures <= 1 ? "Sentivo's alarm went off and took the attached picture:\r\n"
                                 : "Sentivo's alarm went off and took the attached pictures:\r\n";
    for (const OutboxEntry& entry : batch) {
        const std::string name = AttachmentName(*FindEntryKind(entry.kind), entry.pictureNumber);
        message.body += name + ", taken " + entry.takenAt + (entry.note.empty() ? "" : " (" + entry.note + ")") + "\r\n";
        message.attachments.push_back({name, entry.pictureBytes});
    }
    return message;
}

