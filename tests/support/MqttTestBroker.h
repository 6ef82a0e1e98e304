#pragma once
// A real MQTT broker for tests: Debian's mosquitto on 127.0.0.1, a free port, logins from a password
// file (no anonymous clients); stopped when the object goes, and stoppable and startable again on
// the same port (an outage), keeping its sessions and retained messages over it. MqttWatcher is mosquitto_sub on it, every message
// it receives kept with its topic, retained flag and bytes.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

class MqttTestBroker {
public:
    static constexpr const char* kUser = "house";
    static constexpr const char* kPassword = "broker secret";

    MqttTestBroker()
    {
        port_ = FreePort();
        const QString passwords = folder_.filePath("passwords"), config = folder_.filePath("mosquitto.conf");
        QProcess::execute("mosquitto_passwd", {"-b", "-c", passwords, kUser, kPassword});
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            // "user": started by root, mosquitto would turn into the user "mosquitto", who cannot
            // read the test's own folder.
            file.write(QString("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2\npersistence true\n"
                               "persistence_location %3/\nuser %4\n")
                           .arg(port_).arg(passwords, folder_.path(), QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name))
                           .toUtf8());
        file.close();
        Start();
    }
    ~MqttTestBroker() { Stop(); }

    void Start()
    {
        broker_.start("mosquitto", {"-c", folder_.filePath("mosquitto.conf")});
        broker_.waitForStarted();
        if (!QTest::qWaitFor([this] { return Accepts(); }, 10000))
            ADD_FAILURE() << "mosquitto did not start: " << broker_.readAllStandardError().toStdString();
    }
    void Stop()
    {
        broker_.terminate();
        broker_.waitForFinished(5000);
    }
    int port() const { return port_; }

private:
    static int FreePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(fd);
        return ntohs(address.sin_port);
    }
    bool Accepts() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port_));
        const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return accepted;
    }

    QTemporaryDir folder_;
    QProcess broker_;
    int port_ = 0;
};

struct MqttReceived {
    std::string topic;
    bool retained = false;
    std::string payload;
};

// Subscribes to topics (QoS 1, a session the broker keeps while it is away) on broker and keeps what
// arrives; Messages() reads what came so far.
class MqttWatcher {
public:
    MqttWatcher(const MqttTestBroker& broker, const QStringList& topics)
    {
        static int watchers = 0;
        QStringList arguments{"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-u", MqttTestBroker::kUser,
                              "-P", MqttTestBroker::kPassword, "-q", "1", "-F", "%t\t%r\t%x", "-c",
                              "-i", QString("watcher-%1-%2").arg(::getpid()).arg(++watchers)};
        for (const QString& topic : topics)
            arguments << "-t" << topic;
        sub_.start("mosquitto_sub", arguments);
        sub_.waitForStarted();
    }
    ~MqttWatcher()
    {
        sub_.kill();
        sub_.waitForFinished();
    }
    const std::vector<MqttReceived>& Messages()
    {
        pending_ += sub_.readAllStandardOutput();
        for (qsizetype end; (end = pending_.indexOf('\n')) >= 0; pending_.remove(0, end + 1)) {
            const QList<QByteArray> fields = pending_.left(end).split('\t');
            if (fields.size() == 3)
                received_.push_back({fields[0].toStdString(), fields[1] == "1", QByteArray::fromHex(fields[2]).toStdString()});
        }
        return received_;
    }
    // The payloads that came on topic, oldest first.
    std::vector<std::string> On(const std::string& topic)
    {
        std::vector<std::string> payloads;
        for (const MqttReceived& message : Messages())
            if (message.topic == topic)
                payloads.push_back(message.payload);
        return payloads;
    }

private:
    QProcess sub_;
    QByteArray pending_;
    std::vector<MqttReceived> received_;
};
