// Every fixture page against the rows written beside it: the four page patterns are run
// over the page and the rows are built in list order (title, description, sizes, media
// addresses), then compared with NAME.expected.

#include "parse/page_patterns.h"
#include "parse/pattern.h"
#include "support/fixture_rows.h"

#include <QByteArray>
#include <QDir>
#include <QTest>

#include <algorithm>
#include <string>
#include <vector>

namespace {

QString pagesDir() {
    return QStringLiteral(MORVANE_FIXTURES_DIR "/pages");
}

struct PageRows {
    std::vector<Text> rows;
    int selected = -1;
};

// The rows the result list gets from one page, and the row then selected.
PageRows rowsForPage(const Text& page) {
    Pattern title;
    Pattern desc;
    Pattern size;
    Pattern media;
    compilePattern(title, titlePatternText);
    compilePattern(desc, descPatternText);
    compilePattern(size, sizePatternText);
    compilePattern(media, mediaPatternText());

    const MatchList titles = searchAll(title, page);
    const MatchList descs = searchAll(desc, page);
    const MatchList sizes = searchAll(size, page);
    const MatchList addresses = searchAll(media, page);

    PageRows out;
    out.rows.push_back(titles.empty() ? Text() : groupText(titles.front(), page, 1));
    out.rows.push_back(descs.empty() ? Text() : groupText(descs.front(), page, 1));
    for (const Match& match : sizes) {
        out.rows.push_back(groupText(match, page, 1));
    }
    for (const Match& match : addresses) {
        out.rows.push_back(matchText(match, page));
    }
    out.selected = std::min(5, static_cast<int>(out.rows.size()) - 1);
    return out;
}

QByteArray escaped(const std::string& bytes) {
    return QByteArray::fromStdString(fixture_rows::escapeRow(bytes));
}

} // namespace

class TestPageFixtures : public QObject {
    Q_OBJECT

private slots:
    void escapeFormat_data();
    void escapeFormat();
    void malformedExpectedRefused_data();
    void malformedExpectedRefused();
    void fixtureRows_data();
    void fixtureRows();
};

void TestPageFixtures::escapeFormat_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("plain ASCII") << QByteArray("Harbour 'Lights'; 50%")
                                 << QByteArray("Harbour 'Lights'; 50%");
    QTest::newRow("named escapes") << QByteArray("a\\b\r\nc\td") << QByteArray("a\\\\b\\r\\nc\\td");
    QTest::newRow("other control bytes and DEL")
        << QByteArray("\x01\x1F\x7F", 3) << QByteArray("\\x01\\x1F\\x7F");
    QTest::newRow("GBK bytes") << QByteArray("\xB8\xDB\xBF\xDA")
                               << QByteArray("\\xB8\\xDB\\xBF\\xDA");
    QTest::newRow("zero byte") << QByteArray("a\0b", 3) << QByteArray("a\\x00b");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestPageFixtures::escapeFormat() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, line);

    QCOMPARE(escaped(bytes.toStdString()), line);
    const auto decoded = fixture_rows::decodeRow(line.toStdString());
    QVERIFY(decoded.has_value());
    QCOMPARE(QByteArray::fromStdString(*decoded), bytes);
}

void TestPageFixtures::malformedExpectedRefused_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("no selected line") << QByteArray("Harbour\n");
    QTest::newRow("selected not a number") << QByteArray("selected: five\nA\n");
    QTest::newRow("last line without LF") << QByteArray("selected: 0\nA");
    QTest::newRow("unknown escape") << QByteArray("selected: 0\na\\qb\n");
    QTest::newRow("cut-short hex escape") << QByteArray("selected: 0\na\\xB\n");
    QTest::newRow("bad hex digit") << QByteArray("selected: 0\na\\xG1\n");
    QTest::newRow("lone backslash at the end") << QByteArray("selected: 0\na\\\n");
    QTest::newRow("raw high byte") << QByteArray("selected: 0\n\xB8\xDB\n");
    QTest::newRow("raw CR") << QByteArray("selected: 0\nab\r\n");
}

void TestPageFixtures::malformedExpectedRefused() {
    QFETCH(QByteArray, content);
    QVERIFY(!fixture_rows::parseExpected(content.toStdString()).has_value());
}

void TestPageFixtures::fixtureRows_data() {
    QTest::addColumn<QString>("pagePath");
    QTest::addColumn<QString>("expectedPath");

    const QDir dir(pagesDir());
    const QStringList pages = dir.entryList({QStringLiteral("*.page")}, QDir::Files, QDir::Name);
    // The fixtures the other tests rely on must all be there.
    for (const char* name : {"gbk_crlf", "utf8", "seven_rows", "title_desc_only", "empty",
                             "not_found", "title_multiline", "sizes_status", "flv_capitals"}) {
        QVERIFY2(pages.contains(QString::fromLatin1(name) + QStringLiteral(".page")), name);
    }
    for (const QString& page : pages) {
        const QString name = page.chopped(5);
        QTest::newRow(qPrintable(name))
            << dir.filePath(page) << dir.filePath(name + QStringLiteral(".expected"));
    }
}

void TestPageFixtures::fixtureRows() {
    QFETCH(QString, pagePath);
    QFETCH(QString, expectedPath);

    const auto page = fixture_rows::readFileBytes(pagePath.toStdString());
    QVERIFY2(page.has_value(), qPrintable(pagePath));
    const auto expected = fixture_rows::readExpected(expectedPath.toStdString());
    QVERIFY2(expected.has_value(),
             qPrintable(expectedPath + QStringLiteral(": missing or malformed")));

    const PageRows actual = rowsForPage(*page);

    QList<QByteArray> actualLines;
    for (const Text& row : actual.rows) {
        actualLines << escaped(row);
    }
    QList<QByteArray> expectedLines;
    for (const std::string& row : expected->rows) {
        expectedLines << escaped(row);
    }
    QCOMPARE(actualLines, expectedLines);
    QCOMPARE(actual.selected, expected->selected);
}

QTEST_GUILESS_MAIN(TestPageFixtures)
#include "test_page_fixtures.moc"
