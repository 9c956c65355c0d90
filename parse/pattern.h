#pragma once
// Compiled regular expressions and the matches they find, held as byte positions.

#include "parse/text.h"

#include <boost/regex.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where one sub-expression of a match lies in the searched text.
struct GroupSpan {
    int32_t start = 0;   // 0-based byte position from the start of the whole text
    int32_t length = 0;  // number of bytes, 0 for an empty span
    int32_t matched = 0; // 1 when the sub-expression took part in the match
};

// One match: element 0 is the whole match, element k is group k.
using Match = std::vector<GroupSpan>;

// The ordered, non-overlapping matches of one search.
using MatchList = std::vector<Match>;

// Where the matches of an expression of one simple shape can lie, read from its text by
// compilePattern: an opener of literal bytes and "." (any byte), then a body of "." and
// ".*?" with at most one ".?" before the ".*?", then a closer of literal bytes; capturing
// groups may stand anywhere. Such an expression can only match where its opener stands,
// and a match ends at the first closer that the body allows (see pattern.cpp).
// searchAll uses it to hand the engine only those ranges; the engine decides every match.
struct SearchShape {
    std::string opener;         // the opener's bytes; '.' marks a byte position that matches any
    std::string wildcards;      // one byte per opener byte: 1 where the opener takes any byte
    std::size_t runOffset = 0;  // the longest run of literal bytes in the opener: its offset
    std::size_t runLength = 0;  // and its length (at least 1)
    std::size_t fixedBody = 0;  // body bytes that every match takes (the plain "." of the body)
    bool optionalFirst = false; // the body has a ".?" before its ".*?"
    std::string closer;
};

// One compiled expression, or none, and the shape of its text when it has one.
struct Pattern {
    std::optional<boost::regex> expression;
    std::optional<SearchShape> shape; // set by compilePattern together with expression
};

// Compiles `patternText` (Perl syntax; icase only when caseSensitive is false).
// On success replaces the held expression and returns true; on refusal leaves
// `pattern` as it was and returns false.
bool compilePattern(Pattern& pattern, const Text& patternText, bool caseSensitive = true);

// Every match of `pattern` in `text`, left to right. Empty when the text is empty or
// the pattern holds no expression; when the engine gives up, the matches found before.
MatchList searchAll(const Pattern& pattern, const Text& text);

// The bytes of the whole match, read from the searched text.
Text matchText(const Match& match, const Text& text);

// The bytes of group `groupIndex` (0 is the whole match); empty when the group took
// no part or the index lies outside the match.
Text groupText(const Match& match, const Text& text, int32_t groupIndex);
