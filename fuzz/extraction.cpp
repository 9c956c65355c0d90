// The page patterns over arbitrary page bytes. Each search must give exactly the matches
// that a plain reading of its pattern gives (computed here without a regex engine), and
// every search, with the page patterns and with a few patterns that can match empty text,
// must give ordered, non-overlapping matches that lie inside the text, and never throw.

#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"
#include "parse/page_patterns.h"
#include "parse/pattern.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

// Where a match and its group 1 lie, as a plain reading of a page pattern finds them.
struct Expected {
    size_t start, length;           // the whole match
    size_t groupStart, groupLength; // group 1
};

constexpr size_t npos = std::string_view::npos;

// "PREFIX(.*?)';": the earliest PREFIX that some "';" follows; group 1 ends before the
// first "';" after the prefix.
std::vector<Expected> expectedAssignments(std::string_view text, std::string_view prefix) {
    std::vector<Expected> found;
    size_t pos = 0;
    for (;;) {
        const size_t start = text.find(prefix, pos);
        if (start == npos) {
            break;
        }
        const size_t valueStart = start + prefix.size();
        const size_t close = text.find("';", valueStart);
        if (close == npos) {
            break; // no later prefix has a closing quote either
        }
        found.push_back({start, close + 2 - start, valueStart, close - valueStart});
        pos = close + 2;
    }
    return found;
}

// ",size:(.?.*?),status:1": ".?" first takes one byte, then the group runs to the first
// ",status:1" after that byte; only without one does the group stay empty, and then
// ",status:1" must stand right after ",size:".
std::vector<Expected> expectedSizes(std::string_view text) {
    constexpr std::string_view head = ",size:";
    constexpr std::string_view tail = ",status:1";
    std::vector<Expected> found;
    size_t pos = 0;
    for (;;) {
        const size_t start = text.find(head, pos);
        if (start == npos) {
            break;
        }
        const size_t valueStart = start + head.size();
        size_t close = valueStart < text.size() ? text.find(tail, valueStart + 1) : npos;
        if (close == npos && text.substr(valueStart).starts_with(tail)) {
            close = valueStart;
        }
        if (close == npos) {
            break;
        }
        found.push_back({start, close + tail.size() - start, valueStart, close - valueStart});
        pos = close + tail.size();
    }
    return found;
}

// "(http://HOST:8080/.*?.flv)" with each "." of HOST matching any byte: the earliest
// prefix that a "flv" follows with at least one byte between; the match ends with the
// first such "flv".
std::vector<Expected> expectedMedia(std::string_view text) {
    const std::string prefix = "http://" + std::string(mediaHost) + ":8080/";
    const auto prefixAt = [&](size_t at) {
        if (text.size() - at < prefix.size()) {
            return false;
        }
        for (size_t i = 0; i < prefix.size(); ++i) {
            const bool anyByte = i >= 7 && i < 7 + mediaHost.size() && prefix[i] == '.';
            if (!anyByte && text[at + i] != prefix[i]) {
                return false;
            }
        }
        return true;
    };
    std::vector<Expected> found;
    size_t pos = 0;
    for (;;) {
        size_t start = pos;
        while (start < text.size() && !prefixAt(start)) {
            ++start;
        }
        if (start >= text.size()) {
            break;
        }
        const size_t flv = text.find("flv", start + prefix.size() + 1);
        if (flv == npos) {
            break;
        }
        found.push_back({start, flv + 3 - start, start, flv + 3 - start});
        pos = flv + 3;
    }
    return found;
}

// What every search must give, whatever its pattern.
void checkList(const MatchList& matches, const Pattern& pattern, const Text& text,
               std::string_view searched, bool groupsInsideMatch) {
    const size_t groups = pattern.expression->mark_count() + 1;
    size_t previousEnd = 0;
    size_t previousStart = 0;
    bool previousEmpty = false;
    for (size_t k = 0; k < matches.size(); ++k) {
        const Match& match = matches[k];
        FUZZ_CHECK(match.size() == groups);
        const GroupSpan& whole = match[0];
        FUZZ_CHECK(whole.matched == 1);
        FUZZ_CHECK(whole.start >= 0 && whole.length >= 0);
        const auto start = static_cast<size_t>(whole.start);
        const auto length = static_cast<size_t>(whole.length);
        FUZZ_CHECK(start <= searched.size() && length <= searched.size() - start);
        // In order, not overlapping, and moving forward past an empty match.
        if (k > 0) {
            FUZZ_CHECK(start >= previousEnd);
            FUZZ_CHECK(!(previousEmpty && length == 0 && start == previousStart));
        }
        previousStart = start;
        previousEnd = start + length;
        previousEmpty = length == 0;
        FUZZ_CHECK(matchText(match, text) == searched.substr(start, length));

        for (size_t g = 1; g < match.size(); ++g) {
            const GroupSpan& span = match[g];
            const Text got = groupText(match, text, static_cast<int32_t>(g));
            if (span.matched == 0) {
                FUZZ_CHECK(got.empty());
                continue;
            }
            FUZZ_CHECK(span.matched == 1 && span.start >= 0 && span.length >= 0);
            const auto groupStart = static_cast<size_t>(span.start);
            const auto groupLength = static_cast<size_t>(span.length);
            FUZZ_CHECK(groupStart <= searched.size() &&
                       groupLength <= searched.size() - groupStart);
            if (groupsInsideMatch) {
                FUZZ_CHECK(groupStart >= start && groupStart + groupLength <= start + length);
            }
            FUZZ_CHECK(got == searched.substr(groupStart, groupLength));
        }
        FUZZ_CHECK(groupText(match, text, static_cast<int32_t>(match.size())).empty());
        FUZZ_CHECK(groupText(match, text, -1).empty());
    }
}

// Up to this length the engine cannot reach its complexity bound with these patterns,
// so every match must be there; beyond it, it may give up, and then only the matches
// before are kept.
constexpr size_t wholeListLength = 8192;

// The patterns are compiled once: the search is what is fuzzed.
Pattern compiled(const Text& patternText) {
    Pattern pattern;
    FUZZ_CHECK(compilePattern(pattern, patternText));
    return pattern;
}

void checkPagePattern(const Pattern& pattern, const Text& text, std::string_view searched,
                      const std::vector<Expected>& expected) {
    MatchList matches;
    try {
        matches = searchAll(pattern, text);
    } catch (...) {
        ::fuzz::fail("searchAll threw", __FILE__, __LINE__);
    }
    checkList(matches, pattern, text, searched, true);
    if (searched.size() <= wholeListLength) {
        FUZZ_CHECK(matches.size() == expected.size());
    } else {
        FUZZ_CHECK(matches.size() <= expected.size());
    }
    for (size_t k = 0; k < matches.size(); ++k) {
        const Match& match = matches[k];
        FUZZ_CHECK(match.size() == 2);
        FUZZ_CHECK(static_cast<size_t>(match[0].start) == expected[k].start);
        FUZZ_CHECK(static_cast<size_t>(match[0].length) == expected[k].length);
        FUZZ_CHECK(match[1].matched == 1);
        FUZZ_CHECK(static_cast<size_t>(match[1].start) == expected[k].groupStart);
        FUZZ_CHECK(static_cast<size_t>(match[1].length) == expected[k].groupLength);
    }
}

// Patterns that can match empty text or look around, where only the general properties
// hold (a look-ahead group may lie outside its match).
constexpr const char* edgePatternTexts[] = {
    "a*", "(b)|(c)?", "^", "$", "\\b", "x*?", "(?=(.flv))", "(?<=a)b", "(a|)(b*)", "^.*?$",
};
constexpr size_t edgePatternCount = sizeof edgePatternTexts / sizeof edgePatternTexts[0];

} // namespace

int fuzzExtraction(const uint8_t* data, size_t size) {
    // The page as fetched: zero bytes included; the searches end at the first one.
    const Text text(reinterpret_cast<const char*>(data), size);
    const std::string_view searched(text.c_str());

    static const Pattern title = compiled(titlePatternText);
    static const Pattern desc = compiled(descPatternText);
    static const Pattern sizes = compiled(sizePatternText);
    static const Pattern media = compiled(mediaPatternText());
    static const std::vector<Pattern> edges = [] {
        std::vector<Pattern> all;
        for (const char* patternText : edgePatternTexts) {
            all.push_back(compiled(patternText));
        }
        return all;
    }();

    checkPagePattern(title, text, searched, expectedAssignments(searched, "var G_MOVIE_TITLE = '"));
    checkPagePattern(desc, text, searched, expectedAssignments(searched, "var G_OTHER_DESC='"));
    checkPagePattern(sizes, text, searched, expectedSizes(searched));
    checkPagePattern(media, text, searched, expectedMedia(searched));

    if (size > 0) {
        const Pattern& pattern = edges[data[0] % edgePatternCount];
        MatchList matches;
        try {
            matches = searchAll(pattern, text);
        } catch (...) {
            ::fuzz::fail("searchAll threw", __FILE__, __LINE__);
        }
        checkList(matches, pattern, text, searched, false);
    }
    // No expression: nothing found, whatever the text.
    FUZZ_CHECK(searchAll(Pattern{}, text).empty());
    return 0;
}
