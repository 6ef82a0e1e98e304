#include "settings/SmtpCredentials.h"

#include "settings/AppPaths.h"
#include "settings/KeyValueFile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr const char* kFileName = "auth.txt";

bool IsChannelSecret(const std::string& key)
{
    return std::find(std::begin(kChannelSecrets), std::end(kChannelSecrets), key) != std::end(kChannelSecrets);
}

CredentialsRead Unusable(std::string problem)
{
    CredentialsRead read;
    read.problem = std::move(problem);
    return read;
}

// Replaces the saved file with the login and the secrets, readable by its owner only and atomically;
// with neither, removes it.
bool SaveRecords(const SmtpLogin& login, const std::map<std::string, std::string>& secrets, std::string& reason)
{
    const std::filesystem::path path = SavedCredentialsFile();
    std::error_code error;
    if (!login.given && secrets.empty()) {
        std::filesystem::remove(path, error);
        return !error || (reason = "the saved login could not be removed: " + error.message(), false);
    }
    std::string records = login.given ? "USERNAME, " + login.userName + "\nPASSWORD, " + login.password + "\n" : "";
    for (const auto& [key, value] : secrets)
        records += key + ", " + value + "\n";
    std::filesystem::create_directories(path.parent_path(), error);
    QSaveFile file(QFile::decodeName(path.c_str()));
    // The permissions go on the temporary file before a byte of a password is in it.
    const bool written = file.open(QIODevice::WriteOnly)
                         && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                         && file.write("; Logins for Sentivo, saved by its Options and Notifications dialogs\n") >= 0
                         && file.write(records.c_str()) >= 0
                         && file.commit();
    if (!written)
        reason = "the login could not be saved in " + path.string() + ": " + file.errorString().toStdString();
    return written;
}

}  // namespace

std::filesystem::path SavedCredentialsFile()
{
    return ConfigFolder() / "auth.txt";
}

bool WorkingFolderCredentialsPresent()
{
    std::error_code error;
    return std::filesystem::symlink_status(kFileName, error).type() != std::filesystem::file_type::not_found;
}

std::filesystem::path WorkingFolderCredentialsFile()
{
    std::error_code error;   // a relative name stays as it is when the working folder is gone
    std::filesystem::path file = std::filesystem::absolute(kFileName, error);
    return error ? std::filesystem::path(kFileName) : file;
}

std::filesystem::path CredentialsFile()
{
    return WorkingFolderCredentialsPresent() ? std::filesystem::path(kFileName) : SavedCredentialsFile();
}

CredentialsRead ReadSmtpCredentials(const std::filesystem::path& file)
{
    CKeyValueFile reader(file.string());
    if (reader.Missing())
        return {};
    const std::string name = (file == kFileName ? WorkingFolderCredentialsFile() : file).string();
    if (!reader.Problem().empty())
        return Unusable(name + " " + reader.Problem());
    CredentialsRead read;
    while (reader.HasRecord()) {
        const std::vector<std::string>& record = reader.NextRecord();
        const std::string where = name + " line " + std::to_string(reader.RecordLine()) + ": ";
        if (record[0] != "USERNAME" && record[0] != "PASSWORD" && !IsChannelSecret(record[0]))
            return Unusable(where + "\"" + record[0] + "\" is neither USERNAME nor PASSWORD");
        if (record.size() != 2)
            return Unusable(where + "a " + record[0] + " record has " + std::to_string(record.size())
                            + (record.size() == 1 ? " field" : " fields") + ", not 2 (a value cannot hold a comma)");
        if (IsChannelSecret(record[0])) {
            read.secrets[record[0]] = record[1];
            continue;
        }
        (record[0] == "USERNAME" ? read.login.userName : read.login.password) = record[1];
        read.login.given = true;
    }
    return read;
}

bool WriteSmtpCredentials(const std::string& userName, const std::string& password, std::string& reason)
{
    for (const std::string* text : {&userName, &password}) {
        if (const std::string problem = SecretTextProblem(*text); !problem.empty()) {
            reason = "a user name or password " + problem;
            return false;
        }
    }
    // The other channels' secrets stay as they are.
    const SmtpLogin login{.given = !userName.empty() || !password.empty(), .userName = userName, .password = password};
    return SaveRecords(login, ReadSmtpCredentials(SavedCredentialsFile()).secrets, reason);
}

bool WriteChannelSecrets(const std::map<std::string, std::string>& secrets, std::string& reason)
{
    // A file that cannot be read is not written over: its SMTP login would be lost unseen.
    CredentialsRead saved = ReadSmtpCredentials(SavedCredentialsFile());
    if (!saved.problem.empty()) {
        reason = saved.problem;
        return false;
    }
    for (const auto& [key, value] : secrets) {
        if (!IsChannelSecret(key)) {
            reason = "\"" + key + "\" is not a record of auth.txt";
            return false;
        }
        if (const std::string problem = SecretTextProblem(value); !problem.empty()) {
            reason = key + " " + problem;
            return false;
        }
        if (value.empty())
            saved.secrets.erase(key);
        else
            saved.secrets[key] = value;
    }
    return SaveRecords(saved.login, saved.secrets, reason);
}

std::string SecretTextProblem(const std::string& text)
{
    if (text.find_first_of(",;\r\n") != std::string::npos)
        return "cannot hold a comma, a semicolon or a line break";
    if (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t'))
        return "cannot begin or end with a blank";
    return {};
}

std::optional<std::string> ReadChannelSecret(const char* key, std::string& problem)
{
    const CredentialsRead read = ReadSmtpCredentials(SavedCredentialsFile());
    problem = read.problem;
    const auto it = read.secrets.find(key);
    return it == read.secrets.end() ? std::nullopt : std::optional(it->second);
}

bool ReadableByOthers(const std::filesystem::path& file)
{
    std::error_code error;
    const auto permissions = std::filesystem::status(file, error).permissions();
    using std::filesystem::perms;
    return !error && (permissions & (perms::group_read | perms::others_read)) != perms::none;
}
