#pragma once
// Runs part of a test in a forked child process: a second process touching the same settings, or
// (when the tests run as root, who ignores file permissions) an unprivileged user who cannot read
// or write what the test locked away.

#include <sys/types.h>
#include <sys/wait.h>
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

// The child's exit code (the body's answer), or -1 when it did not exit normally.
inline int RunInChildProcess(const std::function<int()>& body, bool unprivileged = false)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (unprivileged && geteuid() == 0) {
            const gid_t nogroup = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(nogroup) != 0 || setuid(65534) != 0)
                _exit(98);
        }
        _exit(body());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
