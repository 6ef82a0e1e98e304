#pragma once
// The SMTP login, kept out of the settings file in "auth.txt": "USERNAME, name" and
// "PASSWORD, secret" records (see KeyValueFile.h). The saved file also keeps the other channels'
// secrets (kChannelSecrets), each a record of its own, which the SMTP login leaves alone. A hand-written auth.txt in the working
// directory comes first; otherwise the one the Options dialog saves in ConfigFolder(). Which of
// them a mail uses is decided once, by ResolveLogin (MailSettingsCodec.h).

#include <filesystem>
#include <map>
#include <optional>
#include <string>

// The broker's login and the like: records of the saved auth.txt beside the SMTP login's.
inline constexpr const char* kChannelSecrets[] = {"MQTT_USERNAME", "MQTT_PASSWORD", "REMOTE_CODE", "PUSH_TOKEN"};

struct SmtpLogin {
    bool given = false;   // log in with these (empty texts are credentials too)
    std::string userName;
    std::string password;
};

// One auth.txt as read: its login, or why it cannot be used.
struct CredentialsRead {
    SmtpLogin login;
    std::string problem;   // "/home/u/auth.txt line 2: ..."; when set, login.given is false
    std::map<std::string, std::string> secrets;   // the kChannelSecrets records it holds
};

// The working directory's auth.txt, when anything of that name is there (a FIFO or a dangling link
// too: it is then reported, not passed over for the saved login).
bool WorkingFolderCredentialsPresent();
// "auth.txt" of the working directory, as an absolute path when the directory can be named.
std::filesystem::path WorkingFolderCredentialsFile();
// The saved one: ConfigFolder()/auth.txt.
std::filesystem::path SavedCredentialsFile();
// The auth.txt the login is read from: the working directory's when there is one, else the saved one.
std::filesystem::path CredentialsFile();

// Reads file. No file: no login and no problem. A login is given when the file holds a USERNAME or
// a PASSWORD record (the last record of a key wins; a key not found stays empty). Every record
// must be "USERNAME, value" or "PASSWORD, value": a record with another key or with fewer or more
// fields (a password with a comma in it) makes the file unusable, named with its line, as does a
// file that is no regular file of at most 64 KiB (KeyValueFile.h), so a login the user wrote is
// never dropped without a word.
CredentialsRead ReadSmtpCredentials(const std::filesystem::path& file);

// Saves the login as SavedCredentialsFile(), readable by its owner only (mode 0600) and replaced
// atomically; both empty removes it. false with the reason when it could not be saved, or when a
// text cannot be written in the file's format (a comma, a semicolon, a line break, or a blank at
// either end would not read back as typed).
bool WriteSmtpCredentials(const std::string& userName, const std::string& password, std::string& reason);

// Saves the channel secrets (keys of kChannelSecrets) in SavedCredentialsFile() as
// WriteSmtpCredentials saves the login, keeping that login and the records not named; an empty
// value removes its record. false with the reason when the saved file cannot be read (it is then
// left as it is), a key is none of kChannelSecrets, a value would not read back as typed, or the
// file could not be written.
bool WriteChannelSecrets(const std::map<std::string, std::string>& secrets, std::string& reason);
// Why text would not read back from auth.txt as typed ("cannot hold a comma, ..."); empty when it would.
std::string SecretTextProblem(const std::string& text);

// The saved file's record key (one of kChannelSecrets): nothing when it has none, or when the file
// cannot be used (problem says why).
std::optional<std::string> ReadChannelSecret(const char* key, std::string& problem);

// True when the file's permissions let users other than its owner read it.
bool ReadableByOthers(const std::filesystem::path& file);
