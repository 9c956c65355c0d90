// readSizeFor over arbitrary header values, against a plain reading of the rule: leading
// white space, an optional sign, the digits up to the first non-digit (0 when none); 10240
// for a value of 0 or less, value + 1 up to 102400, else 102400.

#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"
#include "parse/fetch.h"

#include <string>
#include <string_view>

namespace {

int32_t expectedReadSize(std::string_view value) {
    size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || (value[i] >= '\t' && value[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    // Compare the digits as text, so that any length works without overflow.
    while (i < value.size() && value[i] == '0') {
        ++i;
    }
    std::string digits;
    while (i < value.size() && value[i] >= '0' && value[i] <= '9') {
        digits += value[i++];
    }
    if (digits.empty() || negative) {
        return 10240;
    }
    if (digits.size() > 6) {
        return 102400;
    }
    const long number = std::stol(digits);
    return number + 1 <= 102400 ? static_cast<int32_t>(number + 1) : 102400;
}

} // namespace

int fuzzContentLength(const uint8_t* data, size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    // A header value reaches readSizeFor as a C string: it ends at the first zero byte.
    const std::string_view seen(value.c_str());

    const int32_t readSize = readSizeFor(value.c_str());
    FUZZ_CHECK(readSize >= 1 && readSize <= 102400);
    FUZZ_CHECK(readSize == expectedReadSize(seen));
    FUZZ_CHECK(readSizeFor(nullptr) == 10240);
    return 0;
}
