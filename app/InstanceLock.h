#pragma once
// One copy of Sentivo per user's data folder: two copies on the same settings would share one
// outbox, one event log and one picture numbering, and lose pictures to each other. The guard is a
// lock on a file in the data folder, held while the program runs. The kernel drops it when its
// holder ends, however it ends (a kill -9, a power cut), so a dead holder's lock is simply taken over.

#include <filesystem>
#include <string>
#include <sys/types.h>

class InstanceLock {
public:
    // Takes the lock on file (made, with its folder, when missing). A copy that finds it held
    // changes nothing: it neither writes the file nor makes anything else.
    explicit InstanceLock(const std::filesystem::path& file);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Another running copy holds the lock: this one must not run.
    bool HeldElsewhere() const { return holder_ != 0; }
    // "Sentivo is already running (process N)", when HeldElsewhere.
    std::string RefusalText() const;
    // Why the lock could not be taken for another reason (the folder cannot be written, its path
    // is taken by a file...); empty when it was taken or is held elsewhere. The program runs
    // unguarded then: refusing to run would silence the alarm over a missing guard.
    const std::string& Problem() const { return problem_; }

private:
    int fd_ = -1;
    pid_t holder_ = 0;      // the other copy's process; -1 when it cannot be told
    std::string problem_;
};
