#include "mail/PushSend.h"

#include "mail/CurlHandles.h"
#include "mail/MailConfig.h"
#include "mail/MailErrorReason.h"
#include "mail/SendWatch.h"

#include <algorithm>

namespace {

PushResult Failed(std::string reason, bool permanent = false, long status = 0)
{
    return {.sent = false, .permanent = permanent, .status = status, .reason = std::move(reason)};
}

bool SingleLine(const std::string& text)
{
    return std::none_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

// A header's value as ntfy reads it: ASCII as it is, anything else as an RFC 2047 encoded word.
std::string HeaderValue(const std::string& text)
{
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return text;
    static constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded = "=?UTF-8?B?";
    for (size_t i = 0; i < text.size(); i += 3) {
        const size_t n = std::min<size_t>(3, text.size() - i);
        unsigned value = 0;
        for (size_t k = 0; k < 3; ++k)
            value = value << 8 | (k < n ? static_cast<unsigned char>(text[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            encoded += k <= n ? kBase64[(value >> (18 - 6 * k)) & 63] : '=';
    }
    return encoded + "?=";
}

bool AddHeaders(CurlSlist& headers, const PushServer& server, const PushMessage& message)
{
    const std::pair<const char*, std::string> values[] = {
        {"Title", message.title}, {"Priority", message.priority}, {"Tags", message.tags},
        {"Filename", message.fileName}, {"Authorization", server.token.empty() ? "" : "Bearer " + server.token},
        // The message travels in its header when the body is the picture.
        {"Message", message.picture.empty() ? "" : message.message},
    };
    for (const auto& [name, value] : values)
        if (!value.empty() && !headers.Append((std::string(name) + ": " + HeaderValue(value)).c_str()))
            return false;
    return headers.Append("Expect:");   // no 100-continue round trip before the picture
}

PushResult Outcome(CURLcode code, long status, const char* errorBuffer)
{
    if (code != CURLE_OK)
        return Failed(MailErrorReason(code, 0, errorBuffer));
    if (status >= 200 && status < 300)
        return {.sent = true, .permanent = false, .status = status, .reason = {}};
    PushResult result = Failed("the push server answered " + std::to_string(status), false, status);
    if (status == 401 || status == 403)
        result.reason = "the push server refused the token (" + std::to_string(status) + ")";
    if (status == 413) {
        result.reason = "the picture is too big for the push server";
        result.tooBig = true;
    }
    // A client error other than too many requests is the address's or the token's: it stays.
    result.permanent = status >= 400 && status < 500 && status != 408 && status != 429;
    return result;
}

}  // namespace

PushResult SendPush(const PushServer& server, const PushMessage& message, SendCancel* cancel)
{
    if (!SingleLine(server.url) || !SingleLine(server.token) || !SingleLine(message.title)
        || !SingleLine(message.message) || !SingleLine(message.fileName) || !SingleLine(message.tags)
        || !SingleLine(message.priority))
        return Failed("a line break in the push address or texts", true);
    if (!CurlReady())
        return Failed("the push library could not start");
    SendCancel own;   // declared before the watch and the handle, which use it to their end
    SendWatch watch;
    watch.cancel = cancel ? cancel : &own;
    CurlSlist headers;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CurlEasy curl(curl_easy_init());
    if (!curl || !AddHeaders(headers, server, message))
        return Failed("could not build the push");
    const std::string& body = message.picture.empty() ? message.message : message.picture;
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_URL, server.url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    SetTimeoutsAndTrust(handle, GetMailConfig());
    curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, "PUT");
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    WatchSend(handle, watch);
    const CURLcode code = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return Outcome(code, status, errorBuffer);
}
