// How fast an alarm reaches the MQTT broker, and what a broker that is down costs the one who
// hands alarms over. A real MqttChannel publishes from a real outbox to Debian's mosquitto on
// loopback (started here, anonymous clients allowed on loopback only).
//
// (a) from the hand-over of a picture (the outbox entry stored, the channel woken; as the run's
//     dispatcher does it) to the broker's acknowledgement of its picture and its event;
// (b) the time one hand-over takes with the broker up, and with the broker gone (target: the same:
//     the detection loop never waits on a channel).
//
// Usage: bench_mqtt_latency [pictures]   (default 50)

#include "bench/ChannelBench.h"
#include "log/EventLog.h"
#include "mail/Outbox.h"
#include "mqtt/MqttChannel.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int pictures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QTemporaryDir folder;
    const int port = 18000 + static_cast<int>(QCoreApplication::applicationPid() % 1000);
    QProcess broker;
    broker.start("mosquitto", {"-p", QString::number(port)});
    if (!broker.waitForStarted())
        return (std::fprintf(stderr, "mosquitto did not start\n"), 1);
    std::this_thread::sleep_for(500ms);

    EventLog log(folder.filePath("events.log").toStdString(), false);
    Outbox outbox(folder.filePath("outbox").toStdString());
    std::mutex mutex;
    std::condition_variable landed;
    std::int64_t acknowledged = 0;
    MqttSettings settings;
    settings.host = "127.0.0.1";
    settings.port = port;
    settings.room = "bench";
    MqttChannel channel(settings, outbox, log, "bench", [&](std::int64_t event, const char*, const std::string&) {
        std::lock_guard lock(mutex);
        acknowledged = event;
        landed.notify_all();
    });
    std::string reason;
    if (!channel.Start(reason))
        return (std::fprintf(stderr, "%s\n", reason.c_str()), 1);
    while (!channel.Status().connected)
        std::this_thread::sleep_for(10ms);

    std::vector<double> latency, handOverUp, handOverDown;
    for (std::int64_t n = 1; n <= pictures; ++n) {
        OutboxEntry entry = BenchPicture(n, "mqtt");
        const auto start = Clock::now();
        outbox.Add(entry, reason);
        channel.Wake();
        handOverUp.push_back(Ms(Clock::now() - start));
        std::unique_lock lock(mutex);
        landed.wait(lock, [&] { return acknowledged == n; });
        latency.push_back(Ms(Clock::now() - start));
    }
    broker.terminate();
    broker.waitForFinished();
    std::this_thread::sleep_for(500ms);
    for (std::int64_t n = 1; n <= pictures; ++n) {
        OutboxEntry entry = BenchPicture(1000 + n, "mqtt");
        const auto start = Clock::now();
        outbox.Add(entry, reason);
        channel.Wake();
        handOverDown.push_back(Ms(Clock::now() - start));
    }
    channel.Stop();
    Print("hand-over -> broker acknowledged (target 50 ms)", latency);
    Print("hand-over, broker up", handOverUp);
    Print("hand-over, broker down", handOverDown);
    std::printf("waiting in the outbox for the broker: %zu\n", outbox.Count());
    return 0;
}
