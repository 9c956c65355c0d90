// Extraction benchmarks: the four page patterns searched over a page and the result rows
// built from the matches, as the click does it, beside the memmem reference scanner and
// (where it finishes in reasonable time) the plain all-matches loop without narrowing.

#include "bench/pages.h"
#include "bench/reference_scanner.h"
#include "parse/page_patterns.h"
#include "parse/pattern.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct PagePatterns {
    Pattern title, desc, size, media;
    PagePatterns() {
        compilePattern(title, titlePatternText);
        compilePattern(desc, descPatternText);
        compilePattern(size, sizePatternText);
        compilePattern(media, mediaPatternText());
    }
};

std::vector<Text> rowsFrom(const MatchList& titles, const MatchList& descs, const MatchList& sizes,
                           const MatchList& media, const Text& page) {
    std::vector<Text> rows;
    rows.push_back(titles.empty() ? Text() : groupText(titles.front(), page, 1));
    rows.push_back(descs.empty() ? Text() : groupText(descs.front(), page, 1));
    for (const Match& match : sizes) {
        rows.push_back(groupText(match, page, 1));
    }
    for (const Match& match : media) {
        rows.push_back(matchText(match, page));
    }
    return rows;
}

// The four searches with `search`, then the rows.
template <typename Search>
std::vector<Text> rowsBy(Search search, const PagePatterns& p, const Text& page) {
    const MatchList titles = search(p.title, page);
    const MatchList descs = search(p.desc, page);
    const MatchList sizes = search(p.size, page);
    const MatchList media = search(p.media, page);
    return rowsFrom(titles, descs, sizes, media, page);
}

// The four searches and the rows, as the click runs them.
std::vector<Text> productRows(const PagePatterns& p, const Text& page) {
    return rowsBy(searchAll, p, page);
}

// The all-matches loop with the engine searching the whole rest of the page each time,
// as searchAll does for expressions without a shape.
MatchList plainSearch(const Pattern& pattern, const Text& page) {
    MatchList matches;
    const char* const begin = page.c_str();
    const char* const end = begin + page.size();
    std::size_t pos = 0;
    try {
        boost::cmatch found;
        while (pos <= page.size() &&
               boost::regex_search(begin + pos, end, found, *pattern.expression)) {
            Match match(found.size());
            for (std::size_t k = 0; k < found.size(); ++k) {
                const auto& group = found[static_cast<int>(k)];
                if (group.matched) {
                    match[k] = {static_cast<int32_t>(group.first - begin),
                                static_cast<int32_t>(group.length()), 1};
                }
            }
            matches.push_back(std::move(match));
            pos = static_cast<std::size_t>(found[0].second - begin);
        }
    } catch (const std::exception&) {
        // gave up: keep what was found
    }
    return matches;
}

std::vector<Text> plainRows(const PagePatterns& p, const Text& page) {
    return rowsBy(plainSearch, p, page);
}

std::string sizeName(std::size_t bytes) {
    if (bytes >= (1u << 20)) {
        return std::to_string(bytes >> 20) + "M";
    }
    return std::to_string(bytes >> 10) + "K";
}

} // namespace

int main(int argc, char** argv) {
    static const PagePatterns patterns;
    static std::deque<Text> pages;

    struct Case {
        PageKind kind;
        std::size_t bytes;
        bool plainToo;
    };
    std::vector<Case> cases;
    for (const std::size_t bytes :
         {std::size_t{100} << 10, std::size_t{1} << 20, std::size_t{10} << 20}) {
        cases.push_back({PageKind::Realistic, bytes, true});
    }
    for (const PageKind kind :
         {PageKind::SizesNoStatus1, PageKind::MediaNoFlv, PageKind::OrdinaryMp4}) {
        for (const std::size_t bytes :
             {std::size_t{64} << 10, std::size_t{1} << 20, std::size_t{10} << 20}) {
            // The plain loop is quadratic on these shapes: time it at the smallest size only.
            cases.push_back({kind, bytes, bytes <= (std::size_t{64} << 10)});
        }
    }

    for (const Case& c : cases) {
        const Text& page = pages.emplace_back(generatePage(c.kind, c.bytes));
        const std::string name = std::string(pageKindName(c.kind)) + "/" + sizeName(c.bytes);
        // The rows must be the same before any of them is timed.
        const std::vector<Text> rows = productRows(patterns, page);
        if (rows != referenceRows(page)) {
            std::fprintf(stderr, "%s: the reference scanner gives other rows\n", name.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s: %zu rows\n", name.c_str(), rows.size());
        const auto bytes = static_cast<int64_t>(page.size());
        benchmark::RegisterBenchmark(("extract/" + name).c_str(),
                                     [&page, bytes](benchmark::State& state) {
                                         for (auto _ : state) {
                                             benchmark::DoNotOptimize(productRows(patterns, page));
                                         }
                                         state.SetBytesProcessed(state.iterations() * bytes);
                                     })
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("reference/" + name).c_str(),
                                     [&page, bytes](benchmark::State& state) {
                                         for (auto _ : state) {
                                             benchmark::DoNotOptimize(referenceRows(page));
                                         }
                                         state.SetBytesProcessed(state.iterations() * bytes);
                                     })
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
        if (c.plainToo) {
            benchmark::RegisterBenchmark(("plain/" + name).c_str(),
                                         [&page, bytes](benchmark::State& state) {
                                             for (auto _ : state) {
                                                 benchmark::DoNotOptimize(
                                                     plainRows(patterns, page));
                                             }
                                             state.SetBytesProcessed(state.iterations() * bytes);
                                         })
                ->UseRealTime()
                ->Unit(benchmark::kMicrosecond);
        }
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
