#include "parse/text.h"

#include <QtTest>

namespace {

QByteArray qbytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string bytes(const QByteArray& a) {
    return std::string(a.constData(), static_cast<size_t>(a.size()));
}

int sign(int32_t value) {
    return (value > 0) - (value < 0);
}

} // namespace

class TestText : public QObject {
    Q_OBJECT
private slots:
    void textLeftCuts_data();
    void textLeftCuts();
    void compareTextOrders_data();
    void compareTextOrders();
    void bytesToTextStopsAtZero_data();
    void bytesToTextStopsAtZero();
    void concatTextsJoins();
    void textToBytesDropsTail();
};

void TestText::textLeftCuts_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray address = "http://v.morvane.test/v/66/66861.shtml";
    QTest::newRow("prefix of a page address")
        << address << 22 << QByteArray("http://v.morvane.test/");
    QTest::newRow("shorter than count") << QByteArray("http://v") << 22 << QByteArray("http://v");
    QTest::newRow("exact length") << QByteArray("abc") << 3 << QByteArray("abc");
    QTest::newRow("count zero") << QByteArray("abc") << 0 << QByteArray();
    QTest::newRow("count negative") << QByteArray("abc") << -5 << QByteArray();
    QTest::newRow("count minimum")
        << QByteArray("abc") << std::numeric_limits<int>::min() << QByteArray();
    QTest::newRow("count maximum")
        << QByteArray("abc") << std::numeric_limits<int>::max() << QByteArray("abc");
    QTest::newRow("empty text") << QByteArray() << 22 << QByteArray();
    // "视" is E8 A7 86 in UTF-8: a cut after its first byte keeps that byte alone.
    QTest::newRow("multi-byte character cut in two")
        << QByteArray("ab\xE8\xA7\x86") << 3 << QByteArray("ab\xE8");
    QTest::newRow("double-byte GBK cut")
        << QByteArray("a\xCA\xD3\xC6\xB5") << 2 << QByteArray("a\xCA");
    QTest::newRow("text ends at zero byte") << QByteArray("ab\0cd", 5) << 4 << QByteArray("ab");
}

void TestText::textLeftCuts() {
    QFETCH(QByteArray, text);
    QFETCH(int, count);
    QFETCH(QByteArray, expected);
    QCOMPARE(qbytes(textLeft(bytes(text), count)), expected);
}

void TestText::compareTextOrders_data() {
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<int>("expectedSign");

    QTest::newRow("equal") << QByteArray("http://v.morvane.test/")
                           << QByteArray("http://v.morvane.test/") << 0;
    QTest::newRow("both empty") << QByteArray() << QByteArray() << 0;
    QTest::newRow("empty before text") << QByteArray() << QByteArray("a") << -1;
    QTest::newRow("text after empty") << QByteArray("a") << QByteArray() << 1;
    QTest::newRow("prefix first") << QByteArray("http://v") << QByteArray("http://v.morvane") << -1;
    QTest::newRow("case matters") << QByteArray("HTTP://") << QByteArray("http://") << -1;
    QTest::newRow("leading blank") << QByteArray(" http") << QByteArray("http") << -1;
    // As signed chars 0x80 and 0xFF would sort before 'a'; as unsigned they sort after.
    QTest::newRow("0x80 after ASCII") << QByteArray("\x80") << QByteArray("a") << 1;
    QTest::newRow("0xFF after 0x7F") << QByteArray("x\xFF") << QByteArray("x\x7F") << 1;
    QTest::newRow("0x80 before 0xFF") << QByteArray("\x80") << QByteArray("\xFF") << -1;
    QTest::newRow("zero byte ends the text") << QByteArray("ab\0zz", 5) << QByteArray("ab") << 0;
    QTest::newRow("bytes after zero ignored")
        << QByteArray("ab\0\xFF", 4) << QByteArray("ab\0\x01", 4) << 0;
}

void TestText::compareTextOrders() {
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(int, expectedSign);
    QCOMPARE(sign(compareText(bytes(a), bytes(b))), expectedSign);
    QCOMPARE(sign(compareText(bytes(b), bytes(a))), -expectedSign);
}

void TestText::bytesToTextStopsAtZero_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("no zero byte") << QByteArray("<html>\xB2\xE2</html>")
                                  << QByteArray("<html>\xB2\xE2</html>");
    QTest::newRow("zero at k=0") << QByteArray("\0page", 5) << QByteArray();
    QTest::newRow("zero in the middle")
        << QByteArray("var t=\"x\";\0rest", 15) << QByteArray("var t=\"x\";");
    QTest::newRow("zero last") << QByteArray("page\0", 5) << QByteArray("page");
    QTest::newRow("several zeros") << QByteArray("a\0b\0c", 5) << QByteArray("a");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestText::bytesToTextStopsAtZero() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    const Bytes kept = bytes(body);
    QCOMPARE(qbytes(bytesToText(kept)), expected);
    QCOMPARE(qbytes(kept), body);                         // copied from, left whole
    QCOMPARE(qbytes(bytesToText(bytes(body))), expected); // taken over and cut in place
}

void TestText::concatTextsJoins() {
    using namespace std::string_view_literals;
    QCOMPARE(qbytes(concatTexts({"http://v.morvane.test/"sv, "v/66/66861.shtml"sv, "  "sv})),
             QByteArray("http://v.morvane.test/v/66/66861.shtml  "));
    QCOMPARE(qbytes(concatTexts({})), QByteArray());
    QCOMPARE(qbytes(concatTexts({""sv, "a"sv, ""sv})), QByteArray("a"));
    // Each part contributes only its bytes before its first zero byte.
    QCOMPARE(qbytes(concatTexts({"ab\0X"sv, "\0Y"sv, "c\xE8"sv})), QByteArray("abc\xE8"));
}

void TestText::textToBytesDropsTail() {
    QCOMPARE(qbytes(textToBytes(std::string("row\r\n\xE8", 6))), QByteArray("row\r\n\xE8"));
    QCOMPARE(qbytes(textToBytes(std::string("row\0tail", 8))), QByteArray("row"));
    QCOMPARE(qbytes(textToBytes(std::string())), QByteArray());
}

QTEST_GUILESS_MAIN(TestText)
#include "test_text.moc"
