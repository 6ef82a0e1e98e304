#pragma once
// A real SMTP server on 127.0.0.1 for tests: Debian's aiosmtpd (smtp_test_server.py), run with the
// system Python on a free port and stopped when the object goes. Each message it accepts is handed
// back as the server saw it, attachments decoded.

#include "tests/support/TestDirectory.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
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
    };
    SmtpTestServer() : SmtpTestServer(Options{}) {}
    explicit SmtpTestServer(const Options& options) : starttls_(options.starttls)
    {
        const QJsonObject settings{{"dir", folder_.path()}, {"starttls", options.starttls},
                                   {"requireAuth", options.requireAuth}, {"user", options.user.c_str()},
                                   {"password", options.password.c_str()}, {"delayMs", options.delayMs},
                                   {"silent", options.silent}, {"refuseRecipients", options.refuseRecipients},
                                   {"port", options.port}};
        // posix_spawn, not QProcess: Qt starts a child with vfork() and runs code of its own in it, on
        // the calling thread's ThreadSanitizer state, which can leave that thread's later locks unseen
        // (false data races between the test and the threads it drives). Its errors go to ours.
        std::string python = SystemPython(), script = (SourceDir() / "tests/support/smtp_test_server.py").string(),
                    json = QJsonDocument(settings).toJson(QJsonDocument::Compact).toStdString();
        char* argv[] = {python.data(), script.data(), json.data(), nullptr};
        int in[2] = {-1, -1}, out[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || posix_spawn_file_actions_adddup2(&actions, in[0], 0)
            || posix_spawn_file_actions_adddup2(&actions, out[1], 1)
            || posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ))
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]), ::close(out[1]), input_ = in[1];
        // It prints its port once it listens (or ends: then the pipe ends too).
        QFile output;
        output.open(out[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        if ((port_ = output.readLine().trimmed().toInt()) == 0)
            throw std::runtime_error("SmtpTestServer did not start; see its errors above");
    }
    // The end of its input ends the server.
    ~SmtpTestServer()
    {
        ::close(input_);
        for (const QDeadlineTimer deadline(5000); pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;)
            deadline.hasExpired() ? void(::kill(pid_, SIGKILL)) : QThread::msleep(10);
    }

    int port() const { return port_; }
    // The self-signed certificate (PEM), when starttls.
    std::string certificateFile() const { return starttls_ ? folder_.filePath("cert.pem").toStdString() : ""; }
    // How often event ("connect", "auth": a login tried) happened so far.
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
    pid_t pid_ = 0;
    int input_ = -1, port_ = 0;
};
