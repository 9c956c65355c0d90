#include "bench/reference_scanner.h"

#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::size_t find(std::string_view text, std::size_t from, std::string_view needle) {
    if (from > text.size()) {
        return npos;
    }
    const void* hit =
        ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
    return hit == nullptr ? npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

// Every value between `opener` and the first "';" after it, in order.
std::vector<std::string_view> quoted(std::string_view page, std::string_view opener) {
    std::vector<std::string_view> values;
    for (std::size_t pos = 0;;) {
        const std::size_t start = find(page, pos, opener);
        if (start == npos) {
            break;
        }
        const std::size_t value = start + opener.size();
        const std::size_t close = find(page, value, "';");
        if (close == npos) {
            break;
        }
        values.push_back(page.substr(value, close - value));
        pos = close + 2;
    }
    return values;
}

// ",size:" then the first ",status:1" at least one byte on; only when there is none, a
// ",status:1" right after ",size:".
std::vector<std::string_view> sizes(std::string_view page) {
    constexpr std::string_view opener = ",size:";
    constexpr std::string_view closer = ",status:1";
    std::vector<std::string_view> values;
    for (std::size_t pos = 0;;) {
        const std::size_t start = find(page, pos, opener);
        if (start == npos) {
            break;
        }
        const std::size_t value = start + opener.size();
        std::size_t close = find(page, value + 1, closer);
        if (close == npos) {
            if (page.substr(value, closer.size()) != closer) {
                break;
            }
            close = value;
        }
        values.push_back(page.substr(value, close - value));
        pos = close + closer.size();
    }
    return values;
}

// "http://media" + any byte + "morvane" + any byte + "test:8080/", then at least one
// byte, then the first "flv".
std::vector<std::string_view> mediaAddresses(std::string_view page) {
    constexpr std::size_t openerLength = std::string_view("http://media.morvane.test:8080/").size();
    std::vector<std::string_view> addresses;
    for (std::size_t pos = 0;;) {
        const std::size_t start = find(page, pos, "http://media");
        if (start == npos || page.size() - start < openerLength) {
            break;
        }
        if (page.substr(start + 13, 7) != "morvane" ||
            page.substr(start + 21, 10) != "test:8080/") {
            pos = start + 1;
            continue;
        }
        const std::size_t close = find(page, start + openerLength + 1, "flv");
        if (close == npos) {
            break;
        }
        addresses.push_back(page.substr(start, close + 3 - start));
        pos = close + 3;
    }
    return addresses;
}

} // namespace

std::vector<Text> referenceRows(const Text& text) {
    std::string_view page(text);
    page = page.substr(0, page.find('\0'));
    std::vector<Text> rows;
    const auto titles = quoted(page, "var G_MOVIE_TITLE = '");
    const auto descs = quoted(page, "var G_OTHER_DESC='");
    const auto sizeValues = sizes(page);
    const auto addresses = mediaAddresses(page);
    rows.emplace_back(titles.empty() ? std::string_view() : titles.front());
    rows.emplace_back(descs.empty() ? std::string_view() : descs.front());
    for (const std::string_view value : sizeValues) {
        rows.emplace_back(value);
    }
    for (const std::string_view address : addresses) {
        rows.emplace_back(address);
    }
    return rows;
}
