// Long use of the real window in-process: thousands of clicks on one page must leave the
// resident memory where it was and the list right; and after a server that misbehaves,
// the window goes on working.

#include "parse/fetch.h"
#include "support/fixture_rows.h"
#include "support/loopback_server.h"
#include "support/widget_helpers.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <fstream>
#include <string>

namespace {

using End = ScriptedReply::End;

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

// VmRSS of this process in KiB; -1 when it cannot be read.
long long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::stoll(line.substr(6));
        }
    }
    return -1;
}

// The memory in use that the run is judged by, in KiB: VmRSS. Under AddressSanitizer
// the allocator keeps freed memory mapped (its quarantine and free lists grow the resident
// size with no leak at all), so there it is the allocator's own count of live heap bytes.
long long inUseKiB() {
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return residentKiB();
#endif
}

constexpr int warmUpClicks = 100;
constexpr int measuredClicks = 2000;
// Far above what allocator noise and Qt's caches move; a leak of 4 KiB or more per click
// (a page, a connection, a client handle) goes over it. Smaller leaks are the leak
// checker's part in the sanitizer run.
constexpr long long allowedGrowthKiB = 8 * 1024;

} // namespace

class LongRunTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void manyClicksKeepMemoryAndRows();
    void windowWorksAfterAHostileServer_data();
    void windowWorksAfterAHostileServer();

private:
    void click() { window->按钮1->click(); }

    std::unique_ptr<LoopbackServer> proxy;
    QPointer<MainWindow> window;
    std::string page;
    QList<QByteArray> expectedRows;
    int expectedSelection = -1;
};

void LongRunTest::initTestCase() {
    const auto fixture = fixture_rows::readFileBytes(MORVANE_FIXTURES_DIR "/pages/seven_rows.page");
    const auto expected =
        fixture_rows::readExpected(MORVANE_FIXTURES_DIR "/pages/seven_rows.expected");
    QVERIFY(fixture && expected);
    page = *fixture;
    expectedRows = toList(expected->rows);
    expectedSelection = expected->selected;
    QCOMPARE(expectedRows.size(), 7);

    proxy = std::make_unique<LoopbackServer>();
    qputenv("http_proxy", QByteArray::fromStdString(proxy->origin()));
    qunsetenv("no_proxy");
}

void LongRunTest::init() {
    proxy->clearRequests();
    proxy->setAnswerBeforeRequest(false);
    proxy->setReply({httpResponse(200, page), End::Close});
    window = new MainWindow();
    window->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->编辑框1->setText(QStringLiteral("http://v.morvane.test/v/30/30418.shtml"));
    window->选择框1->setChecked(false);
}

void LongRunTest::cleanup() {
    setFetchTimeouts(FetchTimeouts{});
    delete window.data();
}

void LongRunTest::manyClicksKeepMemoryAndRows() {
    // Each click must fetch once; the server's record is emptied as the run goes, so
    // that it does not grow with the run.
    const auto clickOnce = [this](int n) {
        click();
        const size_t fetched = proxy->requests().size();
        proxy->clearRequests();
        return fetched == 1 ? true : (qWarning("click %d: %zu requests", n, fetched), false);
    };

    for (int n = 0; n < warmUpClicks; ++n) {
        QVERIFY(clickOnce(n));
    }
    QCOMPARE(listRows(), expectedRows);
    const long long residentBefore = residentKiB();
    const long long before = inUseKiB();
    QVERIFY(residentBefore > 0 && before > 0);

    QElapsedTimer timer;
    timer.start();
    for (int n = 0; n < measuredClicks; ++n) {
        QVERIFY(clickOnce(n));
    }
    const qint64 elapsedMs = timer.elapsed();
    const long long residentAfter = residentKiB();
    const long long after = inUseKiB();

    qInfo("%d clicks in %lld ms: %.2f ms per click", measuredClicks,
          static_cast<long long>(elapsedMs), static_cast<double>(elapsedMs) / measuredClicks);
    qInfo("VmRSS %lld KiB before, %lld KiB after (%+lld KiB)", residentBefore, residentAfter,
          residentAfter - residentBefore);
#if defined(__SANITIZE_ADDRESS__)
    qInfo("live heap %lld KiB before, %lld KiB after (%+lld KiB)", before, after, after - before);
#endif
    QVERIFY2(after - before < allowedGrowthKiB,
             qPrintable(QStringLiteral("memory in use grew by %1 KiB").arg(after - before)));
    QCOMPARE(listRows(), expectedRows);
    QCOMPARE(selectedRow(), expectedSelection);
}

void LongRunTest::windowWorksAfterAHostileServer_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("speaksFirst");
    QTest::addColumn<QByteArrayList>("rows"); // what the click on the hostile reply shows

    const QByteArray chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    QTest::newRow("binary bytes in place of a reply")
        << QByteArray(2048, '\xC3') << static_cast<int>(End::Close) << false
        << QByteArrayList{"", ""};
    QTest::newRow("another protocol speaks first")
        << QByteArray("220 mail.example.test ESMTP\r\n") << static_cast<int>(End::Close) << true
        << QByteArrayList{"", ""};
    QTest::newRow("head line of 5 MiB")
        << "HTTP/1.0 200 OK\r\nX-Big: " + QByteArray(5 * 1024 * 1024, 'h') + "\r\n\r\nbody"
        << static_cast<int>(End::Close) << false << QByteArrayList{"", ""};
    // The part that arrived before the broken chunk is the page.
    QTest::newRow("broken chunk after a title")
        << chunkedHead + "1b\r\nvar G_MOVIE_TITLE = 'Part';\r\nzz\r\nrest\r\n"
        << static_cast<int>(End::Close) << false << QByteArrayList{"Part", ""};
    QTest::newRow("redirect to file://")
        << QByteArray::fromStdString(
               httpResponse(302, "moved", "Location: file:///etc/hostname\r\n"))
        << static_cast<int>(End::Close) << false << QByteArrayList{"", ""};
    QTest::newRow("stalls after part of the page")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\nvar G_OTHER_DESC='Stalled';")
        << static_cast<int>(End::Stall) << false << QByteArrayList{"", "Stalled"};
}

void LongRunTest::windowWorksAfterAHostileServer() {
    QFETCH(QByteArray, reply);
    QFETCH(int, end);
    QFETCH(bool, speaksFirst);
    QFETCH(QByteArrayList, rows);
    // A stalled reply would hold the click for the client's minute: lowered for the row.
    setFetchTimeouts({2, 2});
    proxy->setAnswerBeforeRequest(speaksFirst);
    proxy->setReply({reply.toStdString(), static_cast<End>(end)});

    click();

    QCOMPARE(listRows(), rows);
    QCOMPARE(selectedRow(), static_cast<int>(rows.size()) - 1);
    QVERIFY(window->isVisible() && window->按钮1->isEnabled());

    // The next click on a good page works as ever.
    proxy->setAnswerBeforeRequest(false);
    proxy->setReply({httpResponse(200, page), End::Close});
    click();
    QCOMPARE(listRows(), expectedRows);
    QCOMPARE(selectedRow(), expectedSelection);
}

QTEST_MAIN(LongRunTest)
#include "test_long_run.moc"
