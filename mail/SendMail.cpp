#include "mail/SendMail.h"

#include "mail/CurlHandles.h"
#include "mail/MailConfig.h"
#include "mail/MailErrorReason.h"
#include "mail/MailHeaders.h"
#include "mail/SendWatch.h"
#include "mail/SmtpUrl.h"

#include <algorithm>
#include <ctime>
#include <mutex>
#include <string_view>

namespace {

constexpr const char* kNoEncryption = "the server offers no encryption; the password was not sent";

MailResult Failed(std::string reason, bool permanent = false, long replyCode = 0)
{
    return {.sent = false, .permanent = permanent, .replyCode = replyCode, .reason = std::move(reason)};
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

// A header or file name text: no line of its own.
bool SingleLine(std::string_view text)
{
    return text.find_first_of("\r\n") == std::string_view::npos;
}

MailSecurity Effective(MailSecurity security, const MailConfig& config)
{
    if (!config.tls)
        return security;
    switch (*config.tls) {
    case MailConfig::Tls::Required:
        return MailSecurity::StartTls;
    case MailConfig::Tls::Off:
        return MailSecurity::None;
    case MailConfig::Tls::Ssl:
        return MailSecurity::Ssl;
    case MailConfig::Tls::Opportunistic:
        break;
    }
    return MailSecurity::Default;
}

// A login never travels in clear unless the user chose no security at all.
long TlsOption(MailSecurity security, bool login)
{
    switch (security) {
    case MailSecurity::None:
        return CURLUSESSL_NONE;
    case MailSecurity::Default:
        return login ? CURLUSESSL_ALL : CURLUSESSL_TRY;
    case MailSecurity::StartTls:
    case MailSecurity::Ssl:
        break;
    }
    return CURLUSESSL_ALL;
}

struct Parts {
    CurlMime mime;
    CurlSlist headers;
    CurlSlist recipients;
};

bool AddHeaders(Parts& parts, const MailMessage& message)
{
    return parts.headers.Append(MailDateHeader(std::time(nullptr)).c_str())
        && parts.headers.Append(("From: " + message.fromAddress).c_str())
        && parts.headers.Append(("To: " + message.toAddress).c_str())
        && parts.headers.Append(("Subject: " + message.subject).c_str())
        && parts.headers.Append(MessageIdHeader(message.fromAddress).c_str());
}

bool AddParts(CURL* curl, Parts& parts, const MailMessage& message)
{
    parts.mime.reset(curl_mime_init(curl));
    curl_mimepart* body = parts.mime ? curl_mime_addpart(parts.mime.get()) : nullptr;
    if (!body || curl_mime_data(body, message.body.data(), message.body.size()) != CURLE_OK
        || curl_mime_type(body, "text/plain; charset=utf-8") != CURLE_OK
        || curl_mime_encoder(body, "quoted-printable") != CURLE_OK)
        return false;
    for (const MailAttachment& attachment : message.attachments) {
        curl_mimepart* picture = curl_mime_addpart(parts.mime.get());
        if (!picture || curl_mime_data(picture, attachment.bytes.data(), attachment.bytes.size()) != CURLE_OK
            || curl_mime_type(picture, "image/jpeg") != CURLE_OK
            || curl_mime_filename(picture, attachment.fileName.c_str()) != CURLE_OK
            || curl_mime_encoder(picture, "base64") != CURLE_OK)
            return false;
    }
    return true;
}

// Connection, TLS, login and time-outs. setopt results matter only for the strings it copies;
// a failure there would show up as a failed send anyway.
void SetTransport(CURL* curl, const std::string& url, const MailConfig& config, const MailServer& server,
                  MailSecurity security)
{
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    SetTimeoutsAndTrust(curl, config);
    // After a failed send libcurl still says QUIT and waits for the answer, under the per-reply
    // limit only (two minutes by default). Tying that limit to the whole-send time-out keeps a
    // server that stopped answering from holding the caller longer than about twice that.
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, std::max(1L, (config.totalTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_USE_SSL, TlsOption(security, server.login));
    if (server.login) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, server.userName.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, server.password.c_str());
    }
}

MailResult Outcome(CURLcode code, long replyCode, const char* errorBuffer, bool login, const SendWatch& watch)
{
    if (code == CURLE_OK)
        return {.sent = true, .replyCode = replyCode, .reason = {}, .sizeLimit = watch.sizeLimit};
    if (code == CURLE_USE_SSL_FAILED && login)
        return Failed(kNoEncryption, true, replyCode);
    // A 5xx reply to the sender, a recipient or the message (libcurl's send errors), or a refused
    // login: the same send would be refused again.
    const bool refused = (code == CURLE_SEND_ERROR || code == CURLE_WEIRD_SERVER_REPLY) && replyCode >= 500;
    MailResult result =
        Failed(MailErrorReason(code, replyCode, errorBuffer), refused || code == CURLE_LOGIN_DENIED, replyCode);
    result.sizeLimit = watch.sizeLimit;
    result.tooBig = refused && SizeRefusal(replyCode, watch.lastReply);
    result.messageRefused = refused && (result.tooBig || watch.lastCommand == "DATA");
    if (result.tooBig)
        result.reason = "message too big for the server";
    return result;
}

MailResult Send(const MailServer& server, const MailMessage& message, SendWatch& watch)
{
    if (!UsableAddress(message.toAddress) || !UsableAddress(message.fromAddress))
        return Failed("address not usable", true);
    const bool namesUsable = std::all_of(message.attachments.begin(), message.attachments.end(),
                                         [](const MailAttachment& a) { return SingleLine(a.fileName); });
    if (!SingleLine(message.subject) || !namesUsable)
        return Failed("subject or file name not usable", true);
    const MailConfig config = GetMailConfig();
    const MailSecurity security = Effective(server.security, config);
    const std::optional<std::string> url =
        SmtpUrl(server.server, config.port.value_or(server.port), security == MailSecurity::Ssl);
    if (!url)
        return Failed("SMTP server name is not valid", true);
    if (!CurlReady())
        return Failed("mail library could not start");

    // Declared before the handle, so they outlive it: libcurl may still use them while the
    // handle is cleaned up (the QUIT on the way out).
    Parts parts;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CurlEasy curl(curl_easy_init());
    if (!curl || !AddHeaders(parts, message) || !parts.recipients.Append(message.toAddress.c_str())
        || !AddParts(curl.get(), parts, message))
        return Failed("could not build the message");

    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorBuffer);
    SetTransport(curl.get(), *url, config, server, security);
    WatchSend(curl.get(), watch);
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_FROM, message.fromAddress.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_MAIL_RCPT, parts.recipients.get());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, parts.headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_MIMEPOST, parts.mime.get());

    const CURLcode code = curl_easy_perform(curl.get());
    long replyCode = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &replyCode);
    return Outcome(code, replyCode, errorBuffer, server.login, watch);
}

}  // namespace

std::uintmax_t SentAttachmentSize(std::uintmax_t bytes)
{
    const std::uintmax_t base64 = (bytes + 2) / 3 * 4;
    return base64 + (base64 + 75) / 76 * 2 + 512;
}

MailResult SendMail(const MailServer& server, const MailMessage& message, SendCancel* cancel)
{
    SendCancel own;   // declared before the watch and the handle, which use it to their end
    SendWatch watch;
    watch.cancel = cancel ? cancel : &own;
    return Send(server, message, watch);
}

MailResult SendMail(const MailServer& server, const MailMessage& message, const std::atomic<bool>* cancel)
{
    SendCancel own;
    SendWatch watch;
    watch.cancel = &own;
    watch.flag = cancel;
    return Send(server, message, watch);
}
