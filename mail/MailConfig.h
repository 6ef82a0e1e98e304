#pragma once
// The mail module's own configuration: time-outs, trust, and the environment's overrides of the
// user's port and security. Process-wide, guarded internally, so a sender thread may read it while
// the GUI thread sets it.

#include <curl/curl.h>

#include <optional>
#include <string>

struct MailConfig {
    enum class Tls {
        Opportunistic,  // MailSecurity::Default: STARTTLS when offered, a login only over TLS
        Required,       // MailSecurity::StartTls
        Off,            // MailSecurity::None
        Ssl,            // MailSecurity::Ssl
    };
    std::optional<long> port;         // when set, wins over the settings' port and the server text's
    std::optional<Tls> tls;           // when set, wins over the settings' security
    long connectTimeoutMs = 10000;
    long totalTimeoutMs = 60000;      // the whole send, connection included; a server that stops
                                      // answering mid-send may hold the call up to about twice
                                      // this, as the closing QUIT waits for its reply as long
    std::string caFile;               // extra trusted certificate (PEM); empty: the system's
    bool verifyPeer = true;
};

void SetMailConfig(const MailConfig& config);
MailConfig GetMailConfig();

// What every transfer of ours takes from config, mail and push alike: no signals on the worker
// thread, the time-outs, and the certificates trusted and checked.
void SetTimeoutsAndTrust(CURL* curl, const MailConfig& config);
