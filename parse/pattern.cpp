#include "parse/pattern.h"

#include <exception>
#include <string_view>

namespace {

// The bytes of `text` up to its first zero byte.
std::string_view untilZero(const Text& text) {
    const std::string_view all(text);
    const auto zero = all.find('\0');
    return zero == std::string_view::npos ? all : all.substr(0, zero);
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
        pattern.expression = std::move(compiled);
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
    const char* const end = begin + searched.size();
    const boost::regex& expression = *pattern.expression;

    try {
        std::size_t pos = 0;
        while (pos <= searched.size()) {
            boost::cmatch found;
            // The range starts at pos: "^" and word boundaries take pos for the start of a
            // text, and no byte before pos is looked at (no match_prev_avail).
            if (!boost::regex_search(begin + pos, end, found, expression, boost::match_default)) {
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
    const std::string_view searched = untilZero(text);
    const auto start = static_cast<std::size_t>(span.start);
    const auto length = static_cast<std::size_t>(span.length);
    if (start > searched.size() || length > searched.size() - start) {
        // The span does not lie in this text: it was not the text that was searched.
        return {};
    }
    return Text(searched.substr(start, length));
}

Text matchText(const Match& match, const Text& text) {
    return groupText(match, text, 0);
}
