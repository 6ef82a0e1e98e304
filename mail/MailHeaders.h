#pragma once

#include <ctime>
#include <string>
#include <string_view>

// "Date: Sat, 06 Dec 2025 19:03:00 +0100" for the given moment in local time. The names are
// written out here because the mail format wants English ones whatever the user's locale is.
std::string MailDateHeader(std::time_t when);

// "Message-ID: <unique@domain>", the domain taken from the sender's address when it has a usable
// one, so replies and mail filters can tell the alarm's messages apart.
std::string MessageIdHeader(std::string_view fromAddress);
