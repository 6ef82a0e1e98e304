#pragma once
// The mail module's own configuration: how EmailPic reaches the server. Process-wide, guarded
// internally, so it may be read by the worker while the GUI thread sets it.

#include <string>

struct MailConfig {
    enum class Tls {
        Opportunistic,  // STARTTLS when the server offers it (the default)
        Required,       // STARTTLS or fail
        Off,            // plain SMTP
    };
    long port = 25;                   // used when the server text names no port or scheme
    Tls tls = Tls::Opportunistic;     // "smtps://host" in the server text always means implicit TLS
    long connectTimeoutMs = 10000;
    long totalTimeoutMs = 60000;      // the whole send, connection included; a server that stops
                                      // answering mid-send may hold the call up to about twice
                                      // this, as the closing QUIT waits for its reply as long
    std::string caFile;               // extra trusted certificate (PEM); empty: the system's
    bool verifyPeer = true;
};

void SetMailConfig(const MailConfig& config);
MailConfig GetMailConfig();
