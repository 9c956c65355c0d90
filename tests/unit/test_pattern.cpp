// Compiling and searching with the page patterns: what each of the four fixed patterns
// takes from a page, the mechanics of collecting all matches, and a search the engine
// gives up on.

#include "parse/page_patterns.h"
#include "parse/pattern.h"

#include <QByteArray>
#include <QList>
#include <QTest>

#include <stdexcept>
#include <string>

namespace {

Text toText(const QByteArray& bytes) {
    return Text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray toBytes(const Text& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// "start:length:matched" for every span, spans joined by ",", matches by ";".
QByteArray describe(const MatchList& matches) {
    QByteArray out;
    for (const Match& match : matches) {
        if (!out.isEmpty()) {
            out += ';';
        }
        for (std::size_t k = 0; k < match.size(); ++k) {
            if (k > 0) {
                out += ',';
            }
            out += QByteArray::number(match[k].start) + ':' + QByteArray::number(match[k].length) +
                   ':' + QByteArray::number(match[k].matched);
        }
    }
    return out;
}

Pattern compiled(const Text& patternText, bool caseSensitive = true) {
    Pattern pattern;
    if (!compilePattern(pattern, patternText, caseSensitive)) {
        qFatal("pattern refused: %s", patternText.c_str());
    }
    return pattern;
}

const QByteArray mediaPrefix = "http://media.morvane.test:8080/";

} // namespace

class TestPattern : public QObject {
    Q_OBJECT

private slots:
    void pagePatterns_data();
    void pagePatterns();
    void searchMechanics_data();
    void searchMechanics();
    void groupAndMatchText();
    void emptyInputsGiveEmptyList();
    void refusedPatternKeepsPrevious_data();
    void refusedPatternKeepsPrevious();
    void patternTextEndsAtZeroByte();
    void engineGivesUpKeepsEarlierMatches();
};

void TestPattern::pagePatterns_data() {
    QTest::addColumn<QByteArray>("patternText");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QList<QByteArray>>("wholeMatches");
    QTest::addColumn<QList<QByteArray>>("groups");

    const QByteArray title = titlePatternText;
    const QByteArray desc = descPatternText;
    const QByteArray size = sizePatternText;
    const QByteArray media = toBytes(mediaPatternText());
    using L = QList<QByteArray>;

    QTest::newRow("title spanning two lines")
        << title << QByteArray("<script>\r\nvar G_MOVIE_TITLE = 'Tide Tables\r\nVolume Two';\r\n")
        << L{"var G_MOVIE_TITLE = 'Tide Tables\r\nVolume Two';"} << L{"Tide Tables\r\nVolume Two"};
    QTest::newRow("title assigned twice, both in order")
        << title << QByteArray("var G_MOVIE_TITLE = 'First';\nvar G_MOVIE_TITLE = 'Second';\n")
        << L{"var G_MOVIE_TITLE = 'First';", "var G_MOVIE_TITLE = 'Second';"}
        << L{"First", "Second"};
    QTest::newRow("empty title") << title << QByteArray("x var G_MOVIE_TITLE = ''; y")
                                 << L{"var G_MOVIE_TITLE = '';"} << L{""};
    QTest::newRow("title holding a lone quote and semicolon")
        << title << QByteArray("var G_MOVIE_TITLE = 'Rock 'n' Roll; Live';")
        << L{"var G_MOVIE_TITLE = 'Rock 'n' Roll; Live';"} << L{"Rock 'n' Roll; Live"};
    QTest::newRow("title without blanks around =")
        << title << QByteArray("var G_MOVIE_TITLE='Harbour';") << L{} << L{};
    QTest::newRow("title never closed")
        << title << QByteArray("var G_MOVIE_TITLE = 'Open\n") << L{} << L{};
    QTest::newRow("description") << desc << QByteArray("var G_OTHER_DESC='Evening walk.';\n")
                                 << L{"var G_OTHER_DESC='Evening walk.';"} << L{"Evening walk."};
    QTest::newRow("description with blanks around =")
        << desc << QByteArray("var G_OTHER_DESC = 'Evening walk.';") << L{} << L{};
    QTest::newRow("description in GBK kept as bytes")
        << desc << QByteArray("var G_OTHER_DESC='\xB8\xDB\xBF\xDA Palvero';")
        << L{"var G_OTHER_DESC='\xB8\xDB\xBF\xDA Palvero';"} << L{"\xB8\xDB\xBF\xDA Palvero"};

    QTest::newRow("size 12 status 1")
        << size << QByteArray("{id:1,size:12,status:1}") << L{",size:12,status:1"} << L{"12"};
    QTest::newRow("three sizes in order")
        << size
        << QByteArray("{a:1,size:1,status:1},{a:2,size:22,status:1},{a:3,size:333,status:1}")
        << L{",size:1,status:1", ",size:22,status:1", ",size:333,status:1"} << L{"1", "22", "333"};
    QTest::newRow("status 2 runs on to the next status 1")
        << size << QByteArray(",size:12,status:2,size:5,status:1")
        << L{",size:12,status:2,size:5,status:1"} << L{"12,status:2,size:5"};
    QTest::newRow("status 2 alone") << size << QByteArray("{id:1,size:9,status:2}") << L{} << L{};
    QTest::newRow("empty value, nothing later")
        << size << QByteArray("{id:3,size:,status:1}") << L{",size:,status:1"} << L{""};
    // The first byte after ",size:" is taken by ".?" whenever some ",status:1" follows
    // it, so the empty fragment swallows everything up to the later fragment's status.
    QTest::newRow("empty value, later value 7")
        << size << QByteArray("{id:3,size:,status:1},{id:4,size:7,status:1}")
        << L{",size:,status:1},{id:4,size:7,status:1"} << L{",status:1},{id:4,size:7"};

    QTest::newRow("media address")
        << media << QByteArray("<a href=\"" + mediaPrefix + "v/1/a.flv\">1</a>")
        << L{mediaPrefix + "v/1/a.flv"} << L{mediaPrefix + "v/1/a.flv"};
    QTest::newRow("two media addresses in order")
        << media << QByteArray(mediaPrefix + "p1.flv|" + mediaPrefix + "p2.flv")
        << L{mediaPrefix + "p1.flv", mediaPrefix + "p2.flv"}
        << L{mediaPrefix + "p1.flv", mediaPrefix + "p2.flv"};
    QTest::newRow("FLV in capitals runs on to lower-case flv")
        << media
        << QByteArray("<a href='" + mediaPrefix + "v/2/A.FLV'>x</a>\n<a href='" + mediaPrefix +
                      "v/2/b.flv'>")
        << L{mediaPrefix + "v/2/A.FLV'>x</a>\n<a href='" + mediaPrefix + "v/2/b.flv"}
        << L{mediaPrefix + "v/2/A.FLV'>x</a>\n<a href='" + mediaPrefix + "v/2/b.flv"};
    QTest::newRow("FLV in capitals only")
        << media << QByteArray(mediaPrefix + "v/2/A.FLV") << L{} << L{};
    QTest::newRow("nothing between :8080/ and flv")
        << media << QByteArray("<a href=\"" + mediaPrefix + "flv\">") << L{} << L{};
    QTest::newRow("one byte between :8080/ and flv")
        << media << QByteArray(mediaPrefix + "xflv") << L{mediaPrefix + "xflv"}
        << L{mediaPrefix + "xflv"};
    QTest::newRow("host differing only at its dots")
        << media << QByteArray("http://media-morvane_test:8080/v/3/c.flv")
        << L{"http://media-morvane_test:8080/v/3/c.flv"}
        << L{"http://media-morvane_test:8080/v/3/c.flv"};
    QTest::newRow("host differing elsewhere")
        << media << QByteArray("http://media.morvane.tesx:8080/v/3/c.flv") << L{} << L{};
    QTest::newRow("GBK bytes in the path kept")
        << media << QByteArray(mediaPrefix + "\xC6\xAC\xB6\xCE.flv")
        << L{mediaPrefix + "\xC6\xAC\xB6\xCE.flv"} << L{mediaPrefix + "\xC6\xAC\xB6\xCE.flv"};
}

void TestPattern::pagePatterns() {
    QFETCH(QByteArray, patternText);
    QFETCH(QByteArray, page);
    QFETCH(QList<QByteArray>, wholeMatches);
    QFETCH(QList<QByteArray>, groups);

    const Pattern pattern = compiled(toText(patternText));
    const Text text = toText(page);
    const MatchList matches = searchAll(pattern, text);

    QList<QByteArray> foundWhole;
    QList<QByteArray> foundGroups;
    for (const Match& match : matches) {
        QCOMPARE(match.size(), std::size_t{2});
        QCOMPARE(match[1].matched, 1);
        // What a span records must be exactly where its bytes lie in the page.
        QCOMPARE(toBytes(matchText(match, text)), page.mid(match[0].start, match[0].length));
        foundWhole << toBytes(matchText(match, text));
        foundGroups << toBytes(groupText(match, text, 1));
    }
    QCOMPARE(foundWhole, wholeMatches);
    QCOMPARE(foundGroups, groups);
}

void TestPattern::searchMechanics_data() {
    QTest::addColumn<QByteArray>("patternText");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("later matches counted from the text start")
        << QByteArray("b+") << true << QByteArray("aabbbcab") << QByteArray("2:3:1;7:1:1");
    QTest::newRow("matches do not overlap")
        << QByteArray("aa") << true << QByteArray("aaaaa") << QByteArray("0:2:1;2:2:1");
    QTest::newRow("group that took no part") << QByteArray("(a)|(b)") << true << QByteArray("xbya")
                                             << QByteArray("1:1:1,0:0:0,1:1:1;3:1:1,3:1:1,0:0:0");
    QTest::newRow("empty matches move forward")
        << QByteArray("x*") << true << QByteArray("axxb") << QByteArray("0:0:1;1:2:1;3:0:1;4:0:1");
    QTest::newRow("^ takes the search start for the text start")
        << QByteArray("^a") << true << QByteArray("aab") << QByteArray("0:1:1;1:1:1");
    QTest::newRow("$ at every line end")
        << QByteArray("b$") << true << QByteArray("ab\nab") << QByteArray("1:1:1;4:1:1");
    QTest::newRow("dot matches CR and LF")
        << QByteArray("a.b") << true << QByteArray("a\nb a\rb") << QByteArray("0:3:1;4:3:1");
    QTest::newRow("text ends at its first zero byte")
        << QByteArray("ab") << true << QByteArray("ab\0ab", 5) << QByteArray("0:2:1");
    QTest::newRow("case sensitive")
        << QByteArray("flv") << true << QByteArray("A.FLV b.flv") << QByteArray("8:3:1");
    QTest::newRow("case insensitive")
        << QByteArray("flv") << false << QByteArray("A.FLV b.flv") << QByteArray("2:3:1;8:3:1");
    QTest::newRow("no match") << QByteArray("z") << true << QByteArray("abc") << QByteArray();
}

void TestPattern::searchMechanics() {
    QFETCH(QByteArray, patternText);
    QFETCH(bool, caseSensitive);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);

    const Pattern pattern = compiled(toText(patternText), caseSensitive);
    QCOMPARE(describe(searchAll(pattern, toText(text))), expected);
}

void TestPattern::groupAndMatchText() {
    const Pattern pattern = compiled("(a)|(b)(c)?");
    const Text text = "xbya";
    const MatchList matches = searchAll(pattern, text);
    QCOMPARE(matches.size(), std::size_t{2});

    const Match& onB = matches[0]; // "b": group 2 only; group 3 optional and absent
    QCOMPARE(matchText(onB, text), Text("b"));
    QCOMPARE(groupText(onB, text, 0), Text("b"));
    QCOMPARE(onB[1].matched, 0);
    QCOMPARE(groupText(onB, text, 1), Text());
    QCOMPARE(groupText(onB, text, 2), Text("b"));
    QCOMPARE(onB[3].matched, 0);
    QCOMPARE(groupText(onB, text, 3), Text());
    QCOMPARE(groupText(onB, text, 4), Text());
    QCOMPARE(groupText(onB, text, -1), Text());

    const Match& onA = matches[1];
    QCOMPARE(groupText(onA, text, 1), Text("a"));
    QCOMPARE(groupText(onA, text, 2), Text());

    // An empty group that did take part reads as empty as well.
    const Pattern emptyGroup = compiled("<(x*)>");
    const Text brackets = "<>";
    const MatchList empty = searchAll(emptyGroup, brackets);
    QCOMPARE(empty.size(), std::size_t{1});
    QCOMPARE(empty[0][1].matched, 1);
    QCOMPARE(empty[0][1].length, 0);
    QCOMPARE(groupText(empty[0], brackets, 1), Text());
    QCOMPARE(matchText(empty[0], brackets), Text("<>"));
}

void TestPattern::emptyInputsGiveEmptyList() {
    const Pattern anything = compiled("x*");
    QVERIFY(searchAll(anything, Text()).empty());
    QVERIFY(searchAll(anything, Text("\0abc", 4)).empty());

    const Pattern none;
    QVERIFY(searchAll(none, Text("abc")).empty());
}

void TestPattern::refusedPatternKeepsPrevious_data() {
    QTest::addColumn<QByteArray>("refused");
    QTest::newRow("unbalanced (") << QByteArray("(");
    QTest::newRow("unclosed [") << QByteArray("fl[v");
    QTest::newRow("nothing to repeat") << QByteArray("*flv");
    QTest::newRow("reversed range") << QByteArray("a{3,1}");
}

void TestPattern::refusedPatternKeepsPrevious() {
    QFETCH(QByteArray, refused);

    Pattern fresh;
    QVERIFY(!compilePattern(fresh, toText(refused)));
    QVERIFY(!fresh.expression.has_value());
    QVERIFY(searchAll(fresh, "flv").empty());

    Pattern pattern;
    QVERIFY(compilePattern(pattern, "fl."));
    QVERIFY(!compilePattern(pattern, toText(refused)));
    QVERIFY(pattern.expression.has_value());
    QCOMPARE(describe(searchAll(pattern, "a.flv flx")), QByteArray("2:3:1;6:3:1"));
}

void TestPattern::patternTextEndsAtZeroByte() {
    Pattern pattern;
    // Only "fl" is compiled; the unbalanced "(" after the zero byte is never seen.
    QVERIFY(compilePattern(pattern, Text("fl\0(", 4)));
    QCOMPARE(describe(searchAll(pattern, "a.flv")), QByteArray("2:2:1"));
}

void TestPattern::engineGivesUpKeepsEarlierMatches() {
    // Two complete addresses, then 64 KB of media addresses that never end in "flv": the
    // lazy run from every later "http://" reaches to the end of the text, and the engine
    // stops at its complexity bound.
    const std::string first = mediaPrefix.toStdString() + "v/9/part1.flv";
    const std::string second = mediaPrefix.toStdString() + "v/9/part2.flv";
    Text page = "<p>" + first + "</p>\n<p>" + second + "</p>\n";
    const std::size_t tailStart = page.size();
    while (page.size() < 64 * 1024) {
        page += mediaPrefix.toStdString() + "aaaaaaaa ";
    }

    const Pattern media = compiled(mediaPatternText());

    // The same search straight through the engine: it must really give up here, or this
    // test would not reach the give-up path at all.
    bool gaveUp = false;
    try {
        boost::cmatch found;
        const char* const text = page.c_str();
        boost::regex_search(text + tailStart, text + page.size(), found, *media.expression,
                            boost::match_default);
    } catch (const std::runtime_error&) {
        gaveUp = true;
    }
    QVERIFY2(gaveUp, "Boost.Regex finished the search instead of giving up");

    const MatchList matches = searchAll(media, page);
    QCOMPARE(matches.size(), std::size_t{2});
    QCOMPARE(matchText(matches[0], page), first);
    QCOMPARE(matchText(matches[1], page), second);
    QCOMPARE(matches[0][0].start, 3);
}

QTEST_GUILESS_MAIN(TestPattern)
#include "test_pattern.moc"
