#include "mail/MailConfig.h"
#include "res/DialogBuilder.h"
#include "settings/OptionsDlg.h"
#include "settings/SettingsStore.h"
#include "shell/MessageBox.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

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

QLineEdit& Box(QDialog& dialog, int id)
{
    QLineEdit* box = FindControl<QLineEdit>(dialog, id);
    if (!box)
        throw std::runtime_error("no edit box " + std::to_string(id));
    return *box;
}

void Click(QDialog& dialog, int id)
{
    QPushButton* button = FindControl<QPushButton>(dialog, id);
    if (!button)
        throw std::runtime_error("no button " + std::to_string(id));
    button->click();
}

struct Boxes {
    QString from, to, server;
};

Boxes BoxTexts(QDialog& dialog)
{
    return {Box(dialog, IDC_FROM).text(), Box(dialog, IDC_TO).text(), Box(dialog, IDC_SMTP).text()};
}

void Fill(QDialog& dialog, const Boxes& boxes)
{
    Box(dialog, IDC_FROM).setText(boxes.from);
    Box(dialog, IDC_TO).setText(boxes.to);
    Box(dialog, IDC_SMTP).setText(boxes.server);
}

// Runs RunEmailOptions; act is called with the dialog once it is up and modal, and must close it.
// A dialog that act leaves open is cancelled, so a failing test cannot hang.
bool RunOptions(const std::function<void(QDialog&)>& act)
{
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, tries, weak = std::weak_ptr(poll)] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (++*tries < 500)
                QTimer::singleShot(10, [weak] { if (auto p = weak.lock()) (*p)(); });
            else
                ADD_FAILURE() << "the Options dialog did not open";
            return;
        }
        act(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the test left the Options dialog open";
            dialog->reject();
        }
    };
    QTimer::singleShot(0, *poll);
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
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
        config.connectTimeoutMs = 5000;
        config.totalTimeoutMs = 20000;
        if (tls != MailConfig::Tls::Off)
            config.caFile = server.certificateFile();
        SetMailConfig(config);
    }

    // Fills the boxes, presses "Send a test email", then Cancel.
    void SendTest(const Boxes& boxes)
    {
        EXPECT_FALSE(RunOptions([&](QDialog& dialog) {
            Fill(dialog, boxes);
            Click(dialog, IDC_SEND_TEST_EMAIL);
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            Click(dialog, IDCANCEL);
        }));
    }

    void ExpectPictureAttached(const ReceivedMail& mail)
    {
        ASSERT_EQ(mail.attachments.size(), 1u);
        EXPECT_EQ(mail.attachments[0].fileName, "sentivo.jpg");
        EXPECT_EQ(mail.attachments[0].bytes, picture_);
    }

    std::string picture_;
    MailConfig savedConfig_;
};

}  // namespace

TEST_F(OptionsDialog, FreshStoreShowsEmptyBoxesAndOkTellsOnce)
{
    Boxes shown;
    EXPECT_FALSE(RunOptions([&](QDialog& dialog) {
        shown = BoxTexts(dialog);
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(shown.from, "");
    EXPECT_EQ(shown.to, "");
    EXPECT_EQ(shown.server, "");
    EXPECT_EQ(messages.texts(), QStringList{incompleteMessage});
    QSettings file(QString::fromStdString(dir.settingsFile().string()), QSettings::IniFormat);
    for (const char* name : {"EMAIL_ADDRESS", "TO_EMAIL_ADDRESS", "SMTP_SERVER"})
        EXPECT_EQ(file.value(name, QStringLiteral("absent")).toString(), QString()) << name;
}

TEST_F(OptionsDialog, ValidValuesAreSavedWithoutMessage)
{
    EXPECT_TRUE(RunOptions([](QDialog& dialog) {
        Fill(dialog, {"alarm@example.com", "owner@example.org", "smtp.example.com"});
        Click(dialog, IDOK);
    }));
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_EQ(Stored(SETTING_FROM_ADDRESS), "alarm@example.com");
    EXPECT_EQ(Stored(SETTING_TO_ADDRESS), "owner@example.org");
    EXPECT_EQ(Stored(SETTING_SMTP_SERVER), "smtp.example.com");
}

// One bad value: all three are saved as typed, the user is told once, the answer is false.
TEST_F(OptionsDialog, InvalidValueIsSavedAndToldOnce)
{
    StoreAll("old@example.com", "old@example.org", "old.example.com");
    EXPECT_FALSE(RunOptions([](QDialog& dialog) {
        Fill(dialog, {"alarm@example.com", "owner.example.org", "smtp.example.com"});
        Click(dialog, IDOK);
    }));
    EXPECT_EQ(messages.texts(), QStringList{incompleteMessage});
    EXPECT_EQ(Stored(SETTING_FROM_ADDRESS), "alarm@example.com");
    EXPECT_EQ(Stored(SETTING_TO_ADDRESS), "owner.example.org");
    EXPECT_EQ(Stored(SETTING_SMTP_SERVER), "smtp.example.com");
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
        EXPECT_EQ(shown.from, "not an address");
        EXPECT_EQ(shown.to, "owner@example.org");
        EXPECT_EQ(shown.server, "smtp.example.com");
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
        EXPECT_FALSE(RunOptions([&](QDialog& dialog) {
            Fill(dialog, c.boxes);
            Click(dialog, IDC_SEND_TEST_EMAIL);
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            Click(dialog, IDCANCEL);
        }));
        EXPECT_EQ(messages.texts().mid(before), QStringList{c.message}) << c.boxes.to.toStdString();
    }
}

// Without auth.txt no login is made; the boxes' current texts are used, not the stored values,
// and the store is left as it was.
TEST_F(TestEmail, ArrivesWithThePictureAttached)
{
    StoreAll("stored@example.com", "stored@example.org", "stored.example.com");
    SmtpTestServer server;
    UseServer(server);
    SendTest({"alarm@example.com", "owner@example.org", "127.0.0.1"});
    EXPECT_EQ(messages.texts(), QStringList{successMessage});
    const std::vector<ReceivedMail> mails = server.WaitForMessages(1, 10s);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].envelopeFrom, "alarm@example.com");
    EXPECT_EQ(mails[0].envelopeTo, std::vector<std::string>{"owner@example.org"});
    EXPECT_EQ(mails[0].authenticatedUser, "");
    ExpectPictureAttached(mails[0]);
    EXPECT_EQ(Stored(SETTING_TO_ADDRESS), "stored@example.org");
}

// The length checks do not apply the address rules: short but odd texts are sent all the same.
TEST_F(TestEmail, SendsTextsTheValidatorsWouldReject)
{
    SmtpTestServer server;
    UseServer(server);
    SendTest({"me@localhost", "you@localhost", "127.0.0.1"});
    EXPECT_EQ(messages.texts(), QStringList{successMessage});
    EXPECT_EQ(server.WaitForMessages(1, 10s).size(), 1u);
}

TEST_F(TestEmail, LogsInWithTheCredentialsOfAuthTxt)
{
    SmtpTestServer::Options options;
    options.starttls = true;
    options.requireAuth = true;
    SmtpTestServer server(options);
    UseServer(server, MailConfig::Tls::Required);
    dir.WriteFile("auth.txt", "; SMTP login\nUSERNAME, " + options.user + "\nPASSWORD, " + options.password + "\n");
    SendTest({"alarm@example.com", "owner@example.org", "127.0.0.1"});
    EXPECT_EQ(messages.texts(), QStringList{successMessage});
    const std::vector<ReceivedMail> mails = server.WaitForMessages(1, 10s);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].authenticatedUser, options.user);
    EXPECT_TRUE(mails[0].overTls);
    ExpectPictureAttached(mails[0]);
}

// Failures keep the fixed text and add the mail library's reason on a line below it.
class TestEmailFailure : public TestEmail {
protected:
    QStringList FailureLines(const Boxes& boxes)
    {
        const qsizetype before = messages.texts().size();
        SendTest(boxes);
        const QStringList shown = messages.texts().mid(before);
        if (shown.size() != 1)
            return shown;
        return shown[0].split(u'\n');
    }
    QStringList Failure(const char* reason) { return {failureMessage, QString::fromLatin1(reason)}; }

    const Boxes boxes{"alarm@example.com", "owner@example.org", "127.0.0.1"};
};

// Credentials go to the server only when auth.txt was read: without the file no login is tried
// (null user name and password); a file with other keys only sends two empty texts.
TEST_F(TestEmailFailure, CredentialsFromAuthTxtOrNone)
{
    SmtpTestServer::Options options;
    options.starttls = true;
    options.requireAuth = true;
    SmtpTestServer server(options);
    UseServer(server, MailConfig::Tls::Required);

    EXPECT_EQ(FailureLines(boxes), Failure("server requires a login"));
    dir.WriteFile("auth.txt", "SERVER,smtp.example.com\n");
    EXPECT_EQ(FailureLines(boxes), Failure("authentication failed"));
    dir.WriteFile("auth.txt", "USERNAME," + options.user + "\nPASSWORD,wrong\n");
    EXPECT_EQ(FailureLines(boxes), Failure("authentication failed"));
    // A malformed record: the file's credentials are not used at all.
    dir.WriteFile("auth.txt", "USERNAME," + options.user + "\nPASSWORD," + options.password + ",x\n");
    EXPECT_EQ(FailureLines(boxes), Failure("server requires a login"));
    EXPECT_TRUE(server.Messages().empty());
}

TEST_F(TestEmailFailure, ServerDown)
{
    int closedPort = 0;
    {
        SmtpTestServer gone;
        closedPort = gone.port();
    }
    MailConfig config;
    config.port = closedPort;
    config.tls = MailConfig::Tls::Off;
    config.connectTimeoutMs = 3000;
    config.totalTimeoutMs = 5000;
    SetMailConfig(config);
    EXPECT_EQ(FailureLines(boxes), Failure("could not connect"));
}
