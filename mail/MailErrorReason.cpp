#include "mail/MailErrorReason.h"

namespace {

// libcurl reports an SMTP refusal as a send error; the reply code says what was refused.
std::string RefusalReason(long replyCode)
{
    switch (replyCode) {
    case 530:   // authentication required
        return "server requires a login";
    case 535:   // credentials invalid
        return "authentication failed";
    case 450:   // mailbox unavailable
    case 501:   // syntax error in the address
    case 550:   // mailbox unavailable or relaying denied
    case 551:   // user not local
    case 553:   // mailbox name not allowed
        return "server refused the sender or recipient";
    case 552:   // too much mail data
        return "message too big for the server";
    default:
        // Without a refusal the connection broke off.
        return replyCode >= 400 ? "server refused the message" : "connection lost";
    }
}

}  // namespace

std::string MailErrorReason(CURLcode code, long replyCode, const char* errorBuffer)
{
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
        return RefusalReason(replyCode);
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
    case CURLE_ABORTED_BY_CALLBACK:
        return "cancelled";
    default:
        break;
    }
    std::string reason = curl_easy_strerror(code);
    if (errorBuffer && *errorBuffer)
        reason += std::string(": ") + errorBuffer;
    return reason;
}
