// Push as the installed sentivo --arm sends it to a real server on loopback: one notification per
// alarm episode, its picture byte for byte the saved file.
#include "settings/ChannelSettings.h"
#include "tests/app/InstalledProgram.h"
#include "tests/support/PushTestServer.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string FileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

// Two crossings 5 s apart, each long enough for several pictures: two notifications, each the
// first picture of its episode.
TEST(Push, EachAlarmEpisodeIsOneNotificationWithItsFirstPicture)
{
    ASSERT_FALSE(InstalledProgram().isEmpty()) << "cmake --install failed";
    TestDirectory dir;
    PushTestServer server;
    StoreArmedSettings(9, "1.0", "1.0");
    StoreSetting(SETTING_DELAY_BETWEEN_SENDS, "0.5");
    WriteNamedSetting(SETTING_SEND_EMAILS, "0");
    WriteNamedSetting(SETTING_PUSH_URL, server.url("hall-alarm"));
    WriteNamedSetting(SETTING_ROOM, "hall");
    WriteCrossings("camera.avi", {{40, 100}, {200, 260}}, 400);
    QProcess sentivo;
    StartArmed(sentivo);
    ASSERT_TRUE(sentivo.waitForFinished(60000));
    const std::string err = sentivo.readAllStandardError().toStdString();
    ASSERT_EQ(sentivo.exitCode(), 0) << err;

    int pictures = 0;
    for (const fs::directory_entry& file : fs::directory_iterator(dir.path()))
        pictures += IsPictureName(file.path().filename().string());
    EXPECT_GE(pictures, 4) << err;
    const std::vector<ReceivedPush> pushes = server.Received();
    ASSERT_EQ(pushes.size(), 2u) << err;
    EXPECT_EQ(pushes[0].Header("Filename"), "pic_1.jpg");
    for (const ReceivedPush& push : pushes) {
        EXPECT_EQ(push.method, "PUT");
        EXPECT_EQ(push.path, "/hall-alarm");
        EXPECT_EQ(push.Header("Title"), "Sentivo: alarm in hall");
        EXPECT_EQ(push.Header("Priority"), "urgent");
        ASSERT_TRUE(IsPictureName(push.Header("Filename")));
        EXPECT_TRUE(push.body == FileBytes(push.Header("Filename"))) << push.Header("Filename") << " differs from the file";
    }
    EXPECT_GT(pushes[1].Header("Filename"), "pic_2.jpg") << "the second crossing's first picture";
}
