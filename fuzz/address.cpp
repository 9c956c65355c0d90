// The canonical form of a page address and the request target that follows from it.
//
// The page fetch keeps its address parsing to itself, so this entry repeats it step for
// step (trailing white space removed, curl_url with CURLU_ALLOW_SPACE, http and https
// only) and checks what comes out: only http or https is ever fetched, and only when the
// address itself names that scheme; the host is a plain name; the request target is a
// path that starts with "/", holds no "#", no dot segments, no white space or control
// bytes; and the canonical form is stable when parsed again.

#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"
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

// The page fetch's parsing of an address: a handle when it would be fetched.
Url canonicalAddress(const Text& address) {
    std::string_view text(address);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return nullptr;
    }
    const std::string trimmed(text);
    Url url(curl_url());
    FUZZ_CHECK(url != nullptr);
    if (curl_url_set(url.get(), CURLUPART_URL, trimmed.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK) {
        return nullptr;
    }
    const auto scheme = part(url.get(), CURLUPART_SCHEME);
    if (!scheme || (*scheme != "http" && *scheme != "https")) {
        return nullptr;
    }
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
bool plainBytes(std::string_view text, bool blanksAllowed = false) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || (b == 0x20 && !blanksAllowed)) {
            return false;
        }
    }
    return true;
}

} // namespace

int fuzzAddress(const uint8_t* data, size_t size) {
    // An address is a Text: it ends at its first zero byte. (The page fetch trims the
    // white space at the end of all its bytes, so a blank before a zero byte would reach
    // curl; the box never holds a zero byte, and the entry keeps to the Text.)
    const Text address(reinterpret_cast<const char*>(data),
                       std::find(data, data + size, uint8_t{0}) - data);
    const Url url = canonicalAddress(address);
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
        // A blank in the query goes out as it is (a request line with a blank inside
        // its target); the one thing that must never get through is a control byte.
        FUZZ_CHECK(plainBytes(*query, true));
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
    FUZZ_CHECK(curl_url_set(again.get(), CURLUPART_URL, whole->c_str(), CURLU_ALLOW_SPACE) ==
               CURLUE_OK);
    FUZZ_CHECK(part(again.get(), CURLUPART_URL) == whole);
    return 0;
}
