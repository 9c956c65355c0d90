// searchAll against the plain search: for expressions of the shape that compilePattern
// recognises, searchAll hands the engine only the range where the next match must lie.
// Over many generated pages every match (every span of every group) must equal what the
// plain loop - the engine searching the whole rest of the text each time - gives,
// wherever that plain loop finishes without the engine giving up.

#include "parse/page_patterns.h"
#include "parse/pattern.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QTest>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>

namespace {

Text toText(const QByteArray& bytes) {
    return Text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// "start:length:matched" for every span, spans joined by ",", matches by ";".
std::string describe(const MatchList& matches) {
    std::string out;
    for (const Match& match : matches) {
        if (!out.empty()) {
            out += ';';
        }
        for (std::size_t k = 0; k < match.size(); ++k) {
            if (k > 0) {
                out += ',';
            }
            out += std::to_string(match[k].start) + ':' + std::to_string(match[k].length) + ':' +
                   std::to_string(match[k].matched);
        }
    }
    return out;
}

struct PlainResult {
    MatchList matches;
    bool gaveUp = false;
};

// The all-matches loop with no narrowing at all: the engine searches from the end of the
// previous match to the end of the text, until it finds nothing or gives up.
PlainResult plainSearch(const boost::regex& expression, const Text& text) {
    PlainResult result;
    const char* const begin = text.c_str();
    const char* const end = begin + text.size();
    std::size_t pos = 0;
    try {
        boost::cmatch found;
        while (pos <= text.size() &&
               boost::regex_search(begin + pos, end, found, expression, boost::match_default)) {
            Match match;
            for (std::size_t k = 0; k < found.size(); ++k) {
                GroupSpan span;
                if (found[static_cast<int>(k)].matched) {
                    span.start = static_cast<int32_t>(found[static_cast<int>(k)].first - begin);
                    span.length = static_cast<int32_t>(found[static_cast<int>(k)].length());
                    span.matched = 1;
                }
                match.push_back(span);
            }
            result.matches.push_back(match);
            const auto matchEnd = static_cast<std::size_t>(found[0].second - begin);
            pos = found[0].first == found[0].second ? matchEnd + 1 : matchEnd;
        }
    } catch (const std::runtime_error&) {
        result.gaveUp = true;
    }
    return result;
}

Pattern compiled(const Text& patternText, bool caseSensitive = true) {
    Pattern pattern;
    if (!compilePattern(pattern, patternText, caseSensitive)) {
        qFatal("pattern refused: %s", patternText.c_str());
    }
    return pattern;
}

// "opener|wildcard mask|fixed body|optional first|closer", or "none".
QByteArray shapeSummary(const Pattern& pattern) {
    if (!pattern.shape) {
        return "none";
    }
    const SearchShape& shape = *pattern.shape;
    QByteArray mask;
    for (const char wildcard : shape.wildcards) {
        mask += wildcard != '\0' ? '1' : '0';
    }
    return QByteArray::fromStdString(shape.opener) + '|' + mask + '|' +
           QByteArray::number(qulonglong(shape.fixedBody)) + '|' +
           (shape.optionalFirst ? "opt" : "-") + '|' + QByteArray::fromStdString(shape.closer);
}

// A page made of random pieces: the given fragments (openers, closers, their near
// misses), single bytes, line breaks, zero-free binary runs and plain words.
Text generatedPage(std::mt19937& random, const QList<QByteArray>& fragments) {
    std::uniform_int_distribution<int> lengthOf(0, 700);
    std::uniform_int_distribution<int> kindOf(0, 9);
    std::uniform_int_distribution<int> byteOf(1, 255);
    std::uniform_int_distribution<int> shortRun(1, 8);
    std::uniform_int_distribution<qsizetype> fragmentOf(0, fragments.size() - 1);
    const char* const breaks[] = {"\n", "\r\n", "\r", "\f"};
    const char* const words[] = {"var ", "size", ",", ":", "'", ";", "http://", "status", " "};

    const auto length = static_cast<std::size_t>(lengthOf(random));
    Text page;
    while (page.size() < length) {
        const int kind = kindOf(random);
        if (kind < 4) {
            page += fragments[fragmentOf(random)].toStdString();
        } else if (kind == 4) {
            page += static_cast<char>(byteOf(random));
        } else if (kind == 5) {
            page += breaks[std::uniform_int_distribution<int>(0, 3)(random)];
        } else if (kind == 6) {
            for (int n = shortRun(random); n > 0; --n) {
                page += static_cast<char>(byteOf(random));
            }
        } else if (kind == 7) {
            page += words[std::uniform_int_distribution<int>(0, 8)(random)];
        } else {
            for (int n = shortRun(random); n > 0; --n) {
                page += static_cast<char>('a' + std::uniform_int_distribution<int>(0, 25)(random));
            }
        }
    }
    return page;
}

} // namespace

class TestSearchDifferential : public QObject {
    Q_OBJECT

private slots:
    void shapeOfPattern_data();
    void shapeOfPattern();
    void generatedPages_data();
    void generatedPages();
    void fixturePages();
    void engineGivesUpOnThePlainSearch_data();
    void engineGivesUpOnThePlainSearch();
};

void TestSearchDifferential::shapeOfPattern_data() {
    QTest::addColumn<QByteArray>("patternText");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QByteArray>("shape");

    // The four page patterns must all be searched through their shape.
    QTest::newRow("title") << QByteArray(titlePatternText) << true
                           << QByteArray("var G_MOVIE_TITLE = '|000000000000000000000|0|-|';");
    QTest::newRow("description") << QByteArray(descPatternText) << true
                                 << QByteArray("var G_OTHER_DESC='|000000000000000000|0|-|';");
    QTest::newRow("size") << QByteArray(sizePatternText) << true
                          << QByteArray(",size:|000000|0|opt|,status:1");
    QTest::newRow("media") << QByteArray::fromStdString(mediaPatternText()) << true
                           << QByteArray("http://media.morvane.test:8080/|"
                                         "0000000000001000000010000000000|1|-|flv");
    QTest::newRow("opener starting with any byte")
        << QByteArray(".k(.*?)k") << true << QByteArray(".k|10|0|-|k");

    // Everything whose matches the narrowing would change, or cannot reason about.
    const QList<QByteArray> unshaped = {
        "^a(.*?)b",    "a(.*?)b$",  "\\ba(.*?)b",  "a(.*?)b|c",    "a(.*)b",       "a[bc](.*?)d",
        "(?:a)(.*?)b", "a(.*?).?b", "a(.?.?.*?)b", "a(.*?)(.*?)b", ".(.*?)b",      "a(.*?)",
        "a(.*?)b.c",   "ab",        "a+(.*?)b",    "(a)?(.*?)b",   "a(.*?)b(?=c)", "a\\.(.*?)b",
        "a(.??.*?)b",  "a(.*?)+b",  "a(.*?)b{2}",  "a(.*?){2}b",   "a(.*?)b)",     "a(.+?)b"};
    for (const QByteArray& text : unshaped) {
        QTest::newRow(text.constData()) << text << true << QByteArray("none");
    }
    QTest::newRow("case folding") << QByteArray("a(.*?)b") << false << QByteArray("none");
}

void TestSearchDifferential::shapeOfPattern() {
    QFETCH(QByteArray, patternText);
    QFETCH(bool, caseSensitive);
    QFETCH(QByteArray, shape);

    Pattern pattern;
    if (!compilePattern(pattern, toText(patternText), caseSensitive)) {
        QCOMPARE(shape, QByteArray("none")); // a refused text never gets a shape
        QVERIFY(!pattern.shape);
        return;
    }
    QCOMPARE(shapeSummary(pattern), shape);

    // Compiling a text without the shape drops the shape of the text before it.
    QVERIFY(compilePattern(pattern, "x|y"));
    QVERIFY(!pattern.shape);
}

void TestSearchDifferential::generatedPages_data() {
    QTest::addColumn<QByteArray>("patternText");
    QTest::addColumn<QList<QByteArray>>("fragments");

    const QByteArray media = QByteArray::fromStdString(mediaPatternText());
    const QByteArray host = "http://media.morvane.test:8080/";
    QTest::newRow("title") << QByteArray(titlePatternText)
                           << QList<QByteArray>{
                                  "var G_MOVIE_TITLE = '",   "var G_MOVIE_TITLE='", "';", "'", ";",
                                  "var G_MOVIE_TITLE = ''';"};
    QTest::newRow("description") << QByteArray(descPatternText)
                                 << QList<QByteArray>{"var G_OTHER_DESC='", "var G_OTHER_DESC = '",
                                                      "';", "'", ";"};
    QTest::newRow("size") << QByteArray(sizePatternText)
                          << QList<QByteArray>{
                                 ",size:",           ",status:1", ",status:2", ",size:,status:1",
                                 ",size:1,status:1", ",status:",  ",size"};
    QTest::newRow("media") << media
                           << QList<QByteArray>{host,
                                                host + "flv",
                                                host + "xflv",
                                                "http://media-morvane_test:8080/",
                                                "http://media.morvane.tesx:8080/",
                                                "http://media.morvane.test:8080",
                                                "flv",
                                                ".flv",
                                                "FLV",
                                                "fl",
                                                "lv"};
    // Small alphabets, so that openers, closers and their overlaps meet often.
    QTest::newRow("closer equal to opener")
        << QByteArray("ab(.*?)ab") << QList<QByteArray>{"a", "b", "ab", "aab", "abab"};
    QTest::newRow("any byte in opener, optional first, overlapping closer")
        << QByteArray("a.a(.?.*?)aa") << QList<QByteArray>{"a", "aa", "aXa", "aaa", "b"};
    QTest::newRow("two fixed body bytes")
        << QByteArray("(x.*?..y)") << QList<QByteArray>{"x", "y", "xy", "xxy", "xyy"};
    QTest::newRow("opener starting with any byte")
        << QByteArray(".k(.*?)k") << QList<QByteArray>{"k", "kk", "kkk", "\nk"};
    QTest::newRow("optional first, closer inside opener")
        << QByteArray("zz(.?.*?)z") << QList<QByteArray>{"z", "zz", "zzz", "zaz"};
}

void TestSearchDifferential::generatedPages() {
    QFETCH(QByteArray, patternText);
    QFETCH(QList<QByteArray>, fragments);

    const Pattern pattern = compiled(toText(patternText));
    QVERIFY2(pattern.shape, "the pattern must take the narrowed search");

    std::mt19937 random(20240611u);
    constexpr int pageCount = 2500;
    int pagesWithMatches = 0;
    int pagesWithSeveral = 0;
    for (int n = 0; n < pageCount; ++n) {
        const Text page = generatedPage(random, fragments);
        const PlainResult plain = plainSearch(*pattern.expression, page);
        const MatchList narrowed = searchAll(pattern, page);
        const QByteArray where = "page " + QByteArray::number(n) + ": " +
                                 QByteArray::fromStdString(page).toPercentEncoding();
        if (plain.gaveUp) {
            // Where the engine gave up, the narrowed search keeps at least what it found.
            QVERIFY2(narrowed.size() >= plain.matches.size(), where.constData());
            const MatchList head(narrowed.begin(),
                                 narrowed.begin() + static_cast<long>(plain.matches.size()));
            QCOMPARE(describe(head), describe(plain.matches));
        } else {
            if (describe(narrowed) != describe(plain.matches)) {
                qWarning("%s", where.constData());
            }
            QCOMPARE(describe(narrowed), describe(plain.matches));
        }
        pagesWithMatches += plain.matches.empty() ? 0 : 1;
        pagesWithSeveral += plain.matches.size() > 1 ? 1 : 0;
    }
    // The generated pages must really exercise matching, not only its absence.
    QVERIFY2(pagesWithMatches > pageCount / 10, QByteArray::number(pagesWithMatches).constData());
    QVERIFY2(pagesWithSeveral > pageCount / 50, QByteArray::number(pagesWithSeveral).constData());
}

void TestSearchDifferential::fixturePages() {
    const QDir dir(QStringLiteral(MORVANE_FIXTURES_DIR "/pages"));
    const QStringList pages = dir.entryList({QStringLiteral("*.page")}, QDir::Files);
    QVERIFY(!pages.isEmpty());
    const QList<Text> patternTexts = {titlePatternText, descPatternText, sizePatternText,
                                      mediaPatternText()};
    for (const QString& name : pages) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Text page = toText(file.readAll());
        for (const Text& patternText : patternTexts) {
            const Pattern pattern = compiled(patternText);
            const PlainResult plain = plainSearch(*pattern.expression, page);
            QVERIFY(!plain.gaveUp);
            QCOMPARE(describe(searchAll(pattern, page)), describe(plain.matches));
        }
    }
}

void TestSearchDifferential::engineGivesUpOnThePlainSearch_data() {
    QTest::addColumn<QByteArray>("patternText");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("filler");
    QTest::addColumn<QByteArray>("lastMatch");

    // Size fragments with no ",status:1" after them, behind two whole ones: from every
    // later ",size:" the plain search runs to the end of the text twice, and the engine
    // stops at its complexity bound. The narrowed search finds the same two and stops.
    QTest::newRow("shaped: sizes without status 1")
        << QByteArray(sizePatternText) << QByteArray("{a:1,size:10,status:1}{a:2,size:20,status:1}")
        << QByteArray("{b:3,size:30,status:2}") << QByteArray(",size:20,status:1");
    // An expression without the shape takes the plain loop, and keeps what the engine
    // found before it gave up.
    QTest::newRow("unshaped: alternation")
        << QByteArray("x(.*?)y|q") << QByteArray("q-q-") << QByteArray("x ") << QByteArray("q");
}

void TestSearchDifferential::engineGivesUpOnThePlainSearch() {
    QFETCH(QByteArray, patternText);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, filler);
    QFETCH(QByteArray, lastMatch);

    Text page = toText(head);
    while (page.size() < 128 * 1024) {
        page += toText(filler);
    }
    const Pattern pattern = compiled(toText(patternText));
    const PlainResult plain = plainSearch(*pattern.expression, page);
    QVERIFY2(plain.gaveUp, "the engine finished the plain search instead of giving up");

    const MatchList matches = searchAll(pattern, page);
    QCOMPARE(describe(matches), describe(plain.matches));
    QCOMPARE(matches.size(), std::size_t{2});
    QCOMPARE(matchText(matches[1], page), toText(lastMatch));
}

QTEST_GUILESS_MAIN(TestSearchDifferential)
#include "test_search_differential.moc"
