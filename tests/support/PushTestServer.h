#pragma once
// A push server on 127.0.0.1 for tests (push_test_server.py): what it was sent, in order. Stop()
// takes it away; Start() brings it back on the same port. With a limit, a larger body is refused
// with 413, as a server refuses an attachment too big.

#include "tests/support/PythonServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <string>
#include <vector>

struct ReceivedPush {
    std::string method, path;
    std::map<std::string, std::string> headers;   // names as sent
    std::string body;
    std::string Header(const std::string& name) const
    {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

class PushTestServer {
public:
    explicit PushTestServer(std::optional<long> limit = std::nullopt) : limit_(limit) { Start(); }

    void Start()
    {
        std::vector<std::string> arguments{folder_.path().toStdString(), std::to_string(port_)};
        if (limit_)
            arguments.push_back(std::to_string(*limit_));
        port_ = server_.Start("push_test_server.py", arguments);
    }
    void Stop() { server_.Kill(); }
    std::string url(const std::string& topic = "sentivo-test") const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + topic;
    }

    std::vector<ReceivedPush> Received() const
    {
        std::vector<ReceivedPush> pushes;
        const QDir dir(folder_.path());
        for (const QString& name : dir.entryList({"*.json"}, QDir::Files, QDir::Name)) {
            QFile record(dir.filePath(name)), body(dir.filePath(name.chopped(5) + ".body"));
            if (!record.open(QIODevice::ReadOnly) || !body.open(QIODevice::ReadOnly))
                continue;
            const QJsonObject json = QJsonDocument::fromJson(record.readAll()).object();
            ReceivedPush push{json["method"].toString().toStdString(), json["path"].toString().toStdString(), {},
                              body.readAll().toStdString()};
            const QJsonObject headers = json["headers"].toObject();
            for (auto it = headers.begin(); it != headers.end(); ++it)
                push.headers[it.key().toStdString()] = it.value().toString().toStdString();
            pushes.push_back(std::move(push));
        }
        return pushes;
    }

private:
    std::optional<long> limit_;
    QTemporaryDir folder_{QDir::tempPath() + "/sentivo-push-XXXXXX"};
    PythonServer server_;
    int port_ = 0;
};
