#include "app/probe.h"

#include "parse/fetch.h"

#include <curl/curl.h>

#include <cstdlib>
#include <ifaddrs.h>
#include <net/if.h>
#include <string_view>

namespace {

bool proxyConfigured() {
    // The variables curl takes its proxy from (all_proxy also in capitals).
    for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// Ends the transfer at the blank line that closes the first final response head:
// the head is all the probe waits for, the body is never read.
size_t onProbeHeader(char* data, size_t size, size_t count, void* user) {
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (line == "\r\n" || line == "\n") {
        long code = 0;
        curl_easy_getinfo(static_cast<CURL*>(user), CURLINFO_RESPONSE_CODE, &code);
        if (code >= 200) {
            return 0;
        }
    }
    return length;
}

size_t onProbeBody(char*, size_t, size_t, void*) {
    return 0; // not reached when the head ended the transfer; never read a body
}

} // namespace

bool networkConnectionUp() {
    if (proxyConfigured()) {
        return true;
    }
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        return false;
    }
    bool up = false;
    for (const ifaddrs* entry = interfaces; entry != nullptr && !up; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        up = (flags & IFF_LOOPBACK) == 0 && (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0;
    }
    freeifaddrs(interfaces);
    return up;
}

int32_t probeAddress(const std::string& url) {
    if (!networkConnectionUp()) {
        return 0;
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        return 0;
    }
    int32_t result = 0;
    CURL* handle = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    curl_slist* more =
        headers == nullptr ? nullptr : curl_slist_append(headers, "Cache-Control: no-cache");
    if (handle != nullptr && more != nullptr) {
        headers = more;
        const FetchTimeouts limits; // the desktop client's defaults, so it cannot hang for ever
        bool ready = true;
        auto set = [&ready](CURLcode code) { ready = ready && code == CURLE_OK; };
        set(curl_easy_setopt(handle, CURLOPT_URL, url.c_str()));
        set(curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L));
        set(curl_easy_setopt(handle, CURLOPT_USERAGENT, "test"));
        set(curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers));
        set(curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https"));
        set(curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L));
        set(curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds));
        set(curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L));
        set(curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.idleSeconds));
        set(curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onProbeHeader));
        set(curl_easy_setopt(handle, CURLOPT_HEADERDATA, handle));
        set(curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onProbeBody));
        if (ready) {
            const CURLcode code = curl_easy_perform(handle);
            long status = 0;
            curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
            result = (code == CURLE_WRITE_ERROR || code == CURLE_OK) && status > 0 ? 1 : 0;
        }
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(handle);
    curl_global_cleanup();
    return result;
}

int32_t probeConnection() {
    return probeAddress(probeUrl);
}
