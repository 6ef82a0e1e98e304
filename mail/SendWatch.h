#pragma once
// What one send watches and learns besides libcurl's result: the cancel request (looked at about
// once a second, and the send's sockets registered with it so another thread can cut them), and
// from the conversation, which libcurl shows only to a debug callback, the size limit the server
// announced and its last answer, which tells what a refusal was about.

#include "mail/SendCancel.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

struct SendWatch {
    SendCancel* cancel = nullptr;               // never null once watched
    const std::atomic<bool>* flag = nullptr;    // also cancels when set
    std::uintmax_t sizeLimit = 0;               // EHLO "SIZE n"; 0: none told
    std::string lastReply;                      // the server's last line
    std::string lastCommand;                    // the first word of our last command: "MAIL", "DATA"...
};

// Sets the progress, debug and socket callbacks of curl to watch; watch and its cancel must
// outlive the handle (its connection is closed, and its socket callbacks run, on clean-up).
void WatchSend(CURL* curl, SendWatch& watch);

// A 552 (too much mail data), or a 5xx whose text names the size ("554 5.3.4 Message too big").
bool SizeRefusal(long replyCode, std::string_view reply);
