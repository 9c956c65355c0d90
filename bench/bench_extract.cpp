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
#include <string>
#include <vector>

namespace {

// The four page patterns. Without their shapes, searchAll runs the plain all-matches loop:
// the engine searches the whole rest of the page each time, with no narrowing.
struct PagePatterns {
    Pattern title, desc, size, media;
    explicit PagePatterns(bool narrowed) {
        compilePattern(title, titlePatternText);
        compilePattern(desc, descPatternText);
        compilePattern(size, sizePatternText);
        compilePattern(media, mediaPatternText());
        if (!narrowed) {
            for (Pattern* pattern : {&title, &desc, &size, &media}) {
                pattern->shape.reset();
            }
        }
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

// The four searches and the rows: as the click runs them with the shapes, as the plain
// loop does without.
std::vector<Text> extractRows(const PagePatterns& p, const Text& page) {
    const MatchList titles = searchAll(p.title, page);
    const MatchList descs = searchAll(p.desc, page);
    const MatchList sizes = searchAll(p.size, page);
    const MatchList media = searchAll(p.media, page);
    return rowsFrom(titles, descs, sizes, media, page);
}

std::string sizeName(std::size_t bytes) {
    if (bytes >= (1u << 20)) {
        return std::to_string(bytes >> 20) + "M";
    }
    return std::to_string(bytes >> 10) + "K";
}

} // namespace

int main(int argc, char** argv) {
    static const PagePatterns patterns(true);
    static const PagePatterns plainPatterns(false);
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
        const std::vector<Text> rows = extractRows(patterns, page);
        if (rows != referenceRows(page)) {
            std::fprintf(stderr, "%s: the reference scanner gives other rows\n", name.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s: %zu rows\n", name.c_str(), rows.size());
        const auto bytes = static_cast<int64_t>(page.size());
        benchmark::RegisterBenchmark(("extract/" + name).c_str(),
                                     [&page, bytes](benchmark::State& state) {
                                         for (auto _ : state) {
                                             benchmark::DoNotOptimize(extractRows(patterns, page));
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
                                                     extractRows(plainPatterns, page));
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
