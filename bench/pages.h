#pragma once
// Generated video pages for the benchmarks: realistic pages and the shapes on which the
// plain search grows with the square of the page size.

#include "parse/text.h"

#include <cstddef>
#include <string>
#include <vector>

enum class PageKind {
    Realistic,      // HTML with links, scripts, size fragments and FLV addresses
    SizesNoStatus1, // size fragments whose status is never 1 after the first two
    MediaNoFlv,     // media-host addresses with no "flv" after the first two
    OrdinaryMp4     // a realistic page whose media files all end in ".mp4"
};

const char* pageKindName(PageKind kind);
std::vector<PageKind> allPageKinds();

// A page of about `bytes` bytes (never a zero byte), the same for the same arguments.
Text generatePage(PageKind kind, std::size_t bytes);
