#pragma once
// A fresh temporary folder for one test: XDG_CONFIG_HOME and XDG_DATA_HOME point into it (so the
// settings, the outbox and the event log are never the user's) and it is the working directory,
// where "auth.txt", "cascade1.xml" and the pictures live. All is restored and the folder removed
// when the object goes.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <stdexcept>
#include <string>

class TestDirectory {
public:
    TestDirectory()
    {
        if (!folder_.isValid() || !QDir().mkpath(Q(configHome())))
            throw std::runtime_error("no temporary folder: " + folder_.errorString().toStdString());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Q(configHome())));
        qputenv("XDG_DATA_HOME", QFile::encodeName(Q(dataHome())));
        QDir::setCurrent(folder_.path());
    }
    ~TestDirectory()
    {
        QDir::setCurrent(previousCwd_);
        for (const auto& [name, value] : previous_)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

    const std::filesystem::path& path() const { return root_; }
    std::filesystem::path configHome() const { return root_ / "config"; }
    std::filesystem::path dataHome() const { return root_ / "data"; }
    std::filesystem::path settingsFile() const { return configHome() / "Corvane" / "Sentivo.conf"; }

    void WriteFile(const std::string& name, const std::string& bytes) const
    {
        QFile file(Q(root_ / name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    std::string ReadFile(const std::string& name) const
    {
        QFile file(Q(root_ / name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

private:
    static QString Q(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

    QTemporaryDir folder_{QDir::tempPath() + "/sentivo-test-XXXXXX"};
    std::filesystem::path root_ = folder_.path().toStdString();
    QString previousCwd_ = QDir::currentPath();
    const std::pair<const char*, QByteArray> previous_[2] = {{"XDG_CONFIG_HOME", Saved("XDG_CONFIG_HOME")},
                                                             {"XDG_DATA_HOME", Saved("XDG_DATA_HOME")}};
    static QByteArray Saved(const char* name) { return qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray(); }
};

// Paths handed to tests by CTest's environment: run the tests through ctest.
inline std::filesystem::path SourceDir() { return qEnvironmentVariable("SENTIVO_SOURCE_DIR").toStdString(); }
inline std::filesystem::path BinaryDir() { return qEnvironmentVariable("SENTIVO_BINARY_DIR").toStdString(); }
inline std::string SystemPython() { return qEnvironmentVariable("SENTIVO_PYTHON", "/usr/bin/python3").toStdString(); }
