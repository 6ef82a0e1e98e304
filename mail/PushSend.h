#pragma once
// One push notification to an ntfy-compatible server: an HTTP PUT of the picture to the topic's
// address, the notification's texts in ntfy's headers (Title, Message, Filename, Priority, Tags),
// the access token as a bearer token. HTTPS is verified as the mail's TLS is (MailConfig), under the
// same time-outs. Errors are data: the answer says whether the server took it and, when not, why
// and whether trying again can help.

#include "mail/SendCancel.h"

#include <string>

struct PushServer {
    std::string url;        // https://server/topic
    std::string token;      // empty: none sent
};

struct PushMessage {
    std::string title;
    std::string message;    // one line
    std::string priority = "default";   // ntfy's: "min", "low", "default", "high", "urgent"
    std::string tags;       // comma-separated, "rotating_light,camera"
    std::string fileName;   // the picture's name; empty when there is none
    std::string picture;    // the JPEG's bytes, or none: the message alone is sent
};

struct PushResult {
    bool sent = false;
    bool permanent = false; // refused for good (address, token): the same push fails the same way
    long status = 0;        // the server's HTTP status, 0 when there was none
    std::string reason;     // a few words for the user; empty when sent
    bool tooBig = false;    // refused for its size (413): without the picture it may pass
};

// Blocks for at most about the mail's total time-out; cancel ends it at once from another thread.
PushResult SendPush(const PushServer& server, const PushMessage& message, SendCancel* cancel = nullptr);
