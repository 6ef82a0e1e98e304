#pragma once
// The six persistent settings, kept as text values in one INI file per user,
// "$XDG_CONFIG_HOME/Corvane/Sentivo.conf". Every call opens the file, makes its one access and lets
// go of it again, so a value saved by another process is seen by the next read. Texts are
// single-byte: each byte of a text is kept exactly, whatever it is.

#include <optional>
#include <string>

// SettingId: selects one persisted setting.
constexpr int SETTING_FROM_ADDRESS = 0;          // "EMAIL_ADDRESS"
constexpr int SETTING_TO_ADDRESS = 1;            // "TO_EMAIL_ADDRESS"
constexpr int SETTING_SMTP_SERVER = 2;           // "SMTP_SERVER"
constexpr int SETTING_DELAY_TO_LEAVE_ROOM = 3;   // "DELAY_TO_LEAVE_ROOM", seconds as "%.1f"
constexpr int SETTING_DELAY_BETWEEN_SENDS = 4;   // "DELAY_BETWEEN_SENDS"
constexpr int SETTING_DELAY_BEFORE_ALARM = 5;    // "DELAY_BEFORE_ALARM"
constexpr int SETTING_COUNT = 6;

// Longest text a read returns; a longer stored text reads as absent.
constexpr size_t SETTING_MAX_LENGTH = 254;

// Verdict: the value was read and, for the e-mail settings, passes its validator; for the delays,
// is not empty. text is the stored text (empty when nothing could be read), also when the verdict
// is false because the validator rejected it. The first read on a machine without the file creates
// it with six empty values and answers false, whatever the id.
bool ReadSetting(int settingId, std::string& text);

// Stores text whatever it is; verdict: the value was written and, for the e-mail settings, passes
// its validator. Never creates the file (the first ReadSetting does) and never rewrites one that
// cannot be read.
bool WriteSetting(int settingId, const std::string& text);

// Values beyond the six, kept in the same file under their own names. Read: the stored text, or
// nothing when the value is absent, unreadable or longer than SETTING_MAX_LENGTH; the caller
// decides what is valid and uses its default otherwise. Write: never creates the file either.
constexpr const char* SETTING_SMTP_PORT = "SMTP_PORT";           // decimal; empty: the default
constexpr const char* SETTING_SMTP_SECURITY = "SMTP_SECURITY";   // STARTTLS, SSL, NONE; empty: default
constexpr const char* SETTING_SEND_EMAILS = "SEND_EMAILS";       // the panel's last "Send emails": 1 or 0
constexpr const char* SETTING_MAIL_GROUP_SECONDS = "MAIL_GROUP_SECONDS";   // 0..86400; 0: a mail per picture
constexpr const char* SETTING_DETECT_MODE = "DETECT_MODE";       // its last detector: FACE or MOTION
std::optional<std::string> ReadNamedSetting(const char* name);
// A stored whole number: decimal digits (a sign allowed) within low..high, else nothing.
std::optional<int> WholeNumber(const std::string& text, int low, int high);
bool WriteNamedSetting(const char* name, const std::string& text);

// One @ with a part before it and a dotted domain after it, no part empty, no blank or control
// character: letters, digits and the characters mail systems allow before the @ ("+", "'", ...),
// any top-level domain; also what the first rule took (three letters at most after the last dot,
// letters, digits, _ . - only, no _ after the @).
bool IsValidEmailAddress(const std::string& text);
// The sender's own rule (SmtpUrl): a host name, an IP address ([...] for IPv6) or localhost, with
// ":port" and "smtp://" or "smtps://" if need be; never "my server.net", "a/b/c.com" or "127.0.0.1:0".
bool IsValidServerAddress(const std::string& text);

// The name of a setting's value in the file ("EMAIL_ADDRESS", "DELAY_BEFORE_ALARM", ...).
const char* SettingName(int settingId);

// Where the store lives for the current environment.
std::string SettingsFilePath();
