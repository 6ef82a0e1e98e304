#pragma once
// A fresh temporary folder for one test: XDG_CONFIG_HOME points into it (so the settings file is
// never the user's) and it is the working directory, where "auth.txt", "cascade1.xml" and the
// pictures live. Everything is restored and removed when the object goes.

#include <filesystem>
#include <string>

class TestDirectory {
public:
    TestDirectory();
    ~TestDirectory();
    TestDirectory(const TestDirectory&) = delete;
    TestDirectory& operator=(const TestDirectory&) = delete;

    const std::filesystem::path& path() const { return root_; }
    std::filesystem::path configHome() const { return root_ / "config"; }
    // "$XDG_CONFIG_HOME/Corvane/Sentivo.conf"
    std::filesystem::path settingsFile() const { return configHome() / "Corvane" / "Sentivo.conf"; }

    void WriteFile(const std::string& name, const std::string& bytes) const;
    std::string ReadFile(const std::string& name) const;

private:
    std::filesystem::path root_;
    std::filesystem::path previousCwd_;
    std::string previousXdg_;
    bool hadXdg_ = false;
};

// Paths handed to tests by CTest's environment.
std::filesystem::path SourceDir();   // SENTIVO_SOURCE_DIR
std::filesystem::path BinaryDir();   // SENTIVO_BINARY_DIR
std::string SystemPython();          // SENTIVO_PYTHON, /usr/bin/python3 by default
