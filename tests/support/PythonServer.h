#pragma once
// A test server run by the system Python from tests/support: it prints its port once it listens
// and ends when its standard input ends. Started with posix_spawn, not QProcess: Qt starts a child
// with vfork() and runs code of its own in it, on the calling thread's ThreadSanitizer state, which
// can leave that thread's later locks unseen (false data races between the test and the threads it
// drives). Its errors go to ours.

#include "tests/support/TestDirectory.h"

#include <QDeadlineTimer>
#include <QThread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

class PythonServer {
public:
    PythonServer() = default;
    PythonServer(const PythonServer&) = delete;
    PythonServer& operator=(const PythonServer&) = delete;
    ~PythonServer() { Close(); }

    // Runs tests/support/script with arguments; answers the port it listens on, or throws when it
    // ended without printing one.
    int Start(const std::string& script, std::vector<std::string> arguments)
    {
        std::string python = SystemPython(), path = (SourceDir() / "tests/support" / script).string();
        std::vector<char*> argv{python.data(), path.data()};
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int in[2] = {-1, -1}, out[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || posix_spawn_file_actions_adddup2(&actions, in[0], 0)
            || posix_spawn_file_actions_adddup2(&actions, out[1], 1)
            || posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv.data(), environ))
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]), ::close(out[1]), input_ = in[1];
        // It prints its port once it listens (or ends: then the pipe ends too).
        QFile output;
        output.open(out[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        const int port = output.readLine().trimmed().toInt();
        if (port == 0)
            throw std::runtime_error(script + " did not start; see its errors above");
        return port;
    }
    // Ends it at once: its connections are cut.
    void Kill()
    {
        if (pid_ > 0)
            ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        Forget();
    }
    // Ends its input and gives it 5 s to finish what it was doing before it is killed.
    void Close()
    {
        ::close(input_);
        for (const QDeadlineTimer deadline(5000); pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;)
            deadline.hasExpired() ? void(::kill(pid_, SIGKILL)) : QThread::msleep(10);
        Forget();
    }

private:
    void Forget() { ::close(input_), pid_ = 0, input_ = -1; }

    pid_t pid_ = 0;
    int input_ = -1;
};
