#include "settings/SmtpCredentials.h"

#include "settings/AppPaths.h"
#include "settings/KeyValueFile.h"

#include <QFile>
#include <QSaveFile>

namespace {

// A value that reads back exactly as it was written.
bool Writable(const std::string& text)
{
    if (text.find_first_of(",;\r\n") != std::string::npos)
        return false;
    return text.empty() || (text.front() != ' ' && text.front() != '\t' && text.back() != ' ' && text.back() != '\t');
}

}  // namespace

std::filesystem::path SavedCredentialsFile()
{
    return ConfigFolder() / "auth.txt";
}

std::filesystem::path CredentialsFile()
{
    std::error_code error;
    if (std::filesystem::exists("auth.txt", error))
        return "auth.txt";
    return SavedCredentialsFile();
}

bool ReadSmtpCredentials(std::string& userName, std::string& password)
{
    CKeyValueFile file(CredentialsFile().string());
    if (!file.HasRecord())
        return false;
    while (file.HasRecord()) {
        const std::vector<std::string>& record = file.NextRecord();
        std::string* target = nullptr;
        if (record[0] == "USERNAME")
            target = &userName;
        else if (record[0] == "PASSWORD")
            target = &password;
        else
            continue;
        if (record.size() != 2)
            return false;
        *target = record[1];
    }
    return true;
}

bool WriteSmtpCredentials(const std::string& userName, const std::string& password, std::string& reason)
{
    const std::filesystem::path path = SavedCredentialsFile();
    std::error_code error;
    if (userName.empty() && password.empty()) {
        std::filesystem::remove(path, error);
        return !error || (reason = "the saved login could not be removed: " + error.message(), false);
    }
    if (!Writable(userName) || !Writable(password)) {
        reason = "a user name or password cannot hold a comma, a semicolon or a line break, nor begin or end with a blank";
        return false;
    }
    std::filesystem::create_directories(path.parent_path(), error);
    QSaveFile file(QFile::decodeName(path.c_str()));
    // The permissions go on the temporary file before a byte of the password is in it.
    const bool written = file.open(QIODevice::WriteOnly)
                         && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                         && file.write("; SMTP login for Sentivo, saved by its Options dialog\n") >= 0
                         && file.write(("USERNAME, " + userName + "\nPASSWORD, " + password + "\n").c_str()) >= 0
                         && file.commit();
    if (!written)
        reason = "the login could not be saved in " + path.string() + ": " + file.errorString().toStdString();
    return written;
}

bool ReadableByOthers(const std::filesystem::path& file)
{
    std::error_code error;
    const auto permissions = std::filesystem::status(file, error).permissions();
    using std::filesystem::perms;
    return !error && (permissions & (perms::group_read | perms::others_read)) != perms::none;
}
