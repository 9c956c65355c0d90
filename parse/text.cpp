#include "parse/text.h"

#include <algorithm>
#include <cstring>

namespace {

// The bytes of a text up to its first zero byte.
std::string_view upToZero(std::string_view bytes) {
    const auto zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

} // namespace

Text textLeft(const Text& text, int32_t count) {
    if (count <= 0) {
        return {};
    }
    const std::string_view view = upToZero(text);
    return Text(view.substr(0, std::min<size_t>(view.size(), static_cast<size_t>(count))));
}

int32_t compareText(const Text& a, const Text& b) {
    const std::string_view x = upToZero(a);
    const std::string_view y = upToZero(b);
    const size_t common = std::min(x.size(), y.size());
    // memcmp compares as unsigned char, so bytes >= 0x80 sort after ASCII.
    const int order = common == 0 ? 0 : std::memcmp(x.data(), y.data(), common);
    if (order != 0) {
        return order < 0 ? -1 : 1;
    }
    if (x.size() == y.size()) {
        return 0;
    }
    return x.size() < y.size() ? -1 : 1;
}

Text bytesToText(const Bytes& bytes) {
    return Text(upToZero(bytes));
}

Text bytesToText(Bytes&& bytes) {
    bytes.resize(upToZero(bytes).size());
    return std::move(bytes);
}

Text concatTexts(std::initializer_list<std::string_view> parts) {
    size_t total = 0;
    for (const std::string_view part : parts) {
        total += upToZero(part).size();
    }
    Text joined;
    joined.reserve(total);
    for (const std::string_view part : parts) {
        joined.append(upToZero(part));
    }
    return joined;
}

Bytes textToBytes(const Text& text) {
    return Bytes(upToZero(text));
}
