#include "tests/support/SmtpTestServer.h"

#include "tests/support/TestDirectory.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Python start-up, imports and making a certificate take well under a second here; the bound is
// generous because sanitizer builds and a busy machine slow everything down.
constexpr auto kStartTimeout = 30s;
constexpr auto kStopTimeout = 5s;
constexpr auto kPollInterval = 10ms;

fs::path ScriptPath()
{
    if (const char* source = std::getenv("SENTIVO_SOURCE_DIR"))
        return fs::path(source) / "tests" / "support" / "smtp_test_server.py";
    return fs::path(__FILE__).parent_path() / "smtp_test_server.py";
}

std::string ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Text(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString().toStdString();
}

ReceivedAttachment ParseAttachment(const QJsonObject& object)
{
    ReceivedAttachment attachment;
    attachment.fileName = Text(object, "fileName");
    attachment.contentType = Text(object, "contentType");
    attachment.bytes = QByteArray::fromBase64(object.value(QLatin1String("bytes")).toString().toLatin1())
                           .toStdString();
    return attachment;
}

ReceivedMail ParseMail(const std::string& json)
{
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    ReceivedMail mail;
    mail.envelopeFrom = Text(object, "envelopeFrom");
    for (const auto& to : object.value(QLatin1String("envelopeTo")).toArray())
        mail.envelopeTo.push_back(to.toString().toStdString());
    mail.from = Text(object, "from");
    mail.to = Text(object, "to");
    mail.subject = Text(object, "subject");
    mail.body = Text(object, "body");
    mail.authenticatedUser = Text(object, "authenticatedUser");
    mail.overTls = object.value(QLatin1String("overTls")).toBool();
    for (const auto& attachment : object.value(QLatin1String("attachments")).toArray())
        mail.attachments.push_back(ParseAttachment(attachment.toObject()));
    return mail;
}

// The server's arguments, kept alive while posix_spawn reads them.
std::vector<std::string> Arguments(const fs::path& folder, const SmtpTestServer::Options& options)
{
    std::vector<std::string> args{SystemPython(), ScriptPath().string(), "--dir", folder.string(),
                                  "--user", options.user, "--password", options.password,
                                  "--delay-ms", std::to_string(options.delayMs)};
    if (options.starttls)
        args.push_back("--starttls");
    if (options.requireAuth)
        args.push_back("--require-auth");
    if (options.silent)
        args.push_back("--silent");
    return args;
}

}  // namespace

struct SmtpTestServer::Impl {
    fs::path folder;
    pid_t pid = -1;
    int stdinWrite = -1;   // closing it tells the server to end, even if this process dies
    int port = 0;

    void Start(const Options& options);
    void WaitUntilListening();
    void Stop();
    [[noreturn]] void Fail(const std::string& what);
};

void SmtpTestServer::Impl::Fail(const std::string& what)
{
    std::string log = ReadWholeFile(folder / "server.log");
    Stop();
    throw std::runtime_error("SmtpTestServer: " + what + "\n" + log);
}

void SmtpTestServer::Impl::Start(const Options& options)
{
    std::string pattern = (fs::temp_directory_path() / "sentivo-smtp-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("SmtpTestServer: mkdtemp failed");
    folder = pattern;

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        Fail("pipe failed");
    stdinWrite = fds[1];
    const std::string log = (folder / "server.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);

    std::vector<std::string> args = Arguments(folder, options);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        pid = -1;
        Fail("could not start " + args[0]);
    }
    WaitUntilListening();
}

void SmtpTestServer::Impl::WaitUntilListening()
{
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = ReadWholeFile(folder / "port");
        if (!text.empty()) {
            port = std::atoi(text.c_str());
            return;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            Fail("the server ended before it listened");
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    Fail("the server did not listen within the time-out");
}

void SmtpTestServer::Impl::Stop()
{
    if (stdinWrite >= 0) {
        close(stdinWrite);
        stdinWrite = -1;
    }
    if (pid > 0) {
        kill(pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(kPollInterval);
        if (done == 0) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid = -1;
    }
    if (!folder.empty()) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        folder.clear();
    }
}

SmtpTestServer::SmtpTestServer() : SmtpTestServer(Options{}) {}

SmtpTestServer::SmtpTestServer(Options options) : impl_(std::make_unique<Impl>())
{
    impl_->Start(options);
}

SmtpTestServer::~SmtpTestServer()
{
    impl_->Stop();
}

int SmtpTestServer::port() const { return impl_->port; }

std::string SmtpTestServer::certificateFile() const
{
    const fs::path certificate = impl_->folder / "cert.pem";
    return fs::exists(certificate) ? certificate.string() : std::string();
}

std::vector<ReceivedMail> SmtpTestServer::Messages() const
{
    std::vector<fs::path> files;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(impl_->folder / "messages", ignored))
        if (entry.path().extension() == ".json")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<ReceivedMail> mails;
    for (const auto& file : files)
        mails.push_back(ParseMail(ReadWholeFile(file)));
    return mails;
}

std::vector<ReceivedMail> SmtpTestServer::WaitForMessages(size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<ReceivedMail> mails = Messages();
    while (mails.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollInterval);
        mails = Messages();
    }
    return mails;
}
