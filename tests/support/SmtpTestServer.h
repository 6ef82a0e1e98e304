#pragma once
// A real SMTP server on 127.0.0.1 for tests: Debian's aiosmtpd, started with the system Python on
// a free port, stopped when the object goes. Each message it accepts is parsed (From, To, Subject,
// attachments decoded) and handed back to the test.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

struct ReceivedAttachment {
    std::string fileName;
    std::string contentType;
    std::string bytes;   // decoded
};

struct ReceivedMail {
    std::string envelopeFrom;
    std::vector<std::string> envelopeTo;
    std::string from;        // header
    std::string to;          // header
    std::string subject;
    std::string body;        // text part
    std::string authenticatedUser;  // empty when the client did not log in
    bool overTls = false;
    std::vector<ReceivedAttachment> attachments;
};

class SmtpTestServer {
public:
    struct Options {
        bool starttls = false;          // offer STARTTLS with a self-signed certificate made for the test
        bool requireAuth = false;       // demand a login (over TLS when starttls is set)
        std::string user = "alarm";
        std::string password = "secret";
        int delayMs = 0;                // wait this long before answering the message's data
        bool silent = false;            // accept connections and never answer
    };
    SmtpTestServer();
    explicit SmtpTestServer(Options options);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    int port() const;
    std::string certificateFile() const;   // the self-signed certificate (PEM), when starttls
    // Waits until at least count messages have arrived or the time-out ran out; returns all so far.
    std::vector<ReceivedMail> WaitForMessages(size_t count, std::chrono::milliseconds timeout) const;
    std::vector<ReceivedMail> Messages() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
