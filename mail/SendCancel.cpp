#include "mail/SendCancel.h"

#include <sys/socket.h>

#include <algorithm>

void SendCancel::Cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_.store(true, std::memory_order_relaxed);
    for (const int socket : sockets_)
        ::shutdown(socket, SHUT_RDWR);
}

void SendCancel::Opened(int socket)
{
    std::lock_guard lock(mutex_);
    sockets_.push_back(socket);
    if (cancelled_.load(std::memory_order_relaxed))
        ::shutdown(socket, SHUT_RDWR);
}

void SendCancel::Closed(int socket)
{
    std::lock_guard lock(mutex_);
    sockets_.erase(std::remove(sockets_.begin(), sockets_.end(), socket), sockets_.end());
}
