// The e-mail Options dialog: what OK saves and answers, and the test e-mail, checked before it
// goes and sent on its own thread through a real SMTP server on loopback; the panel's mail status.

#include "ui/dialogs/OptionsDlg.h"
#include "log/EventLog.h"
#include "mail/MailConfig.h"
#include "settings/SettingsStore.h"
#include "settings/SmtpCredentials.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/dialogs/SplashWindow.h"
#include "ui/panel/SentivoDlg.h"
#include "ui/templates/DialogBuilder.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

using Boxes = std::array<std::string, 3>;   // From, To, SMTP server
constexpr int boxIds[] = {1007, 1009, 1008};
constexpr int settingIds[] = {SETTING_FROM_ADDRESS, SETTING_TO_ADDRESS, SETTING_SMTP_SERVER};
constexpr int IDOK = 1, IDCANCEL = 2, IDC_SEND_TEST_EMAIL = 1014;
const std::string toInvalid = "\"To\" email is invalid", fromInvalid = "\"From\" email is invalid",
                  serverInvalid = "SMTP server address is invalid",
                  sent = "An email with a test attachment should be waiting in your \"To\" email inbox!",
                  unsent = "Email could not be sent. Please check addresses and the SMTP server is that of your ISP.\n",
                  badPort = "The port must be empty or a number from 1 to 65535.";
enum Security { Untouched = -1, IfOffered, StartTls, SslTls, NoSecurity };   // the security box's entries

static void Click(QWidget& dialog, int id) { FindControl<QPushButton>(dialog, id)->click(); }
static std::string Shown(const MessageBoxCapture& messages) { return messages.texts().join(" | ").toStdString(); }
static COptionsDlg& Options(QWidget& dialog) { return *qobject_cast<COptionsDlg*>(&dialog); }

// Types the port and the login (user null: as auth.txt filled them) and picks the security.
static void TypeServer(QWidget& dialog, int port, Security security, const char* user = nullptr, const char* pass = "")
{
    COptionsDlg& options = Options(dialog);
    options.portEdit->setText(QString::number(port));
    if (security != Untouched)
        options.securityCombo->setCurrentIndex(security);
    if (user)
        options.userNameEdit->setText(user), options.passwordEdit->setText(pass);
}

static Boxes Stored()
{
    Boxes stored;
    for (int i = 0; i < 3; ++i)
        ReadSetting(settingIds[i], stored[i]);   // the first read makes the store
    return stored;
}

// Runs RunEmailOptions; once its dialog is up (a zero timer fires inside exec()), checks that the
// boxes show what is stored, types boxes and leaves.
static bool RunOptions(const Boxes& boxes, const std::function<void(QWidget&)>& leave,
                       const std::function<void()>& settingsChanged = {})
{
    QObject context;
    QTimer::singleShot(0, &context, [&, stored = Stored()] {
        QWidget& dialog = *QApplication::activeModalWidget();
        for (int i = 0; i < 3; ++i) {
            auto* box = FindControl<QLineEdit>(dialog, boxIds[i]);
            EXPECT_EQ(box->text().toStdString(), stored[i]);
            box->setText(QString::fromStdString(boxes[i]));
        }
        leave(dialog);
    });
    return RunEmailOptions(settingsChanged);
}

struct OptionsDialog : ::testing::Test {
    TestDirectory dir;
    OptionsDialog() { std::filesystem::copy_file(SourceDir() / "res" / "sentivo.jpg", dir.path() / "sentivo.jpg"); }
    ~OptionsDialog() override { SetMailConfig({}); }
};

// OK saves the boxes as typed, answers whether all are valid (else tells once) and tells the sender;
// an untouched security stays stored empty. Cancel and the close box save nothing and answer false.
TEST_F(OptionsDialog, OkSavesAllThreeAndAnswersWhetherAllAreValid)
{
    const std::pair<Boxes, bool> cases[] = {
        {{"", "", ""}, false},
        {{"alarm@example.com", "owner@example.org", "smtp.example.com"}, true},
        {{"alarm@example.com", "owner.example.org", "smtp.example.com"}, false},
    };
    int changed = 0;
    for (const auto& [boxes, valid] : cases) {
        MessageBoxCapture messages;
        EXPECT_EQ(RunOptions(boxes, [](QWidget& dialog) { Click(dialog, IDOK); }, [&] { ++changed; }), valid) << boxes[1];
        EXPECT_EQ(Shown(messages), valid ? "" : "Some email options have been left blank or do not seem valid. "
                                                "Sentivo cannot function fully without valid addresses in all the boxes!");
        EXPECT_EQ(Stored(), boxes);
        EXPECT_EQ(ReadNamedSetting(SETTING_SMTP_SECURITY), "");
    }
    EXPECT_FALSE(RunOptions({"x", "y", "z"}, [](QWidget& dialog) { Click(dialog, IDCANCEL); }, [&] { ++changed; }));
    EXPECT_FALSE(RunOptions({"x", "y", "z"}, [](QWidget& dialog) { dialog.close(); }, [&] { ++changed; }));
    EXPECT_EQ(Stored(), cases[2].first);
    EXPECT_EQ(changed, 3);
}

// OK stays refused, with a message, until the port is empty or 1..65535.
TEST_F(OptionsDialog, OkKeepsTheDialogOpenWhileThePortIsInvalid)
{
    const std::pair<const char*, bool> cases[] = {{"0", false},  {"65536", false}, {"abc", false}, {"-1", false},
                                                  {" 25", false}, {"1", true},      {"65535", true}, {"", true}};
    COptionsDlg dialog;
    for (const auto& [port, valid] : cases) {
        MessageBoxCapture messages;
        dialog.show(), dialog.portEdit->setText(port), Click(dialog, IDOK);
        EXPECT_EQ(dialog.isVisible(), !valid) << port;
        EXPECT_EQ(Shown(messages), valid ? "" : badPort) << port;
        EXPECT_EQ(dialog.port, valid ? port : "") << port;
    }
}

// "Send a test email" checks To, From, then the server and tells the first that fails; then mails
// "sentivo.jpg" with the boxes' texts, port, security and login (auth.txt first), never a login in
// clear unless the security is None. A failure adds the mail library's reason on a line of its own.
TEST_F(OptionsDialog, TestEmailChecksTheBoxesThenSendsWithTheDialogsServerAndLogin)
{
    Stored();
    WriteSetting(SETTING_TO_ADDRESS, "stored@example.org");
    const Boxes good{"me@example.com", "you@example.org", "127.0.0.1"};
    const std::string noPicture = unsent + "sentivo.jpg could not be read: No such file or directory";
    const struct {
        Boxes boxes;
        bool starttls, auth;          // the server offers STARTTLS; it wants a login
        std::string authTxt, shown;   // authTxt empty: none written
        Security security;
        const char *typedUser, *user;   // typedUser null: boxes untouched; user null: nothing arrives
    } cases[] = {
        {{"", "a@b.", ""}, false, false, "", toInvalid, Untouched, nullptr, nullptr},
        {{"me@example.com", "a@b.net> SIZE=1", "127.0.0.1"}, false, false, "", toInvalid, Untouched, nullptr, nullptr},
        {{"", "a@b.c", ""}, false, false, "", fromInvalid, Untouched, nullptr, nullptr},
        {{"a@b.net> SIZE=1", "you@example.com", "127.0.0.1"}, false, false, "", fromInvalid, Untouched, nullptr, nullptr},
        {{"a@b.c", "a@b.c", "my server.net"}, false, false, "", serverInvalid, Untouched, nullptr, nullptr},
        {{"a@b.c", "a@b.c", "127.0.0.1:0"}, false, false, "", serverInvalid, Untouched, nullptr, nullptr},
        {good, false, false, "", noPicture, Untouched, nullptr, nullptr},
        {good, false, false, "", sent, Untouched, nullptr, ""},
        {good, true, true, "", unsent + "server requires a login", Untouched, nullptr, nullptr},
        {good, true, true, "USERNAME, alarm\nPASSWORD, wrong\n", unsent + "authentication failed", Untouched, nullptr, nullptr},
        {good, true, true, "; SMTP login\nUSERNAME, alarm\nPASSWORD, secret\n", sent, Untouched, nullptr, "alarm"},
        {good, false, true, "", unsent + "the server offers no encryption; the password was not sent", StartTls, "alarm", nullptr},
        {good, false, true, "", sent, NoSecurity, "alarm", "alarm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes[0] + " | " + c.boxes[1] + " | " + c.boxes[2] + " | " + c.authTxt + " | " + c.shown);
        SmtpTestServer server({.starttls = c.starttls, .requireAuth = c.auth});
        SetMailConfig({.caFile = server.certificateFile()});
        if (!c.authTxt.empty())
            dir.WriteFile("auth.txt", c.authTxt);
        if (c.shown == noPicture)
            std::filesystem::rename(dir.path() / "sentivo.jpg", dir.path() / "away.jpg");
        MessageBoxCapture messages;
        EXPECT_FALSE(RunOptions(c.boxes, [&](QWidget& d) {
            TypeServer(d, server.port(), c.security, c.typedUser, "secret");
            Click(d, IDC_SEND_TEST_EMAIL);   // its result comes when the send is done
            EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 30000));
            Click(d, IDCANCEL);
        }));
        EXPECT_EQ(Shown(messages), c.shown);
        if (c.shown == noPicture)
            std::filesystem::rename(dir.path() / "away.jpg", dir.path() / "sentivo.jpg");
        const auto mails = server.WaitForMessages(1, c.user ? 10s : 200ms);
        ASSERT_EQ(mails.size(), c.user ? 1u : 0u);
        if (!c.user) {
            EXPECT_EQ(server.Seen("auth"), int(c.shown == unsent + "authentication failed")) << "a login went out";
            continue;
        }
        EXPECT_EQ(mails[0].envelopeFrom + " > " + mails[0].envelopeTo.at(0), "me@example.com > you@example.org");
        EXPECT_EQ(mails[0].subject, "Sentivo test e-mail");
        EXPECT_EQ(mails[0].authenticatedUser, c.user);
        EXPECT_EQ(mails[0].overTls, c.starttls);
        ASSERT_EQ(mails[0].attachments.size(), 1u);
        EXPECT_EQ(mails[0].attachments[0].fileName, "sentivo.jpg");
        EXPECT_TRUE(mails[0].attachments[0].bytes == dir.ReadFile("sentivo.jpg"));
    }
    EXPECT_EQ(Stored()[1], "stored@example.org");
}

// The port, security and login typed in the dialog carry the test e-mail over STARTTLS; OK keeps
// port and security in the settings file and the login in the config folder's auth.txt, owner
// only, never in the settings file. The next run shows them and OK keeps them.
TEST_F(OptionsDialog, PortSecurityAndLoginReachTheTestEmailAndAreSavedApart)
{
    SmtpTestServer server({.starttls = true, .requireAuth = true});
    SetMailConfig({.caFile = server.certificateFile()});
    const Boxes good{"me@example.com", "you@example.org", "127.0.0.1"};
    MessageBoxCapture messages;
    EXPECT_TRUE(RunOptions(good, [&](QWidget& d) {
        TypeServer(d, server.port(), StartTls, "alarm", "secret");
        Click(d, IDC_SEND_TEST_EMAIL);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.texts().isEmpty(); }, 30000));
        Click(d, IDOK);
    }));
    EXPECT_EQ(Shown(messages), sent);
    const auto mails = server.WaitForMessages(1, 10s);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(mails[0].overTls && mails[0].authenticatedUser == "alarm" && mails[0].subject == "Sentivo test e-mail");
    EXPECT_TRUE(RunOptions(good, [](QWidget& d) { Click(d, IDOK); }));   // shown again, kept as they are
    EXPECT_EQ(ReadNamedSetting(SETTING_SMTP_PORT), std::to_string(server.port()));
    EXPECT_EQ(ReadNamedSetting(SETTING_SMTP_SECURITY), "STARTTLS");
    EXPECT_EQ(dir.ReadFile("config/Corvane/Sentivo.conf").find("secret"), std::string::npos);
    EXPECT_EQ(std::filesystem::status(SavedCredentialsFile()).permissions(), std::filesystem::perms(0600));
    EXPECT_NE(dir.ReadFile("config/Corvane/auth.txt").find("USERNAME, alarm\nPASSWORD, secret\n"), std::string::npos);
}

// While a send hangs on a server that never answers, the dialog keeps handling events and shows
// that it is sending; closing it cancels the send, and the dialog goes once the send's thread has
// ended, showing no result. Destroyed while sending, it waits for the thread.
TEST_F(OptionsDialog, StaysResponsiveWhileSendingAndClosesOnceTheCancelledSendHasEnded)
{
    SmtpTestServer server({.silent = true});
    for (const bool close : {true, false}) {
        MessageBoxCapture messages;
        auto dialog = std::make_unique<COptionsDlg>();
        dialog->show();
        dialog->fromEdit->setText("me@example.com"), dialog->toEdit->setText("you@example.org");
        dialog->smtpEdit->setText("127.0.0.1");
        TypeServer(*dialog, server.port(), Untouched);
        auto* button = FindControl<QPushButton>(*dialog, IDC_SEND_TEST_EMAIL);
        button->click();
        QTest::qWait(300);   // events go on while the send hangs
        EXPECT_TRUE(dialog->sendingTestEmail());
        EXPECT_FALSE(button->isEnabled());
        EXPECT_EQ(button->text(), "Sending…");
        EXPECT_EQ(dialog->passwordEdit->echoMode(), QLineEdit::Password);
        if (close) {
            dialog->close();
            EXPECT_TRUE(dialog->isVisible() && !dialog->isEnabled()) << "it waits for the send, events going on";
            EXPECT_EQ(button->text(), "Cancelling…");
            EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 30000));
            EXPECT_FALSE(dialog->sendingTestEmail()) << "no thread outlives the dialog";
            EXPECT_TRUE(dialog->isEnabled() && button->isEnabled());
            EXPECT_EQ(dialog->result(), QDialog::Rejected);
        }
        dialog.reset();
        QTest::qWait(100);
        EXPECT_EQ(Shown(messages), "");
    }
}


// With the sender's services the panel shows its status; a credentials file others can read is
// logged once and shown above it. Without them the line stays empty.
TEST_F(OptionsDialog, PanelStatusLineShowsTheSenderAndWarnsOfAReadableLogin)
{
    Stored();
    for (int i = 0; i < 3; ++i)
        WriteSetting(settingIds[i], i == 2 ? "127.0.0.1" : "me@example.com");
    dir.WriteFile("auth.txt", "USERNAME, alarm\nPASSWORD, secret\n");
    std::filesystem::permissions(dir.path() / "auth.txt", std::filesystem::perms(0644));
    EventLog log(dir.path() / "events.log", false);
    for (bool services : {false, true}) {
        CSentivoDlg panel({});
        if (services)
            panel.SetMailServices({.status = [] { return MailSenderStatus{.sent = 12}; }, .log = &log});
        panel.OnInitDialog();
        CSplashWindow::CurrentSplash()->HideSplashScreen(), CSplashWindow::EnableSplashScreen(false);
        const std::string expected = "Warning: credentials file " + (dir.path() / "auth.txt").string()
                                     + " can be read by other users\nMail: 12 sent";
        EXPECT_EQ(FindControl<QLabel>(panel, 1031)->text().toStdString(), services ? expected : "");
    }
    EXPECT_EQ(QString::fromStdString(dir.ReadFile("events.log")).count("can be read by other users"), 1);
}
