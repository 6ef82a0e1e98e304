#pragma once
// The SMTP login, kept out of the settings file in "auth.txt": "USERNAME, name" and
// "PASSWORD, secret" records (see KeyValueFile.h). A hand-written auth.txt in the working
// directory comes first; otherwise the one the Options dialog saves in ConfigFolder().

#include <filesystem>
#include <string>

// The auth.txt the login is read from: the working directory's when there is one, else the saved one.
std::filesystem::path CredentialsFile();
// The saved one: ConfigFolder()/auth.txt.
std::filesystem::path SavedCredentialsFile();

// Reads CredentialsFile(). false: no readable record in it (missing, unreadable, only comments)
// or a "USERNAME"/"PASSWORD" record without exactly two fields; the caller then uses no
// credentials. true: the file was read; each key found sets its string (the last record of a key
// wins), a key not found leaves its string as it was.
bool ReadSmtpCredentials(std::string& userName, std::string& password);

// Saves the login as SavedCredentialsFile(), readable by its owner only (mode 0600) and replaced
// atomically; both empty removes it. false with the reason when it could not be saved, or when a
// text cannot be written in the file's format (a comma, a semicolon, a line break, or a blank at
// either end would not read back as typed).
bool WriteSmtpCredentials(const std::string& userName, const std::string& password, std::string& reason);

// True when the file's permissions let users other than its owner read it.
bool ReadableByOthers(const std::filesystem::path& file);
