#include "mail/MailErrorReason.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// The SMTP reply code libcurl put after "<command> failed: " in its error text, or 0.
int ReplyCode(std::string_view text, std::string_view command)
{
    const std::string prefix = std::string(command) + " failed: ";
    const size_t at = text.find(prefix);
    if (at == std::string_view::npos)
        return 0;
    return std::atoi(std::string(text.substr(at + prefix.size(), 3)).c_str());
}

std::string RefusalReason(std::string_view text)
{
    const int mailCode = ReplyCode(text, "MAIL");
    if (mailCode == 530)
        return "server requires a login";
    if (mailCode != 0 || ReplyCode(text, "RCPT") != 0)
        return "server refused the sender or recipient";
    return "server refused the message";
}

}  // namespace

std::string MailErrorReason(CURLcode code, const char* errorBuffer)
{
    const std::string_view text = errorBuffer ? errorBuffer : "";
    switch (code) {
    case CURLE_COULDNT_CONNECT:
        return "could not connect";
    case CURLE_COULDNT_RESOLVE_HOST:
        return "server name not found";
    case CURLE_OPERATION_TIMEDOUT:
        return "timed out";
    case CURLE_LOGIN_DENIED:
        return "authentication failed";
    case CURLE_SEND_ERROR:
    case CURLE_WEIRD_SERVER_REPLY:
        // libcurl reports SMTP refusals as send errors; a broken connection has no reply code.
        if (ReplyCode(text, "MAIL") || ReplyCode(text, "RCPT") || ReplyCode(text, "DATA")
            || text.find("smtp-server response") != std::string_view::npos)
            return RefusalReason(text);
        return "connection lost";
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return "connection lost";
    case CURLE_USE_SSL_FAILED:
        return "TLS failed: the server does not offer STARTTLS";
    case CURLE_PEER_FAILED_VERIFICATION:
        return "TLS failed: the server's certificate is not trusted";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
        return "TLS failed";
    case CURLE_SSL_CACERT_BADFILE:
        return "TLS failed: the trusted certificate file could not be read";
    case CURLE_URL_MALFORMAT:
        return "SMTP server name is not valid";
    case CURLE_OUT_OF_MEMORY:
        return "out of memory";
    default:
        break;
    }
    std::string reason = curl_easy_strerror(code);
    if (!text.empty())
        reason += ": " + std::string(text);
    return reason;
}
