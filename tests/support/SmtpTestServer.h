#pragma once
// A real SMTP server on 127.0.0.1 for tests: Debian's aiosmtpd (smtp_test_server.py), run with the
// system Python on a free port and stopped when the object goes. Each message it accepts is handed
// back as the server saw it, attachments decoded.

#include "tests/support/PythonServer.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <chrono>
#include <vector>

struct ReceivedAttachment {
    std::string fileName, contentType, bytes;
};

struct ReceivedMail {
    std::string envelopeFrom;
    std::vector<std::string> envelopeTo;
    std::string from, to, subject;   // headers
    std::string authenticatedUser;   // empty when the client did not log in
    bool overTls = false;
    std::vector<ReceivedAttachment> attachments;
    std::string body;                // the plain text
};

class SmtpTestServer {
public:
    struct Options {
        bool starttls = false;      // offer STARTTLS with a self-signed certificate made for the test
        bool requireAuth = false;   // demand a login (over TLS when starttls is set)
        std::string user = "alarm", password = "secret";
        int delayMs = 0;            // wait this long before answering the message's data
        bool silent = false;        // accept connections and never answer
        bool refuseRecipients = false;   // answer RCPT TO with 550
        int port = 0;               // 0: a free one
        int sizeLimit = 0;          // refuse messages larger than this many bytes as sent (0: aiosmtpd's 32 MiB)
        bool announceSize = true;   // tell the limit in the EHLO reply (SIZE) and refuse with 552; false: say
                                    // nothing and refuse after the data with "554 5.3.4 Message too big"
        bool holdReply = false;     // take the whole message, then never answer it (Seen("held") counts them)
    };
    SmtpTestServer() : SmtpTestServer(Options{}) {}
    explicit SmtpTestServer(const Options& options) : starttls_(options.starttls)
    {
        const QJsonObject settings{{"dir", folder_.path()}, {"starttls", options.starttls},
                                   {"requireAuth", options.requireAuth}, {"user", options.user.c_str()},
                                   {"password", options.password.c_str()}, {"delayMs", options.delayMs},
                                   {"silent", options.silent}, {"refuseRecipients", options.refuseRecipients},
                                   {"port", options.port}, {"sizeLimit", options.sizeLimit},
                                   {"announceSize", options.announceSize}, {"holdReply", options.holdReply}};
        port_ = server_.Start("smtp_test_server.py", {QJsonDocument(settings).toJson(QJsonDocument::Compact).toStdString()});
    }

    int port() const { return port_; }
    // The self-signed certificate (PEM), when starttls.
    std::string certificateFile() const { return starttls_ ? folder_.filePath("cert.pem").toStdString() : ""; }
    // How often event ("connect", "auth": a login tried, "held": a message whose answer is held) happened so far.
    int Seen(const QString& event) const
    {
        QFile file(folder_.filePath("events.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).split('\n').count(event) : 0;
    }
    std::vector<ReceivedMail> Messages() const
    {
        std::vector<ReceivedMail> mails;
        const QDir folder(folder_.filePath("messages"));
        for (const QString& name : folder.entryList({"*.json"}, QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            file.open(QIODevice::ReadOnly);
            const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
            ReceivedMail& mail = mails.emplace_back(ReceivedMail{Text(json["envelopeFrom"]), {}, Text(json["from"]),
                Text(json["to"]), Text(json["subject"]), Text(json["authenticatedUser"]), json["overTls"].toBool(), {}});
            mail.body = Text(json["body"]);
            for (const QJsonValue& to : json["envelopeTo"].toArray())
                mail.envelopeTo.push_back(Text(to));
            for (const QJsonValue& part : json["attachments"].toArray())
                mail.attachments.push_back({Text(part["fileName"]), Text(part["contentType"]),
                                            QByteArray::fromBase64(part["bytes"].toString().toLatin1()).toStdString()});
        }
        return mails;
    }
    // Waits until at least count messages have arrived or the time-out ran out; returns all so far.
    std::vector<ReceivedMail> WaitForMessages(size_t count, std::chrono::milliseconds timeout) const
    {
        const QDeadlineTimer deadline(timeout);
        while (Messages().size() < count && !deadline.hasExpired())
            QThread::msleep(10);
        return Messages();
    }

private:
    static std::string Text(const QJsonValue& value) { return value.toString().toStdString(); }

    const bool starttls_;
    QTemporaryDir folder_{QDir::tempPath() + "/sentivo-smtp-XXXXXX"};
    PythonServer server_;
    int port_ = 0;
};
