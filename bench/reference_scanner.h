#pragma once
// The floor for the extraction benchmarks: the rows of a page found with memmem alone,
// written for the four page patterns only. It gives the same rows as the regular
// expressions (the benchmark checks that on every page before timing it).

#include "parse/text.h"

#include <vector>

// Title, description, every size value, every media address, in list order; the title
// and description rows are empty when the page has none.
std::vector<Text> referenceRows(const Text& page);
