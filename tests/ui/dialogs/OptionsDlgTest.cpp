// The e-mail Options dialog: what OK saves and answers, and the test e-mail, checked before it
// goes and sent through a real SMTP server on loopback.

#include "ui/dialogs/OptionsDlg.h"
#include "mail/MailConfig.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/MessageBox.h"
#include "ui/templates/DialogBuilder.h"
#include "tests/support/SmtpTestServer.h"
#include "tests/support/TestDirectory.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
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
                  unsent = "Email could not be sent. Please check addresses and the SMTP server is that of your ISP.\n";

static void Click(QWidget& dialog, int id) { FindControl<QPushButton>(dialog, id)->click(); }
static std::string Shown(const MessageBoxCapture& messages) { return messages.texts().join(" | ").toStdString(); }

static Boxes Stored()
{
    Boxes stored;
    for (int i = 0; i < 3; ++i)
        ReadSetting(settingIds[i], stored[i]);   // the first read makes the store
    return stored;
}

// Runs RunEmailOptions; once its dialog is up (a zero timer fires inside exec()), checks that the
// boxes show what is stored, types boxes and leaves.
static bool RunOptions(const Boxes& boxes, const std::function<void(QWidget&)>& leave)
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
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor stayed";
    });
    return RunEmailOptions();
}

struct OptionsDialog : ::testing::Test {
    TestDirectory dir;
};

// OK saves all three boxes as typed and answers true only when all three pass their checks,
// telling the user once otherwise. Each run comes up with what the one before saved. Cancel and
// the close box save nothing and answer false.
TEST_F(OptionsDialog, OkSavesAllThreeAndAnswersWhetherAllAreValid)
{
    const std::pair<Boxes, bool> cases[] = {
        {{"", "", ""}, false},
        {{"alarm@example.com", "owner@example.org", "smtp.example.com"}, true},
        {{"alarm@example.com", "owner.example.org", "smtp.example.com"}, false},
    };
    for (const auto& [boxes, valid] : cases) {
        MessageBoxCapture messages;
        EXPECT_EQ(RunOptions(boxes, [](QWidget& dialog) { Click(dialog, IDOK); }), valid) << boxes[1];
        EXPECT_EQ(Shown(messages), valid ? "" : "Some email options have been left blank or do not seem valid. "
                                                "Sentivo cannot function fully without valid addresses in all the boxes!");
        EXPECT_EQ(Stored(), boxes);
    }
    EXPECT_FALSE(RunOptions({"x", "y", "z"}, [](QWidget& dialog) { Click(dialog, IDCANCEL); }));
    EXPECT_FALSE(RunOptions({"x", "y", "z"}, [](QWidget& dialog) { dialog.close(); }));
    EXPECT_EQ(Stored(), cases[2].first);
}

// "Send a test email" checks the boxes, To, From, then the server, as the stored addresses are
// checked (an address must not smuggle a parameter into the SMTP envelope) and tells only the
// first that fails. Then it mails "sentivo.jpg" with the boxes' texts, not the stored ones,
// logging in only when auth.txt was read (a file without the keys gives empty texts); a failure
// adds the mail library's reason on a line of its own.
TEST_F(OptionsDialog, TestEmailChecksTheBoxesThenSendsWithTheLoginOfAuthTxtOrNone)
{
    std::filesystem::copy_file(SourceDir() / "res" / "sentivo.jpg", dir.path() / "sentivo.jpg");
    Stored();
    WriteSetting(SETTING_TO_ADDRESS, "stored@example.org");
    const Boxes good{"me@example.com", "you@example.org", "127.0.0.1"};
    const struct {
        Boxes boxes;
        bool starttls;                // the server offers STARTTLS and wants a login
        std::string authTxt, shown;   // authTxt empty: none written
        const char* user;             // null: nothing arrives
    } cases[] = {
        {{"", "a@b.", ""}, false, "", toInvalid, nullptr},
        {{"me@example.com", "a@b.net> SIZE=1", "127.0.0.1"}, false, "", toInvalid, nullptr},
        {{"", "a@b.c", ""}, false, "", fromInvalid, nullptr},
        {{"a@b.net> SIZE=1", "you@example.com", "127.0.0.1"}, false, "", fromInvalid, nullptr},
        {{"a@b.c", "a@b.c", "smtp"}, false, "", serverInvalid, nullptr},
        {{"a@b.c", "a@b.c", "localhost"}, false, "", serverInvalid, nullptr},
        {good, false, "", sent, ""},
        {good, true, "", unsent + "server requires a login", nullptr},
        {good, true, "SERVER,smtp.example.com\n", unsent + "authentication failed", nullptr},
        {good, true, "; SMTP login\nUSERNAME, alarm\nPASSWORD, secret\n", sent, "alarm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.boxes[0] + " | " + c.boxes[1] + " | " + c.boxes[2] + " | " + c.authTxt);
        SmtpTestServer::Options options;
        options.starttls = options.requireAuth = c.starttls;
        SmtpTestServer server(options);
        SetMailConfig({.port = server.port(), .caFile = server.certificateFile()});   // STARTTLS when offered
        if (!c.authTxt.empty())
            dir.WriteFile("auth.txt", c.authTxt);
        MessageBoxCapture messages;
        EXPECT_FALSE(RunOptions(c.boxes, [](QWidget& d) { Click(d, IDC_SEND_TEST_EMAIL), Click(d, IDCANCEL); }));
        EXPECT_EQ(Shown(messages), c.shown);
        const auto mails = server.WaitForMessages(1, c.user ? 10s : 200ms);
        ASSERT_EQ(mails.size(), c.user ? 1u : 0u);
        if (!c.user)
            continue;
        EXPECT_EQ(mails[0].envelopeFrom + " > " + mails[0].envelopeTo.at(0), "me@example.com > you@example.org");
        EXPECT_EQ(mails[0].authenticatedUser, c.user);
        EXPECT_EQ(mails[0].overTls, c.starttls);
        ASSERT_EQ(mails[0].attachments.size(), 1u);
        EXPECT_EQ(mails[0].attachments[0].fileName, "sentivo.jpg");
        EXPECT_TRUE(mails[0].attachments[0].bytes == dir.ReadFile("sentivo.jpg"));
    }
    EXPECT_EQ(Stored()[1], "stored@example.org");
}
