#pragma once

#include <curl/curl.h>

#include <string>

// A few words for the user about why libcurl's send failed, from its result and the text it left
// in the error buffer (which tells a refused sender from a refused recipient or message).
std::string MailErrorReason(CURLcode code, const char* errorBuffer);
