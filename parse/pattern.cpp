#include "parse/pattern.h"

#include <cstring>
#include <exception>
#include <string_view>

namespace {

// The bytes of `text` up to its first zero byte.
std::string_view untilZero(const Text& text) {
    const std::string_view all(text);
    const auto zero = all.find('\0');
    return zero == std::string_view::npos ? all : all.substr(0, zero);
}

// Bytes that stand for themselves in a Perl-syntax expression wherever they appear
// outside a bracket expression, whatever the options.
bool plainLiteral(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::strchr(" !\"%&',-/:;<=>@_~", c) != nullptr && c != '\0';
}

bool quantifier(char c) {
    return c == '?' || c == '*' || c == '+' || c == '{';
}

// One element of an expression of the searchable shape.
enum class Atom { Literal, Any, Optional, Lazy };

// The shape of `source` when it is a sequence of literal bytes, ".", ".?" and ".*?",
// with plain capturing groups around any part of it, laid out as an opener, a body and
// a closer (see SearchShape). Anything else - classes, escapes, alternation, anchors,
// other repeats, look-around, case folding - has no shape, and searchAll then takes
// the plain loop.
std::optional<SearchShape> shapeOf(std::string_view source, bool caseSensitive) {
    if (!caseSensitive) {
        return std::nullopt;
    }
    std::vector<Atom> atoms;
    std::string bytes; // the byte of each Literal atom, '.' for the others
    int depth = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        const char next = i + 1 < source.size() ? source[i + 1] : '\0';
        if (c == '(') {
            if (next == '?') {
                return std::nullopt; // not a plain capturing group
            }
            ++depth;
        } else if (c == ')') {
            if (--depth < 0 || quantifier(next)) {
                return std::nullopt;
            }
        } else if (c == '.') {
            if (next == '?') {
                const char after = i + 2 < source.size() ? source[i + 2] : '\0';
                if (quantifier(after)) {
                    return std::nullopt; // ".??", ".?+" and the like
                }
                atoms.push_back(Atom::Optional);
                ++i;
            } else if (next == '*') {
                const char after = i + 2 < source.size() ? source[i + 2] : '\0';
                const char third = i + 3 < source.size() ? source[i + 3] : '\0';
                if (after != '?' || quantifier(third)) {
                    return std::nullopt; // greedy ".*", or ".*?" repeated again
                }
                atoms.push_back(Atom::Lazy);
                i += 2;
            } else if (quantifier(next)) {
                return std::nullopt;
            } else {
                atoms.push_back(Atom::Any);
            }
            bytes += '.';
        } else if (plainLiteral(c) && !quantifier(next)) {
            atoms.push_back(Atom::Literal);
            bytes += c;
        } else {
            return std::nullopt;
        }
    }
    if (depth != 0) {
        return std::nullopt;
    }

    SearchShape shape;
    std::size_t i = 0;
    // Opener: literal bytes and single "." up to the first repeat.
    for (; i < atoms.size() && (atoms[i] == Atom::Literal || atoms[i] == Atom::Any); ++i) {
        shape.opener += bytes[i];
        shape.wildcards += atoms[i] == Atom::Any ? '\1' : '\0';
    }
    // Body: "." and exactly one ".*?", with at most one ".?" before the ".*?".
    bool lazySeen = false;
    for (; i < atoms.size() && atoms[i] != Atom::Literal; ++i) {
        if (atoms[i] == Atom::Any) {
            ++shape.fixedBody;
        } else if (atoms[i] == Atom::Optional) {
            if (lazySeen || shape.optionalFirst) {
                return std::nullopt;
            }
            shape.optionalFirst = true;
        } else {
            if (lazySeen) {
                return std::nullopt;
            }
            lazySeen = true;
        }
    }
    // Closer: literal bytes to the end.
    for (; i < atoms.size(); ++i) {
        if (atoms[i] != Atom::Literal) {
            return std::nullopt;
        }
        shape.closer += bytes[i];
    }
    if (!lazySeen || shape.closer.empty()) {
        return std::nullopt;
    }
    // The longest run of literal bytes in the opener is what the search looks for.
    for (std::size_t start = 0; start < shape.opener.size();) {
        std::size_t end = start;
        while (end < shape.opener.size() && shape.wildcards[end] == '\0') {
            ++end;
        }
        if (end - start > shape.runLength) {
            shape.runOffset = start;
            shape.runLength = end - start;
        }
        start = end + 1;
    }
    if (shape.runLength == 0) {
        return std::nullopt;
    }
    return shape;
}

// The first place at or after `from` where `needle` stands in `text`.
std::size_t findBytes(std::string_view text, std::size_t from, std::string_view needle) {
    if (from > text.size() || text.size() - from < needle.size()) {
        return std::string_view::npos;
    }
    const void* found =
        ::memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
    return found == nullptr
               ? std::string_view::npos
               : static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
}

// A part of the searched text, [first, last).
struct Range {
    std::size_t first = 0;
    std::size_t last = 0;
};

// The range in which the next match of an expression of `shape` lies, searching from
// `pos`; none when no match is left.
//
// Such an expression has no anchor, word boundary or look-behind, so the engine gives
// the same match on any range that holds it whole. A match begins where the opener
// stands, at the first such place s at or after pos. Every body byte matches any byte,
// and the body tries its lengths in a fixed order: the ".*?" tries the shortest first,
// so the match ends with the first closer that begins at least p + fixedBody bytes after
// s (p the opener's length). A ".?" before the ".*?" first takes one byte, so the
// closer then has to begin one byte later; only when there is no such closer at all is
// the ".?" left empty, and the closer must then stand right at s + p + fixedBody.
// When no closer fits at s, none fits at any later opener either: the search is over.
std::optional<Range> nextRange(const SearchShape& shape, std::string_view text, std::size_t pos) {
    const std::string_view run(shape.opener.data() + shape.runOffset, shape.runLength);
    const std::size_t openerLength = shape.opener.size();
    std::size_t start = 0;
    for (std::size_t from = pos + shape.runOffset;; from = start + shape.runOffset + 1) {
        const std::size_t found = findBytes(text, from, run);
        if (found == std::string_view::npos) {
            return std::nullopt;
        }
        start = found - shape.runOffset;
        if (text.size() - start < openerLength) {
            return std::nullopt;
        }
        bool opens = true;
        for (std::size_t k = 0; k < openerLength && opens; ++k) {
            opens = shape.wildcards[k] != '\0' || text[start + k] == shape.opener[k];
        }
        if (opens) {
            break;
        }
    }
    const std::size_t bodyStart = start + openerLength;
    const std::size_t shortest = bodyStart + shape.fixedBody;
    const std::size_t closerAt =
        findBytes(text, shortest + (shape.optionalFirst ? 1 : 0), shape.closer);
    if (closerAt != std::string_view::npos) {
        return Range{start, closerAt + shape.closer.size()};
    }
    if (shape.optionalFirst && findBytes(text, shortest, shape.closer) == shortest) {
        return Range{start, shortest + shape.closer.size()};
    }
    return std::nullopt;
}

} // namespace

bool compilePattern(Pattern& pattern, const Text& patternText, bool caseSensitive) {
    const std::string_view source = untilZero(patternText);
    boost::regex::flag_type flags = boost::regex::perl;
    if (!caseSensitive) {
        flags |= boost::regex::icase;
    }
    try {
        // Build the new expression completely before touching the held one, so that a
        // refused text leaves the pattern exactly as it was.
        boost::regex compiled(source.data(), source.data() + source.size(), flags);
        std::optional<SearchShape> shape = shapeOf(source, caseSensitive);
        pattern.expression = std::move(compiled);
        pattern.shape = std::move(shape);
        return true;
    } catch (const boost::regex_error&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

MatchList searchAll(const Pattern& pattern, const Text& text) {
    MatchList matches;
    const std::string_view searched = untilZero(text);
    if (searched.empty() || !pattern.expression) {
        return matches;
    }
    const char* const begin = searched.data();
    const boost::regex& expression = *pattern.expression;

    try {
        std::size_t pos = 0;
        while (pos <= searched.size()) {
            // The engine searches [first, last): the rest of the text, or for an expression
            // with a shape only the range where its next match must lie.
            Range range{pos, searched.size()};
            if (pattern.shape) {
                const std::optional<Range> narrowed = nextRange(*pattern.shape, searched, pos);
                if (!narrowed) {
                    break;
                }
                range = *narrowed;
            }
            boost::cmatch found;
            // No byte before the range is looked at (no match_prev_avail): in the plain
            // loop "^" and word boundaries take pos for the start of a text.
            if (!boost::regex_search(begin + range.first, begin + range.last, found, expression,
                                     boost::match_default)) {
                break;
            }
            Match match;
            const int groupCount = static_cast<int>(found.size());
            match.reserve(found.size());
            for (int k = 0; k < groupCount; ++k) {
                const auto& group = found[k];
                GroupSpan span;
                if (group.matched) {
                    span.start = static_cast<int32_t>(group.first - begin);
                    span.length = static_cast<int32_t>(group.second - group.first);
                    span.matched = 1;
                }
                match.push_back(span);
            }
            matches.push_back(std::move(match));

            const auto matchEnd = static_cast<std::size_t>(found[0].second - begin);
            // An empty match would be found again at the same place for ever: step over
            // one byte so that the search always moves forward.
            pos = found[0].first == found[0].second ? matchEnd + 1 : matchEnd;
        }
    } catch (const std::exception&) {
        // The engine gave up (complexity bound or memory): keep what was found before.
    }
    return matches;
}

Text groupText(const Match& match, const Text& text, int32_t groupIndex) {
    if (groupIndex < 0 || static_cast<std::size_t>(groupIndex) >= match.size()) {
        return {};
    }
    const GroupSpan& span = match[static_cast<std::size_t>(groupIndex)];
    if (span.matched == 0 || span.length < 1 || span.start < 0) {
        return {};
    }
    // Only the span's own bytes are looked at, so that reading the rows of a page costs
    // what the rows hold, not a pass over the page for every row. In the text that was
    // searched a span lies whole before the first zero byte.
    const auto start = static_cast<std::size_t>(span.start);
    const auto length = static_cast<std::size_t>(span.length);
    if (start > text.size() || length > text.size() - start) {
        // The span does not lie in this text: it was not the text that was searched.
        return {};
    }
    const std::string_view bytes(text.data() + start, length);
    if (bytes.find('\0') != std::string_view::npos) {
        return {}; // past the end of the text that was searched
    }
    return Text(bytes);
}

Text matchText(const Match& match, const Text& text) {
    return groupText(match, text, 0);
}
