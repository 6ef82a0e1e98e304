#include "mail/SendWatch.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

// libcurl asks about once a second, also while it waits for a silent server.
int Progress(void* watch, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    SendWatch& w = *static_cast<SendWatch*>(watch);
    if (w.flag && w.flag->load())
        w.cancel->Cancel();
    return w.cancel->Cancelled() ? 1 : 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view upperPrefix)
{
    return text.size() >= upperPrefix.size()
        && std::equal(upperPrefix.begin(), upperPrefix.end(), text.begin(),
                      [](char wanted, char c) { return std::toupper(static_cast<unsigned char>(c)) == wanted; });
}

// "250-SIZE 10240000" in the EHLO answer; "SIZE" alone or "SIZE 0" names no limit.
void NoteReplyLine(SendWatch& w, std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    if (line.empty())
        return;
    w.lastReply = line;
    if (line.size() > 9 && line.substr(0, 3) == "250" && StartsWithNoCase(line.substr(4), "SIZE ")) {
        const std::string_view digits = line.substr(9);
        std::uintmax_t limit = 0;
        if (std::from_chars(digits.data(), digits.data() + digits.size(), limit).ec == std::errc())
            w.sizeLimit = limit;
    }
}

// Sees the conversation. Only the first word of a command is kept: AUTH carries the login.
int Debug(CURL*, curl_infotype type, char* data, size_t size, void* watch)
{
    SendWatch& w = *static_cast<SendWatch*>(watch);
    const std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT)
        w.lastCommand = text.substr(0, std::min(text.find_first_of(" \r\n"), size_t{4}));
    if (type == CURLINFO_HEADER_IN)
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size());
            NoteReplyLine(w, text.substr(start, end - start));
            start = end + 1;
        }
    return 0;
}

curl_socket_t OpenSocket(void* cancel, curlsocktype, curl_sockaddr* address)
{
    const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd < 0)
        return CURL_SOCKET_BAD;
    static_cast<SendCancel*>(cancel)->Opened(fd);
    return fd;
}

int CloseSocket(void* cancel, curl_socket_t fd)
{
    static_cast<SendCancel*>(cancel)->Closed(fd);
    return ::close(fd) == 0 ? 0 : 1;
}

}  // namespace

void WatchSend(CURL* curl, SendWatch& watch)
{
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);   // to the debug callback, never to stderr
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, Debug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &watch);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, watch.cancel);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, watch.cancel);
}

bool SizeRefusal(long replyCode, std::string_view reply)
{
    if (replyCode == 552)
        return true;
    if (replyCode < 500)
        return false;
    std::string lower(reply);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* words : {"size", "too big", "too large", "5.3.4", "5.2.3"})
        if (lower.find(words) != std::string::npos)
            return true;
    return false;
}
