#include "mail/EmailPic.h"

#include "mail/CurlHandles.h"
#include "mail/MailConfig.h"
#include "mail/MailErrorReason.h"
#include "mail/MailHeaders.h"
#include "mail/SmtpUrl.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>

namespace {

constexpr const char* kSubject = "Subject: Sentivo: a picture was taken";

thread_local std::string lastError;

bool Fail(std::string reason)
{
    lastError = std::move(reason);
    return false;
}

// libcurl's global set-up must run once before any handle exists, whichever thread mails first.
bool CurlReady()
{
    static std::once_flag once;
    static CURLcode result = CURLE_FAILED_INIT;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result == CURLE_OK;
}

std::optional<std::string> ReadPicture(const char* path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// Addresses go into the envelope and the headers: a line break or other control character would
// add lines of their own, and a space or an angle bracket would close the envelope's "<address>"
// and add SMTP parameters ("a@b.net> SIZE=1").
bool UsableAddress(std::string_view address)
{
    return !address.empty() && std::all_of(address.begin(), address.end(), [](char c) {
        return static_cast<unsigned char>(c) > ' ' && c != '<' && c != '>' && c != '\x7f';
    });
}

struct Message {
    CurlMime mime;
    CurlSlist headers;
    CurlSlist recipients;
};

bool AddHeaders(Message& message, const char* toAddress, const char* fromAddress)
{
    const std::string from = std::string("From: ") + fromAddress;
    const std::string to = std::string("To: ") + toAddress;
    return message.headers.Append(MailDateHeader(std::time(nullptr)).c_str())
        && message.headers.Append(from.c_str()) && message.headers.Append(to.c_str())
        && message.headers.Append(kSubject)
        && message.headers.Append(MessageIdHeader(fromAddress).c_str());
}

bool AddParts(CURL* curl, Message& message, const std::string& fileName, const std::string& bytes)
{
    message.mime.reset(curl_mime_init(curl));
    if (!message.mime)
        return false;
    const std::string text = "Sentivo took the attached picture, " + fileName + ", when its alarm went off.\r\n";
    curl_mimepart* body = curl_mime_addpart(message.mime.get());
    curl_mimepart* picture = curl_mime_addpart(message.mime.get());
    return body && picture
        && curl_mime_data(body, text.data(), text.size()) == CURLE_OK
        && curl_mime_type(body, "text/plain; charset=utf-8") == CURLE_OK
        && curl_mime_encoder(body, "quoted-printable") == CURLE_OK
        && curl_mime_data(picture, bytes.data(), bytes.size()) == CURLE_OK
        && curl_mime_type(picture, "image/jpeg") == CURLE_OK
        && curl_mime_filename(picture, fileName.c_str()) == CURLE_OK
        && curl_mime_encoder(picture, "base64") == CURLE_OK;
}

long TlsOption(const std::string& url, MailConfig::Tls policy)
{
    if (url.rfind("smtps://", 0) == 0)
        return CURLUSESSL_ALL;
    switch (policy) {
    case MailConfig::Tls::Required:
        return CURLUSESSL_ALL;
    case MailConfig::Tls::Off:
        return CURLUSESSL_NONE;
    case MailConfig::Tls::Opportunistic:
        break;
    }
    return CURLUSESSL_TRY;
}

// Connection, TLS, login and time-outs. setopt results matter only for the strings it copies;
// a failure there would show up as a failed send anyway.
void SetTransport(CURL* curl, const std::string& url, const MailConfig& config, const char* userName,
                  const char* password)
{
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM tricks on the worker thread
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, config.connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, config.totalTimeoutMs);
    // After a failed send libcurl still says QUIT and waits for the answer, under the per-reply
    // limit only (two minutes by default). Tying that limit to the whole-send time-out keeps a
    // server that stopped answering from holding the caller longer than about twice that.
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, std::max(1L, (config.totalTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_USE_SSL, TlsOption(url, config.tls));
    if (!config.caFile.empty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, config.caFile.c_str());
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, config.verifyPeer ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, config.verifyPeer ? 2L : 0L);
    if (userName) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, userName);
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password ? password : "");
    }
}

// One message as EmailPic was asked to send it, the picture already read.
struct Outgoing {
    const char* toAddress;
    const char* fromAddress;
    std::string fileName;
    std::string bytes;
    const char* userName;
    const char* password;
};

bool Send(const std::string& url, const MailConfig& config, const Outgoing& outgoing)
{
    // Declared before the handle, so they outlive it: libcurl may still use them while the
    // handle is cleaned up (the QUIT on the way out).
    Message message;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CurlEasy curl(curl_easy_init());
    if (!curl || !AddHeaders(message, outgoing.toAddress, outgoing.fromAddress)
        || !message.recipients.Append(outgoing.toAddress)
        || !AddParts(curl.get(), message, outgoing.fileName, outgoing.bytes))
        return Fail("could not build the message");

    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorBuffer);
    SetTransport(curl.get(), url, config, outgoing.userName, outgoing.password);
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_FROM, outgoing.fromAddress);
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_RCPT, message.recipients.get());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, message.headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_MIMEPOST, message.mime.get());

    const CURLcode result = curl_easy_perform(curl.get());
    if (result != CURLE_OK) {
        long replyCode = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &replyCode);
        return Fail(MailErrorReason(result, replyCode, errorBuffer));
    }
    lastError.clear();
    return true;
}

}  // namespace

bool EmailPic(const char* toAddress, const char* fromAddress, const char* smtpServer,
              const char* pictureFile, const char* userName, const char* password)
{
    if (!toAddress || !fromAddress || !smtpServer || !pictureFile)
        return Fail("address, server or picture missing");
    if (!UsableAddress(toAddress) || !UsableAddress(fromAddress))
        return Fail("address not usable");
    const MailConfig config = GetMailConfig();
    const std::optional<std::string> url = SmtpUrl(smtpServer, config.port);
    if (!url)
        return Fail("SMTP server name is not valid");
    // Read first: a picture that is not there is no reason to bother the server.
    std::optional<std::string> bytes = ReadPicture(pictureFile);
    if (!bytes)
        return Fail("picture file could not be read");
    if (!CurlReady())
        return Fail("mail library could not start");
    const Outgoing outgoing{toAddress, fromAddress, std::filesystem::path(pictureFile).filename().string(),
                            std::move(*bytes), userName, password};
    return Send(*url, config, outgoing);
}

std::string EmailPicLastError()
{
    return lastError;
}
