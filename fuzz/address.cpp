// The canonical form of a page address and the request target that follows from it.
//
// The entry takes the page fetch's own canonical form of the address and checks what
// comes out: only http or https is ever fetched, and only when the address itself names
// that scheme; the host is a plain name; the request target is a path that starts with
// "/", holds no "#", no dot segments, no white space or control bytes; and the canonical
// form is stable when parsed again.

#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"
#include "parse/fetch.h"
#include "parse/text.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

std::optional<std::string> part(CURLU* url, CURLUPart which, unsigned int flags = 0) {
    char* value = nullptr;
    if (curl_url_get(url, which, &value, flags) != CURLUE_OK || value == nullptr) {
        return std::nullopt;
    }
    std::string copy(value);
    curl_free(value);
    return copy;
}

// The page fetch's canonical form of an address, parsed: a handle when it would be
// fetched.
Url canonicalUrl(const Text& address) {
    const Text canonical = canonicalAddress(address);
    if (canonical.empty()) {
        return nullptr;
    }
    Url url(curl_url());
    FUZZ_CHECK(url != nullptr);
    FUZZ_CHECK(curl_url_set(url.get(), CURLUPART_URL, canonical.c_str(), 0) == CURLUE_OK);
    const auto scheme = part(url.get(), CURLUPART_SCHEME);
    FUZZ_CHECK(scheme && (*scheme == "http" || *scheme == "https"));
    return url;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// No blank, no control byte: nothing that could end a request line or start a header.
bool plainBytes(std::string_view text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7f) {
            return false;
        }
    }
    return true;
}

} // namespace

int fuzzAddress(const uint8_t* data, size_t size) {
    // All the bytes, zero bytes included: the fetch itself must stop at the first one.
    const Text address(reinterpret_cast<const char*>(data), size);
    const Url url = canonicalUrl(address);
    if (!url) {
        return 0;
    }

    // The scheme is the one the address itself names: nothing is guessed or defaulted.
    const std::string scheme = *part(url.get(), CURLUPART_SCHEME);
    const std::string_view given(address.c_str());
    const size_t colon = given.find(':');
    FUZZ_CHECK(colon != std::string_view::npos);
    FUZZ_CHECK(lowered(given.substr(0, colon)) == scheme);

    // A host name that cannot carry anything into the request head. (curl decodes
    // escapes in it, so "%7f" gives a DEL byte: harmless there, and so allowed.)
    const auto host = part(url.get(), CURLUPART_HOST);
    FUZZ_CHECK(host && !host->empty());
    FUZZ_CHECK(std::none_of(host->begin(), host->end(),
                            [](char c) { return static_cast<unsigned char>(c) <= 0x20; }));
    FUZZ_CHECK(host->find_first_of("/?#@") == std::string::npos);

    // The request target as curl writes it: the path percent-encoded, the query as it
    // stands. Never a fragment, no dot segments, no control byte.
    const auto path = part(url.get(), CURLUPART_PATH, CURLU_URLENCODE);
    FUZZ_CHECK(path && !path->empty() && path->front() == '/');
    FUZZ_CHECK(plainBytes(*path));
    std::string target = *path;
    if (const auto query = part(url.get(), CURLUPART_QUERY)) {
        FUZZ_CHECK(plainBytes(*query));
        target += "?" + *query;
    }
    FUZZ_CHECK(target.find('#') == std::string::npos);
    const std::string segments = *path + "/";
    FUZZ_CHECK(segments.find("/./") == std::string::npos);
    FUZZ_CHECK(segments.find("/../") == std::string::npos);

    // The canonical form is a fixed point: parsed again it gives itself. (Not trimmed
    // again: "/p ?" leaves the path "/p " once curl drops the empty query.)
    const auto whole = part(url.get(), CURLUPART_URL);
    FUZZ_CHECK(whole.has_value());
    const Url again(curl_url());
    FUZZ_CHECK(again != nullptr);
    FUZZ_CHECK(curl_url_set(again.get(), CURLUPART_URL, whole->c_str(), 0) == CURLUE_OK);
    FUZZ_CHECK(part(again.get(), CURLUPART_URL) == whole);
    return 0;
}
