#include "parse/fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

namespace {

constexpr long maxRedirects = 10;
constexpr int32_t defaultReadSize = 0x2800;  // 10240: no usable Content-Length
constexpr int32_t largestReadSize = 0x19000; // 102400
// The most room taken on the word of a Content-Length before any of the body arrived.
constexpr long long firstRoomLimit = 1LL << 30;

std::mutex contextMutex;
FetchTimeouts timeouts;

// The client context of the run: libcurl's global state plus a share of the name
// cache. Connections are never shared: every fetch opens and closes its own.
bool globalReady = false;
CURLSH* share = nullptr;

bool openContext() {
    if (share != nullptr) {
        return true;
    }
    if (!globalReady) {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            return false;
        }
        globalReady = true;
    }
    share = curl_share_init();
    if (share == nullptr) {
        return false;
    }
    if (curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK) {
        curl_share_cleanup(share);
        share = nullptr;
        return false;
    }
    return true;
}

struct EasyHandle {
    CURL* handle = curl_easy_init();
    ~EasyHandle() { curl_easy_cleanup(handle); }
};

struct UrlHandle {
    CURLU* handle = curl_url();
    ~UrlHandle() { curl_url_cleanup(handle); }
};

struct HeaderList {
    curl_slist* list = nullptr;
    bool add(const char* line) {
        curl_slist* grown = curl_slist_append(list, line);
        if (grown == nullptr) {
            return false;
        }
        list = grown;
        return true;
    }
    ~HeaderList() { curl_slist_free_all(list); }
};

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view trimmedValue(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back()))) {
        value.remove_suffix(1);
    }
    return value;
}

// A Content-Length that frames the body: digits only, around blanks.
long long framingLength(std::string_view value) {
    value = trimmedValue(value);
    if (value.empty() || value.size() > 18) {
        return -1;
    }
    long long length = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            return -1;
        }
        length = length * 10 + (c - '0');
    }
    return length;
}

// What one transfer gathers. The head fields describe the latest response head that
// arrived (interim and redirect heads come first and are replaced).
struct Transfer {
    Bytes body;
    int32_t readSize = defaultReadSize;
    long long declaredLength = -1; // a Content-Length usable as framing, else -1
    bool persistent = false;       // the server keeps the connection open after the body
    bool chunked = false;
    bool redirect = false; // a 3xx head with a Location, which curl follows
    long status = 0;
    bool outOfMemory = false;
};

// The body is read to the connection's close (curl is told to ignore Content-Length,
// see fetchPage). Should a server keep the connection open anyway, its declared length
// is the only end of the body there is: stop there instead of waiting for the idle
// time-out.
size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (startsWithNoCase(line, "HTTP/")) {
        transfer->readSize = defaultReadSize;
        transfer->declaredLength = -1;
        transfer->chunked = false;
        transfer->redirect = false;
        transfer->persistent =
            !startsWithNoCase(line, "HTTP/1.0") && !startsWithNoCase(line, "HTTP/0");
        transfer->status = 0;
        const size_t blank = line.find(' ');
        for (size_t i = blank + 1; blank != std::string_view::npos && i < line.size() &&
                                   line[i] >= '0' && line[i] <= '9' && transfer->status < 1000;
             ++i) {
            transfer->status = transfer->status * 10 + (line[i] - '0');
        }
    } else if (line == "\r\n" || line == "\n") {
        // End of a head. A final, persistent, framed response that declares no body
        // at all would otherwise hold the transfer until the idle time-out.
        const bool interim =
            transfer->status < 200 ||
            (transfer->redirect && transfer->status >= 300 && transfer->status < 400);
        if (!interim && transfer->persistent && !transfer->chunked &&
            transfer->declaredLength == 0) {
            return 0; // ends the transfer; there is no body to wait for
        }
    } else if (startsWithNoCase(line, "Location:")) {
        transfer->redirect = true;
    } else if (startsWithNoCase(line, "Content-Length:")) {
        const std::string_view value = line.substr(std::strlen("Content-Length:"));
        try {
            const std::string copy(value);
            transfer->readSize = readSizeFor(copy.c_str());
        } catch (const std::bad_alloc&) {
            transfer->outOfMemory = true;
            return 0;
        }
        transfer->declaredLength = framingLength(value);
    } else if (startsWithNoCase(line, "Connection:") ||
               startsWithNoCase(line, "Proxy-Connection:")) {
        const std::string_view value = trimmedValue(line.substr(line.find(':') + 1));
        if (startsWithNoCase(value, "close")) {
            transfer->persistent = false;
        } else if (startsWithNoCase(value, "keep-alive")) {
            transfer->persistent = true;
        }
    } else if (startsWithNoCase(line, "Transfer-Encoding:")) {
        transfer->chunked = true;
    }
    return length;
}

// The room the body needs for `length` more bytes: at least double what it has, and
// never less than one more read size, so that a long body is moved a few times, not
// once per read.
size_t grownCapacity(const Bytes& body, size_t length, size_t readSize) {
    size_t room = std::max(body.capacity() + readSize, 2 * body.capacity());
    while (room < body.size() + length) {
        room += readSize;
    }
    return room;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    size_t length = size * count;
    const bool framed = transfer->persistent && !transfer->chunked && transfer->declaredLength >= 0;
    if (framed) {
        const auto wanted = static_cast<size_t>(transfer->declaredLength);
        length = std::min(length, wanted - std::min(wanted, transfer->body.size()));
    }
    try {
        Bytes& body = transfer->body;
        if (body.empty() && transfer->declaredLength > 0 &&
            transfer->declaredLength <= firstRoomLimit) {
            // Room for the whole declared body at once, so that it is never moved. Only
            // address space until written; should even that be refused, the body just
            // grows as it arrives.
            try {
                body.reserve(static_cast<size_t>(transfer->declaredLength));
            } catch (const std::bad_alloc&) {
            }
        }
        if (body.capacity() - body.size() < length) {
            body.reserve(grownCapacity(body, length, static_cast<size_t>(transfer->readSize)));
        }
        body.append(data, length);
    } catch (const std::bad_alloc&) {
        transfer->outOfMemory = true;
        return 0;
    }
    if (framed && transfer->body.size() >= static_cast<size_t>(transfer->declaredLength)) {
        return 0; // ends the transfer; the body is whole
    }
    return size * count;
}

// Canonical form of the address in a URL handle: the text up to its first zero byte,
// trailing white space gone, dot segments resolved, nothing decoded. A blank left inside
// goes on the wire as %20, in the query as in the path: in a request line a bare blank
// would end the target early. Only http and https pass.
bool parseAddress(const Text& address, CURLU* url) {
    std::string_view text(address.c_str());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return false;
    }
    std::string canonical;
    canonical.reserve(text.size());
    for (const char c : text) {
        if (c == ' ') {
            canonical += "%20";
        } else {
            canonical += c;
        }
    }
    if (curl_url_set(url, CURLUPART_URL, canonical.c_str(), 0) != CURLUE_OK) {
        return false;
    }
    char* scheme = nullptr;
    if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
        return false;
    }
    const bool web = std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0;
    curl_free(scheme);
    return web;
}

Bytes fetch(const Text& address) {
    if (address.empty()) {
        return {};
    }
    UrlHandle url;
    if (url.handle == nullptr || !parseAddress(address, url.handle)) {
        return {};
    }
    FetchTimeouts limits;
    CURLSH* context = nullptr;
    {
        std::lock_guard lock(contextMutex);
        if (!openContext()) {
            return {};
        }
        limits = timeouts;
        context = share;
    }
    EasyHandle easy;
    HeaderList headers;
    // "Proxy-Connection:" with no value stops curl from asking a proxy to keep the
    // connection alive: with HTTP/1.0 every hop then closes after the body.
    if (easy.handle == nullptr || !headers.add("Accept: */*") || !headers.add("Pragma: no-cache") ||
        !headers.add("Cache-Control: no-cache") || !headers.add("Proxy-Connection:")) {
        return {};
    }
    Transfer transfer;
    CURL* h = easy.handle;
    bool ready = true;
    auto set = [&ready](CURLcode code) { ready = ready && code == CURLE_OK; };
    set(curl_easy_setopt(h, CURLOPT_SHARE, context));
    set(curl_easy_setopt(h, CURLOPT_CURLU, url.handle));
    set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(h, CURLOPT_MAXREDIRS, maxRedirects));
    set(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0)));
    set(curl_easy_setopt(h, CURLOPT_USERAGENT, pageUserAgent));
    set(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.list));
    // The proxy comes from the environment (http_proxy, all_proxy, no_proxy) as curl
    // reads it. The proxy user name and password are left unset: set to empty texts,
    // curl would send empty Proxy-Authorization credentials to every proxy.
    set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L));
    set(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L));
    // curl rejects a response whose Content-Length is not a number; the body must
    // still arrive whole, and the declared length must not cut it. Read to the close.
    set(curl_easy_setopt(h, CURLOPT_IGNORE_CONTENT_LENGTH, 1L));
    set(curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L));
    set(curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L));
    set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds));
    // Idle time-out: below 1 byte/s for idleSeconds (curl averages the speed over a few
    // seconds, so after a burst the wait can run some seconds longer).
    set(curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L));
    set(curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.idleSeconds));
    // Each read hands over up to the largest read size (curl's own default is 16 KB).
    set(curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(largestReadSize)));
    set(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader));
    set(curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer));
    set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody));
    set(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
    if (!ready) {
        return {};
    }
    // The result code is not looked at: whatever body arrived is the result, whole or
    // cut short (a reset, an early close, the idle time-out). Failures before the body
    // leave it empty. A redirect loop stops after maxRedirects; redirect bodies are
    // never delivered, so it gives empty Bytes.
    curl_easy_perform(h);
    if (transfer.outOfMemory) {
        return {};
    }
    return std::move(transfer.body);
}

} // namespace

int32_t readSizeFor(const char* contentLength) {
    if (contentLength == nullptr) {
        return defaultReadSize;
    }
    const char* p = contentLength;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value < LLONG_MAX / 100) { // saturates far above any read size
            value = value * 10 + (*p - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value <= 0) {
        return defaultReadSize;
    }
    if (value + 1 <= largestReadSize) {
        return static_cast<int32_t>(value + 1);
    }
    return largestReadSize;
}

Text canonicalAddress(const Text& address) {
    try {
        UrlHandle url;
        char* whole = nullptr;
        if (url.handle == nullptr || !parseAddress(address, url.handle) ||
            curl_url_get(url.handle, CURLUPART_URL, &whole, 0) != CURLUE_OK) {
            return {};
        }
        Text canonical(whole);
        curl_free(whole);
        return canonical;
    } catch (...) {
        return {};
    }
}

Bytes fetchPage(const Text& address) {
    try {
        return fetch(address);
    } catch (...) {
        return {};
    }
}

void setFetchTimeouts(const FetchTimeouts& newTimeouts) {
    std::lock_guard lock(contextMutex);
    timeouts = newTimeouts;
}

void closeFetchContext() {
    std::lock_guard lock(contextMutex);
    if (share != nullptr) {
        curl_share_cleanup(share);
        share = nullptr;
    }
    if (globalReady) {
        curl_global_cleanup();
        globalReady = false;
    }
}
