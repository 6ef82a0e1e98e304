#pragma once
// One SMTP send of one message with any number of JPEG attachments held in memory. Errors are
// data: the answer says whether the server accepted the message and, when not, why and whether
// trying again can help.

#include "mail/SendCancel.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum class MailSecurity {
    Default,    // STARTTLS when the server offers it; a login is only ever sent over TLS
    StartTls,   // STARTTLS or no mail
    Ssl,        // TLS from the first byte (port 465 unless another is given)
    None,       // plain SMTP, a login in clear too: for a relay on the local network
};

struct MailServer {
    std::string server;     // "host", "host:port", "smtp://host[:port]" or "smtps://host[:port]" (implicit TLS)
    long port = 0;          // wins over the server text's; 0: the text's, else 25 (465 for Ssl or smtps)
    MailSecurity security = MailSecurity::Default;
    bool login = false;     // log in with userName and password (empty texts are credentials too)
    std::string userName;
    std::string password;
};

struct MailAttachment {
    std::string fileName;   // as the recipient sees it, "pic_12.jpg"
    std::string bytes;      // the JPEG file's bytes
};

struct MailMessage {
    std::string fromAddress;
    std::string toAddress;
    std::string subject;
    std::string body;       // plain text
    std::vector<MailAttachment> attachments;
};

struct MailResult {
    bool sent = false;
    // The server refused for good (a 5xx reply to the sender, the recipient or the message, or a
    // refused login), a login would have gone out unencrypted, or the message or server text is
    // not usable: sending the same again will fail the same way until the settings change.
    bool permanent = false;
    long replyCode = 0;     // the server's last reply code, 0 when there was none
    std::string reason;     // a few words for the user; empty when sent
    // The server refused this message itself, after its sender and recipient were taken (a 5xx to
    // the message's data), or for its size: another message may well pass.
    bool messageRefused = false;
    bool tooBig = false;    // refused for its size: 552, or a 5xx whose text names the size
    std::uintmax_t sizeLimit = 0;   // the largest message the server said it takes (EHLO SIZE); 0: none told
};

// About how many bytes an attachment of size bytes adds to a message as sent: its base64 lines,
// its part's headers and its line in the text. With kMessageOverhead (the headers and the text's
// opening) an upper bound of what a server's size limit is measured against.
std::uintmax_t SentAttachmentSize(std::uintmax_t bytes);
constexpr std::uintmax_t kMessageOverhead = 4096;

// Sends message through server, bounded by the time-outs of MailConfig (whose environment
// overrides of port and security, when set, win over server's). cancel, when given and cancelled
// by another thread, ends a send in progress at once, whatever the server does (reason
// "cancelled"). Addresses, subject and file names that would add lines or SMTP parameters are
// refused before any connection ("address not usable"), as is a server text that names no server.
MailResult SendMail(const MailServer& server, const MailMessage& message, SendCancel* cancel = nullptr);
// The same, cancelled when cancel is set: within about a second, as libcurl looks at it.
MailResult SendMail(const MailServer& server, const MailMessage& message, const std::atomic<bool>* cancel);
