#pragma once
// What MailSender's halves share: the texts that name entries, their sizes and the message they
// make.

#include "mail/MailSender.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Between tries to store the entries kept in memory in an outbox that could not be written.
constexpr std::chrono::seconds kStorePause{10};

bool IsPicture(const OutboxEntry& entry);
// "picture 12" / "pictures 12, 13" / "\"camera lost\"".
std::string What(const std::vector<OutboxEntry>& batch);
std::vector<std::string> Ids(const std::vector<OutboxEntry>& batch);
// An entry's share of a message as sent: its attachment in base64, its line of text at worst quoted.
std::uintmax_t SentSize(const OutboxEntry& entry);
std::string Megabytes(std::uintmax_t bytes);
// The message of a batch. The subject and the attachments' names come from the kind and the
// number, never from the file.
MailMessage AlarmMessage(const std::vector<OutboxEntry>& batch, const MailSettings& settings);
