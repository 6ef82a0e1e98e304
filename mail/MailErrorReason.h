#pragma once

#include <curl/curl.h>

#include <string>

// A few words for the user about why libcurl's send failed, from its result and the server's last
// SMTP reply code (CURLINFO_RESPONSE_CODE, 0 when none came), which tells a login demanded from a
// refused sender or recipient or message. libcurl's error text is added only to reasons we do not
// name ourselves.
std::string MailErrorReason(CURLcode code, long replyCode, const char* errorBuffer);
