#pragma once
// Ends a send from another thread whatever the server does. The flag alone is not enough: libcurl
// looks at it about once a second while the transfer runs, but a cancelled transfer still closes
// its connection politely (QUIT), waiting for an answer a stuck server never gives. So the send
// registers its sockets here, and Cancel shuts them down: every wait on them ends at once.

#include <atomic>
#include <mutex>
#include <vector>

class SendCancel {
public:
    SendCancel() = default;
    SendCancel(const SendCancel&) = delete;
    SendCancel& operator=(const SendCancel&) = delete;

    // From any thread; stays cancelled.
    void Cancel();
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

    // For the send's own socket callbacks. Opened shuts a socket made after Cancel down at once;
    // Closed forgets it before it is closed, so Cancel never touches a number the system reused.
    void Opened(int socket);
    void Closed(int socket);

private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::vector<int> sockets_;
};
