// How fast an alarm reaches a push server, and what a server that is down costs the one who hands
// alarms over. A real PushChannel pushes from a real outbox to a minimal HTTP server on loopback,
// run here on a thread of its own, which answers each request 200 once it has read it whole.
//
// (a) from the hand-over of a picture (the outbox entry stored, the channel woken; as the run's
//     dispatcher does it) to the server's answer, each picture the first of its episode;
// (b) the time one hand-over takes with the server up, and with it gone (target: the same).
//
// Usage: bench_push_latency [pictures]   (default 50)

#include "bench/ChannelBench.h"
#include "log/EventLog.h"
#include "mail/PushChannel.h"

#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One request read whole (headers, then Content-Length bytes) and answered 200.
void Answer(int client)
{
    std::string request;
    char buffer[65536];
    size_t headEnd = std::string::npos, length = 0;
    for (ssize_t n; (n = ::read(client, buffer, sizeof buffer)) > 0;) {
        request.append(buffer, static_cast<size_t>(n));
        if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
            const size_t at = request.find("Content-Length: ");
            length = at == std::string::npos ? 0 : std::strtoul(request.c_str() + at + 16, nullptr, 10);
        }
        if (headEnd != std::string::npos && request.size() >= headEnd + 4 + length)
            break;
    }
    const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
    (void)!::write(client, reply, sizeof reply - 1);
    ::close(client);
}

}  // namespace

int main(int argc, char** argv)
{
    const int pictures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) || ::listen(listener, 16)
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size))
        return (std::perror("loopback server"), 1);
    std::thread server([listener] {
        for (int client; (client = ::accept(listener, nullptr, nullptr)) >= 0;)
            Answer(client);
    });

    QTemporaryDir folder;
    EventLog log(folder.filePath("events.log").toStdString(), false);
    Outbox outbox(folder.filePath("outbox").toStdString());
    std::mutex mutex;
    std::condition_variable landed;
    std::int64_t accepted = 0;
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/bench";
    PushChannel channel({url, ""}, "bench", outbox, log, [&](std::int64_t event, const char*, const std::string&) {
        std::lock_guard lock(mutex);
        accepted = event;
        landed.notify_all();
    });
    channel.Start();

    std::vector<double> latency, handOverUp, handOverDown;
    std::string reason;
    for (std::int64_t n = 1; n <= pictures; ++n) {
        OutboxEntry entry = BenchPicture(n, "push");
        const auto start = Clock::now();
        outbox.Add(entry, reason);
        channel.Wake();
        handOverUp.push_back(Ms(Clock::now() - start));
        std::unique_lock lock(mutex);
        landed.wait(lock, [&] { return accepted == n; });
        latency.push_back(Ms(Clock::now() - start));
    }
    ::shutdown(listener, SHUT_RDWR);   // the server goes: accept fails, connections are refused
    server.join();
    ::close(listener);
    for (std::int64_t n = 1; n <= pictures; ++n) {
        OutboxEntry entry = BenchPicture(1000 + n, "push");
        const auto start = Clock::now();
        outbox.Add(entry, reason);
        channel.Wake();
        handOverDown.push_back(Ms(Clock::now() - start));
    }
    channel.Stop();
    Print("hand-over -> push accepted (target 100 ms)", latency);
    Print("hand-over, server up", handOverUp);
    Print("hand-over, server down", handOverDown);
    std::printf("waiting in the outbox for the server: %zu\n", outbox.Count());
    return 0;
}
