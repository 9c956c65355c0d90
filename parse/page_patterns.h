#pragma once
// The four fixed patterns that read a video page.

#include "parse/site.h"
#include "parse/text.h"

inline constexpr const char* titlePatternText = "var G_MOVIE_TITLE = '(.*?)';";
inline constexpr const char* descPatternText = "var G_OTHER_DESC='(.*?)';";
inline constexpr const char* sizePatternText = ",size:(.?.*?),status:1";

// mediaHost goes in as written: each "." of it matches any one byte.
inline Text mediaPatternText() {
    return concatTexts({"(http://", mediaHost, ":8080/.*?.flv)"});
}
