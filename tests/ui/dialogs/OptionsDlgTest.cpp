#include "mail/MailConfig.h"
#include "ui/templates/DialogBuilder.h"
#include "ui/dialogs/OptionsDlg.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/MessageBox.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace std::chrono_literals;

namespace {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_FROM = 1007;
constexpr int IDC_SMTP = 1008;
constexpr int IDC_TO = 1009;
constexpr int IDC_SEND_TEST_EMAIL = 1014;

const QString incompleteMessage = QStringLiteral(
    "Some email options have been left blank or do not seem valid. "
    "Sentivo cannot function fully without valid addresses in all the boxes!");
const QString successMessage = QStringLiteral("An email with a test attachment should be waiting in your \"To\" email inbox!");
const QString failureMessage = QStringLiteral(
    "Email could not be sent. Please check addresses and the SMTP server is that of your ISP.");

// A control of the dialog; a missing one ends the test with an exception rather than a crash.
template <typename T>
T& Control(QDialog& dialog, int id)
{
    if (T* control = FindControl<T>(dialog, id))
        return *control;
    throw std::runtime_error("no control " + std::to_string(id));
}

void Click(QDialog& dialog, int id) { Control<QPushButton>(dialog, id).click(); }

struct Boxes {
    QString from, to, server;
    QString joined() const { return from + "|" + to + "|" + server; }
};

Boxes BoxTexts(QDialog& dialog)
{
    return {Control<QLineEdit>(dialog, IDC_FROM).text(), Control<QLineEdit>(dialog, IDC_TO).text(),
            Control<QLineEdit>(dialog, IDC_SMTP).text()};
}

void Fill(QDialog& dialog, const Boxes& boxes)
{
    Control<QLineEdit>(dialog, IDC_FROM).setText(boxes.from);
    Control<QLineEdit>(dialog, IDC_TO).setText(boxes.to);
    Control<QLineEdit>(dialog, IDC_SMTP).setText(boxes.server);
}

// Runs RunEmailOptions; act is called with the dialog once it is up and modal, and must close it.
// A dialog that act leaves open is cancelled, so a failing test cannot hang.
bool RunOptions(const std::function<void(QDialog&)>& act)
{
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (++tries == 500) {
                ADD_FAILURE() << "the Options dialog did not open";
                poll.stop();
            }
            return;
        }
        poll.stop();
        act(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the test left the Options dialog open";
            dialog->reject();
        }
    });
    poll.start(10);
    return RunEmailOptions();
}

std::string Stored(int id)
{
    std::string text;
    ReadSetting(id, text);
    return text;
}

std::string FileBytes(const std::filesystem::path& file)
{
    QFile in(QString::fromStdString(file.string()));
    return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : std::string();
}

class OptionsDialog : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            EXPECT_FALSE(widget->isVisible()) << widget->metaObject()->className() << " left open";
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    void StoreAll(const std::string& from, const std::string& to, const std::string& server)
    {
        Stored(SETTING_FROM_ADDRESS);   // the first read makes the store
        WriteSetting(SETTING_FROM_ADDRESS, from);
        WriteSetting(SETTING_TO_ADDRESS, to);
        WriteSetting(SETTING_SMTP_SERVER, server);
    }

    // Fills the boxes, presses "Send a test email" (the wait cursor is gone after), then Cancel.
    void SendTest(const Boxes& boxes)
    {
        EXPECT_FALSE(RunOptions([&](QDialog& dialog) {
            Fill(dialog, boxes);
            Click(dialog, IDC_SEND_TEST_EMAIL);
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            Click(dialog, IDCANCEL);
        }));
    }

    TestDirectory dir;
    MessageBoxCapture messages;
};

// The test e-mail's part: a real JPEG of its own as "sentivo.jpg" and the mail module pointed at
// a loopback server.
class TestEmail : public OptionsDialog {
protected:
    void SetUp() override
    {
        QImage picture(32, 24, QImage::Format_RGB32);
        picture.fill(QColor(200, 40, 40));
        ASSERT_TRUE(picture.save(QString::fromStdString((dir.path() / "sentivo.jpg").string()), "JPG"));
        picture_ = FileBytes(dir.path() / "sentivo.jpg");
        savedConfig_ = GetMailConfig();
    }
    void TearDown() override
    {
        SetMailConfig(savedConfig_);
        OptionsDialog::TearDown();
    }

    void UseServer(const SmtpTestServer& server, MailConfig::Tls tls = MailConfig::Tls::Off)
    {
        MailConfig config;
        config.port = server.port();
        config.tls = tls;
        if (tls != MailConfig::Tls::Off)
            config.caFile = server.certificateFile();
        SetMailConfig(config);
    }

    void ExpectPictureAttached(const ReceivedMail& mail)
    {
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_EQ(mail.attachments[0].fileName, "sentivo.jpg");
        EXPECT_EQ(mail.attachments[0].bytes, picture_);
    }

    // The lines of the one message a test send with valid boxes shows.
    QStringList SentMessageLines()
    {
        const qsizetype before = messages.texts().size();
        SendTest({"alarm@example.com", "owner@example.org", "127.0.0.1"});
        const QStringList shown = messages.texts().mid(before);
        return shown.size() == 1 ? shown[0].split(u'\n') : shown;
    }

    std::string picture_;
    MailConfig savedConfig_;
};

}  // namespace

// A fresh store shows three empty boxes; OK saves all three as typed, and when any fails its check
// tells the user once and answers false. Each run shows what the one before saved.
TEST_F(OptionsDialog, OkSavesAllThreeAndTellsOnceWhenOneIsBad)
{
    const Boxes typed[] = {
        {"", "", ""},
        {"alarm@example.com", "owner@example.org", "smtp.example.com"},
        {"alarm@example.com", "owner.example.org", "smtp.example.com"},
    };
    Boxes stored;
    for (const Boxes& boxes : typed) {
        SCOPED_TRACE(boxes.to.toStdString());
        const bool valid = !boxes.from.isEmpty() && boxes.to.contains(u'@');
        const qsizetype before = messages.texts().size();
        Boxes shown{"x", "x", "x"};
        EXPECT_EQ(RunOptions([&](QDialog& dialog) {
            shown = BoxTexts(dialog);
            Fill(dialog, boxes);
            Click(dialog, IDOK);
        }), valid);
        EXPECT_EQ(shown.joined(), stored.joined());
        EXPECT_EQ(messages.texts().mid(before), valid ? QStringList() : QStringList{incompleteMessage});
        stored = {QString::fromStdString(Stored(SETTING_FROM_ADDRESS)), QString::fromStdString(Stored(SETTING_TO_ADDRESS)),
                  QString::fromStdString(Stored(SETTING_SMTP_SERVER))};
        EXPECT_EQ(stored.joined(), boxes.joined());
    }
}

// Stored values are shown as they are, valid or not; leaving in any way but OK saves nothing and
// answers false even when the stored values are good.
TEST_F(OptionsDialog, ShowsStoredValuesAndCancelKeepsThem)
{
    StoreAll("not an address", "owner@example.org", "smtp.example.com");
    const std::string before = FileBytes(dir.settingsFile());
    const std::function<void(QDialog&)> leaves[] = {
        [](QDialog& dialog) { Click(dialog, IDCANCEL); },
        [](QDialog& dialog) { dialog.close(); },
    };
    for (const auto& leave : leaves) {
        Boxes shown;
        EXPECT_FALSE(RunOptions([&](QDialog& dialog) {
            shown = BoxTexts(dialog);
            Fill(dialog, {"new@example.com", "new@example.org", "new.example.com"});
            leave(dialog);
        }));
        EXPECT_EQ(shown.joined(), "not an address|owner@example.org|smtp.example.com");
    }
    EXPECT_EQ(FileBytes(dir.settingsFile()), before);
    StoreAll("alarm@example.com", "owner@example.org", "smtp.example.com");
    EXPECT_FALSE(RunOptions([](QDialog& dialog) { Click(dialog, IDCANCEL); }));
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_EQ(Stored(SETTING_FROM_ADDRESS), "alarm@example.com");
}

// Only lengths are checked, To first, then From, then the server; the first short one is told and
// nothing is sent.
TEST_F(OptionsDialog, TestEmailChecksLengthsInOrder)
{
    struct Case {
        Boxes boxes;
        QString message;
    };
    const Case cases[] = {
        {{"", "a@b.", ""}, "\"To\" email is invalid"},
        {{"x", "abcd", "y"}, "\"To\" email is invalid"},
        {{"", "a@b.c", ""}, "\"From\" email is invalid"},
        {{"f@b.", "a@b.c", "smtp.example.com"}, "\"From\" email is invalid"},
        {{"a@b.c", "a@b.c", "smtp"}, "SMTP server address is invalid"},
    };
    for (const Case& c : cases) {
        const qsizetype before = messages.texts().size();
        SendTest(c.boxes);
        EXPECT_EQ(messages.texts().mid(before), QStringList{c.message}) << c.boxes.to.toStdString();
    }
}

// Without auth.txt no login is made; the boxes' current texts are used, not the stored values,
// and only their lengths are checked: addresses the validators would reject are sent all the same.
// The store is left as it was.
TEST_F(TestEmail, ArrivesWithThePictureAttached)
{
    StoreAll("stored@example.com", "stored@example.org", "stored.example.com");
    SmtpTestServer server;
    UseServer(server);
    SendTest({"me@localhost", "you@localhost", "127.0.0.1"});
    EXPECT_EQ(messages.texts(), QStringList{successMessage});
    const std::vector<ReceivedMail> mails = server.WaitForMessages(1, 10s);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].envelopeFrom, "me@localhost");
    EXPECT_EQ(mails[0].envelopeTo, std::vector<std::string>{"you@localhost"});
    EXPECT_EQ(mails[0].authenticatedUser, "");
    ExpectPictureAttached(mails[0]);
    EXPECT_EQ(Stored(SETTING_TO_ADDRESS), "stored@example.org");
}

// Credentials go to the server only when auth.txt was read: without the file no login is tried
// (null user name and password), a file with other keys sends two empty texts, a malformed record
// means the file's credentials are not used at all. Failures keep the fixed text and add the mail
// library's reason on a line below it.
TEST_F(TestEmail, LogsInWithTheCredentialsOfAuthTxtOrNone)
{
    SmtpTestServer::Options options;
    options.starttls = true;
    options.requireAuth = true;
    SmtpTestServer server(options);
    UseServer(server, MailConfig::Tls::Required);
    const std::pair<const char*, std::string> failures[] = {
        {"server requires a login", ""},
        {"authentication failed", "SERVER,smtp.example.com\n"},
        {"server requires a login", "USERNAME," + options.user + "\nPASSWORD," + options.password + ",x\n"},
    };
    for (const auto& [reason, auth] : failures) {
        if (!auth.empty())
            dir.WriteFile("auth.txt", auth);
        EXPECT_EQ(SentMessageLines(), (QStringList{failureMessage, reason})) << auth;
    }
    EXPECT_TRUE(server.Messages().empty());

    dir.WriteFile("auth.txt", "; SMTP login\nUSERNAME, " + options.user + "\nPASSWORD, " + options.password + "\n");
    EXPECT_EQ(SentMessageLines(), QStringList{successMessage});
    const std::vector<ReceivedMail> mails = server.WaitForMessages(1, 10s);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].authenticatedUser, options.user);
    EXPECT_TRUE(mails[0].overTls);
    ExpectPictureAttached(mails[0]);
}

TEST_F(TestEmail, ServerDown)
{
    MailConfig config;
    {
        SmtpTestServer gone;
        config.port = gone.port();
    }
    config.tls = MailConfig::Tls::Off;
    SetMailConfig(config);
    EXPECT_EQ(SentMessageLines(), (QStringList{failureMessage, "could not connect"}));
}
