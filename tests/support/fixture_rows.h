#pragma once
// Reading and writing the expected result rows that sit beside each fixture page
// (tests/fixtures/pages/NAME.expected, format described in that folder's README.md).
//
// Header-only so that any test can include it without a change to the support library.

#include <cstddef>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace fixture_rows {

// The rows the result list shows after a fetch of one page, and the selected row.
struct ExpectedRows {
    int selected = -1;
    std::vector<std::string> rows;
};

// One row written as a single ASCII line: "\" as \\, CR as \r, LF as \n, TAB as \t, and
// every other byte below 20H or from 7FH up as \xHH (upper-case hex).
inline std::string escapeRow(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (b < 0x20 || b >= 0x7f) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0x0f];
        } else {
            out += c;
        }
    }
    return out;
}

namespace detail {
inline int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}
} // namespace detail

// The bytes of one escaped line; nothing when the line holds an unknown or cut-short
// escape, or a raw byte that the format always escapes.
inline std::optional<std::string> decodeRow(std::string_view line) {
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const auto b = static_cast<unsigned char>(c);
        if (c != '\\') {
            if (b < 0x20 || b >= 0x7f) {
                return std::nullopt;
            }
            out += c;
            continue;
        }
        if (++i >= line.size()) {
            return std::nullopt;
        }
        switch (line[i]) {
        case '\\':
            out += '\\';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            if (i + 2 >= line.size()) {
                return std::nullopt;
            }
            const int high = detail::hexValue(line[i + 1]);
            const int low = detail::hexValue(line[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// Parses the text of an expected file: "selected: N" on the first line, then one escaped
// row per line, every line ended by LF. Nothing when the text breaks the format.
inline std::optional<ExpectedRows> parseExpected(std::string_view content) {
    std::vector<std::string_view> lines;
    std::size_t from = 0;
    while (from < content.size()) {
        const std::size_t lf = content.find('\n', from);
        if (lf == std::string_view::npos) {
            return std::nullopt; // last line not ended by LF
        }
        lines.push_back(content.substr(from, lf - from));
        from = lf + 1;
    }
    static constexpr std::string_view head = "selected: ";
    if (lines.empty() || lines[0].substr(0, head.size()) != head) {
        return std::nullopt;
    }
    const std::string_view number = lines[0].substr(head.size());
    if (number.empty() || number.size() > 6) {
        return std::nullopt;
    }
    ExpectedRows expected;
    expected.selected = 0;
    for (const char c : number) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        expected.selected = expected.selected * 10 + (c - '0');
    }
    for (std::size_t k = 1; k < lines.size(); ++k) {
        auto row = decodeRow(lines[k]);
        if (!row) {
            return std::nullopt;
        }
        expected.rows.push_back(std::move(*row));
    }
    return expected;
}

// The whole content of a file as bytes; nothing when it cannot be read.
inline std::optional<std::string> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(content).str();
}

// The expected rows of the fixture at `path` (a NAME.expected file).
inline std::optional<ExpectedRows> readExpected(const std::string& path) {
    const auto content = readFileBytes(path);
    if (!content) {
        return std::nullopt;
    }
    return parseExpected(*content);
}

} // namespace fixture_rows
