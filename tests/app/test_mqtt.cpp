// The rooms on a real broker as the installed sentivo --arm publishes them: Home Assistant's
// discovery, the alarm's states through a run, each picture byte for byte with its event, two rooms
// side by side, the last will of a killed program, the events of a broker outage after it, in
// order, and remote commands.
#include "settings/ChannelSettings.h"
#include "settings/SmtpCredentials.h"
#include "tests/app/InstalledProgram.h"
#include "tests/support/MqttTestBroker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <set>

namespace fs = std::filesystem;

namespace {

// Mail off, the broker's login saved beside the (absent) SMTP one, the room named.
void StoreMqttSettings(const MqttTestBroker& broker, const char* room, const char* remoteCode = nullptr)
{
    StoreArmedSettings(9, "1.0", "1.0");
    StoreSetting(SETTING_DELAY_BETWEEN_SENDS, "0.5");
    WriteNamedSetting(SETTING_SEND_EMAILS, "0");
    WriteNamedSetting(SETTING_MQTT_HOST, "127.0.0.1");
    WriteNamedSetting(SETTING_MQTT_PORT, std::to_string(broker.port()));
    WriteNamedSetting(SETTING_MQTT_SECURITY, "NONE");
    WriteNamedSetting(SETTING_ROOM, room);
    fs::create_directories(SavedCredentialsFile().parent_path());
    QFile file(QString::fromStdString(SavedCredentialsFile().string()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QString("MQTT_USERNAME, %1\nMQTT_PASSWORD, %2\n").arg(MqttTestBroker::kUser, MqttTestBroker::kPassword).toUtf8());
    if (remoteCode) {
        file.write(QString("REMOTE_CODE, %1\n").arg(remoteCode).toUtf8());
        WriteNamedSetting(SETTING_REMOTE_CONTROL, "1");
    }
}

void Send(const MqttTestBroker& broker, const std::string& topic, const std::string& payload)
{
    QProcess::execute("mosquitto_pub", {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-u", MqttTestBroker::kUser,
                                        "-P", MqttTestBroker::kPassword, "-q", "1", "-t", QString::fromStdString(topic),
                                        "-m", QString::fromStdString(payload)});
}

QJsonObject Json(const std::string& text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::vector<std::string> WithoutRepeats(const std::vector<std::string>& states)
{
    std::vector<std::string> changes;
    for (const std::string& state : states)
        if (changes.empty() || changes.back() != state)
            changes.push_back(state);
    return changes;
}

}  // namespace

TEST(Mqtt, ARunIsTheRoomsStoryOnTheBroker)
{
    ASSERT_FALSE(InstalledProgram().isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    MqttTestBroker broker;
    MqttWatcher watcher(broker, {"sentivo/#", "homeassistant/#"});
    StoreMqttSettings(broker, "hall");
    WriteCrossing("camera.avi", 40, 100, 300);   // 3 s in sight, then 10 s of a still room
    // The study's copy beside it, on the same broker: its own data folder and working folder, its
    // room from the command line, a still room.
    fs::create_directories("study");
    WriteCrossing("study/camera.avi", 0, 0, 200);
    QProcess study;
    QProcessEnvironment studyEnvironment = NoDisplay();
    studyEnvironment.insert("XDG_DATA_HOME", QString::fromStdString((dir.path() / "study").string()));
    study.setProcessEnvironment(studyEnvironment);
    study.setWorkingDirectory(QString::fromStdString((dir.path() / "study").string()));
    study.start(InstalledProgram(), {"--arm", "--camera", "camera.avi", "--room", "study"});
    QProcess sentivo;
    StartArmed(sentivo, "camera.avi");
    ASSERT_TRUE(sentivo.waitForFinished(60000) && study.waitForFinished(60000));
    const std::string err = sentivo.readAllStandardError().toStdString();
    ASSERT_EQ(sentivo.exitCode(), 0) << err;
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.On("sentivo/hall/availability").size() >= 2; }, 10000)) << err;
    EXPECT_EQ(watcher.On("sentivo/hall/availability"), (std::vector<std::string>{"online", "offline"}));

    EXPECT_EQ(WithoutRepeats(watcher.On("sentivo/hall/state")),
              (std::vector<std::string>{"disarmed", "arming", "armed_away", "triggered", "armed_away", "disarmed"}))
        << err;

    std::set<std::int64_t> taken, told;
    std::string lastPicture;
    for (std::int64_t n = 1; fs::exists("pic_" + std::to_string(n) + ".jpg"); ++n)
        taken.insert(n), lastPicture = dir.ReadFile("pic_" + std::to_string(n) + ".jpg");
    ASSERT_FALSE(taken.empty()) << err;
    std::vector<std::string> kinds;
    for (const std::string& text : watcher.On("sentivo/hall/event")) {
        const QJsonObject event = Json(text);
        kinds.push_back(event["kind"].toString().toStdString());
        EXPECT_EQ(event["room"].toString(), "hall");
        if (kinds.back() == "picture") {
            told.insert(event["number"].toInteger());
            EXPECT_EQ(event["file"].toString(), QString("pic_%1.jpg").arg(event["number"].toInteger()));
        }
    }
    EXPECT_EQ(told, taken) << "every picture has its event";
    EXPECT_EQ(kinds.back(), "run ended");
    ASSERT_FALSE(watcher.On("sentivo/hall/picture").empty());
    EXPECT_EQ(watcher.On("sentivo/hall/picture").back(), lastPicture) << "the saved file's bytes";
    EXPECT_EQ(watcher.On("sentivo/hall/pictures").back(), std::to_string(taken.size()));

    // Home Assistant's discovery, retained: one device a room, each entity with an id of its own.
    MqttWatcher late(broker, {"homeassistant/#", "sentivo/hall/picture"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return late.Messages().size() >= 11; }, 10000));
    EXPECT_EQ(late.On("sentivo/hall/picture"), std::vector<std::string>{lastPicture}) << "kept for who comes later";
    std::set<QString> ids;
    int entities = 0;
    for (const MqttReceived& message : late.Messages()) {
        if (!message.topic.starts_with("homeassistant/"))
            continue;
        EXPECT_TRUE(message.retained) << message.topic;
        const QJsonObject config = Json(message.payload);
        ASSERT_FALSE(config.isEmpty()) << message.topic << " holds no JSON object";
        ++entities;
        ids.insert(config["unique_id"].toString());
        const QString room = message.topic.find("/sentivo_hall_") != std::string::npos ? "hall" : "study";
        EXPECT_EQ(config["availability_topic"].toString(), "sentivo/" + room + "/availability");
        EXPECT_EQ(config["device"]["identifiers"].toArray(), QJsonArray{"sentivo_" + room});
        if (message.topic.starts_with("homeassistant/alarm_control_panel/")) {
            EXPECT_EQ(config["state_topic"].toString(), "sentivo/" + room + "/state");
            EXPECT_EQ(config["command_topic"].toString(), "sentivo/" + room + "/set");
            EXPECT_EQ(config["code"].toString(), "REMOTE_CODE");
            EXPECT_TRUE(config["command_template"].toString().contains("{{ code }}"));
        }
    }
    EXPECT_EQ(entities, 10);
    EXPECT_EQ(ids.size(), 10u) << "unique ids";

    // Each room's topics carry its own: the still study took no picture and told only its run's end.
    EXPECT_FALSE(fs::exists("study/pic_1.jpg"));
    EXPECT_TRUE(watcher.On("sentivo/study/picture").empty());
    const std::vector<std::string> studyEvents = watcher.On("sentivo/study/event");
    ASSERT_EQ(studyEvents.size(), 1u);
    EXPECT_EQ(Json(studyEvents[0])["kind"], "run ended");
    EXPECT_EQ(Json(studyEvents[0])["room"], "study");
    EXPECT_EQ(WithoutRepeats(watcher.On("sentivo/study/state")),
              (std::vector<std::string>{"disarmed", "arming", "armed_away", "disarmed"}));
}

// A killed program is offline through its will; a broker away for 10 s gets the outage's events
// after, in order, and none twice.
TEST(Mqtt, AKilledProgramGoesOfflineAndAnOutageLosesNoEvent)
{
    ASSERT_FALSE(InstalledProgram().isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    MqttTestBroker broker;
    MqttWatcher watcher(broker, {"sentivo/study/event", "sentivo/study/availability"});
    StoreMqttSettings(broker, "study");
    WriteCrossing("camera.avi", 20, 1200, 1200);   // an intruder for a minute
    QProcess sentivo;
    StartArmed(sentivo, "camera.avi");
    ASSERT_TRUE(QTest::qWaitFor([] { return fs::exists("pic_2.jpg"); }, 30000));
    broker.Stop();
    QTest::qWait(10000);
    const size_t takenInOutage = [] {
        size_t n = 0;
        while (fs::exists("pic_" + std::to_string(n + 1) + ".jpg"))
            ++n;
        return n;
    }();
    broker.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.On("sentivo/study/event").size() >= takenInOutage; }, 60000))
        << sentivo.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(sentivo.processId()), SIGKILL);
    sentivo.waitForFinished();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const std::vector<std::string> told = watcher.On("sentivo/study/availability");
        return !told.empty() && told.back() == "offline";
    }, 10000));

    std::vector<std::int64_t> numbers;
    for (const std::string& text : watcher.On("sentivo/study/event"))
        if (Json(text)["kind"] == "picture")
            numbers.push_back(Json(text)["number"].toInteger());
        else
            ADD_FAILURE() << text;
    ASSERT_GE(numbers.size(), takenInOutage);
    for (size_t i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i], std::int64_t(i + 1)) << "each picture once, in order";
}

// Remote arming: the right code disarms (the program waits, disarmed) and arms again; a wrong one is
// refused, told and logged without the code; the fifth wrong one in a row locks commands out, and
// the sixth, like the right code then, is ignored.
TEST(Mqtt, RemoteCommandsNeedTheCodeAndWrongOnesLockThemOut)
{
    ASSERT_FALSE(InstalledProgram().isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    MqttTestBroker broker;
    MqttWatcher watcher(broker, {"sentivo/hall/state", "sentivo/hall/event"});
    StoreMqttSettings(broker, "hall", "4711");
    WriteCrossing("camera.avi", 0, 0, 2400);   // a still room for two minutes
    QProcess sentivo;
    StartArmed(sentivo, "camera.avi");
    const auto state = [&] { return watcher.On("sentivo/hall/state").empty() ? "" : watcher.On("sentivo/hall/state").back(); };
    const auto refusals = [&] {
        const std::vector<std::string> events = watcher.On("sentivo/hall/event");
        return std::count_if(events.begin(), events.end(), [](const std::string& event) {
            return Json(event)["kind"] == "command refused";
        });
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == "armed_away"; }, 15000));
    const std::string set = "sentivo/hall/set";
    Send(broker, set, R"({"action": "DISARM", "code": "1234"})");
    ASSERT_TRUE(QTest::qWaitFor([&] { return refusals() == 1; }, 5000));
    EXPECT_EQ(state(), "armed_away");
    Send(broker, set, R"({"action": "DISARM", "code": "4711"})");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == "disarmed"; }, 10000));
    Send(broker, set, R"({"action": "ARM_AWAY", "code": "4711"})");
    ASSERT_TRUE(QTest::qWaitFor([&] { return state() == "armed_away"; }, 10000)) << "armed again, after a countdown";
    EXPECT_NE(std::find(watcher.On("sentivo/hall/state").begin(), watcher.On("sentivo/hall/state").end(), "arming"),
              watcher.On("sentivo/hall/state").end());
    Send(broker, set, R"({"action": "disarm now"})");
    for (int wrong = 2; wrong <= 6; ++wrong)
        Send(broker, set, R"({"action": "DISARM", "code": "0000"})");
    Send(broker, set, R"({"action": "DISARM", "code": "4711"})");
    QTest::qWait(2000);
    EXPECT_EQ(refusals(), 5) << "the sixth wrong code is ignored";
    EXPECT_TRUE(watcher.On("sentivo/hall/event").back().find("ignored for 10 minutes") != std::string::npos);
    EXPECT_EQ(state(), "armed_away") << "the right code is ignored too during the lockout";

    ::kill(static_cast<pid_t>(sentivo.processId()), SIGTERM);
    ASSERT_TRUE(sentivo.waitForFinished(10000));
    EXPECT_EQ(sentivo.exitCode(), 0);
    const std::string log = dir.ReadFile("data/Corvane/Sentivo/events.log");
    EXPECT_NE(log.find("wrong code refused"), std::string::npos);
    EXPECT_NE(log.find("ignored: not {"), std::string::npos) << "what is not a command is logged";
    EXPECT_EQ(log.find("0000"), std::string::npos) << "never the code";
}
