#pragma once
// Owners for libcurl's C handles, so every path out of a send releases them.

#include <curl/curl.h>

#include <memory>
#include <mutex>

// libcurl's global set-up must run once before any handle exists, whichever thread sends first.
inline bool CurlReady()
{
    static std::once_flag once;
    static CURLcode result = CURLE_FAILED_INIT;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result == CURLE_OK;
}

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlMimeDeleter {
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMime = std::unique_ptr<curl_mime, CurlMimeDeleter>;

// curl_slist_append returns the new head (or null when out of memory, leaving the old list alone),
// so the list is grown through this owner rather than through a bare unique_ptr.
class CurlSlist {
public:
    bool Append(const char* text)
    {
        curl_slist* head = curl_slist_append(list_.get(), text);
        if (!head)
            return false;
        list_.release();
        list_.reset(head);
        return true;
    }
    curl_slist* get() const { return list_.get(); }

private:
    std::unique_ptr<curl_slist, CurlSlistDeleter> list_;
};
