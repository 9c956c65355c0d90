// A click on "获取地址" through the real widgets: the address check, the fetch through
// the system's proxy, and the rows that a page gives.

#include "app/app_state.h"
#include "support/fixture_rows.h"
#include "support/loopback_server.h"
#include "support/network_helpers.h"
#include "support/widget_helpers.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <atomic>

namespace {

const QString refusal = QStringLiteral(
    "您输入的视频地址不正确，请重新输入。\n示例：http://v.morvane.test/v/66/66861.shtml  ");

} // namespace

class ClickTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addressIsCheckedThenFetched_data();
    void addressIsCheckedThenFetched();
    void fixturePagesGiveTheirRows_data();
    void fixturePagesGiveTheirRows();
    void failedFetchGivesTwoEmptyRows();
    void clickQueuedDuringTheFetchRunsNested();
    void pageOnWhichTheEngineGivesUpKeepsTheWindowUsable();
    void windowClosedDuringTheClickEndsQuietly();

private:
    void click() { window->按钮1->click(); }

    std::unique_ptr<LoopbackServer> proxy;
    QPointer<MainWindow> window;
};

void ClickTest::initTestCase() {
    proxy = std::make_unique<LoopbackServer>();
    qputenv("http_proxy", QByteArray::fromStdString(proxy->origin()));
    qunsetenv("no_proxy");
}

void ClickTest::init() {
    proxy->clearRequests();
    proxy->setReply({httpResponse(200, "<html></html>"), ScriptedReply::End::Close});
    window = new MainWindow();
    window->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void ClickTest::cleanup() {
    delete window.data();
}

void ClickTest::addressIsCheckedThenFetched_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QByteArray>("target"); // empty: refused with the message
    QTest::newRow("page address") << "http://v.morvane.test/v/38/38534.shtml"
                                  << QByteArray("http://v.morvane.test/v/38/38534.shtml");
    QTest::newRow("exactly the prefix is the root page")
        << "http://v.morvane.test/" << QByteArray("http://v.morvane.test/");
    QTest::newRow("fragment is never sent") << "http://v.morvane.test/v/1/1.shtml#part2"
                                            << QByteArray("http://v.morvane.test/v/1/1.shtml");
    QTest::newRow("trailing blanks are not sent")
        << "http://v.morvane.test/v/1/1.shtml   "
        << QByteArray("http://v.morvane.test/v/1/1.shtml");
    QTest::newRow("dot segments resolved") << "http://v.morvane.test/v/38/../39/./2.shtml?x=1"
                                           << QByteArray("http://v.morvane.test/v/39/2.shtml?x=1");
    QTest::newRow("scheme in capitals") << "HTTP://v.morvane.test/v/1/1.shtml" << QByteArray();
    QTest::newRow("leading blank") << " http://v.morvane.test/v/1/1.shtml" << QByteArray();
    QTest::newRow("shorter than the prefix") << "http://v.morvane.test" << QByteArray();
    QTest::newRow("empty box") << "" << QByteArray();
    QTest::newRow("another site") << "http://www.example.test/v/1/1.shtml" << QByteArray();
    QTest::newRow("https is another prefix") << "https://v.morvane.test/v/1.shtml" << QByteArray();
}

void ClickTest::addressIsCheckedThenFetched() {
    QFETCH(QString, box);
    QFETCH(QByteArray, target);
    appState.pageText = "earlier page";
    addRow("stale row");
    window->编辑框1->setText(box);

    const MessageBoxAnswerer seen;
    click();

    QCOMPARE(QByteArray::fromStdString(appState.urlPrefix), box.toUtf8().left(22));
    if (target.isEmpty()) {
        QVERIFY(seen->seen);
        QCOMPARE(seen->text, refusal);
        QCOMPARE(seen->title, QString());
        QCOMPARE(seen->icon, QMessageBox::Critical);
        QCOMPARE(rowCount(), 0);                           // cleared before the check
        QCOMPARE(appState.pageText, Text("earlier page")); // nothing fetched
        QCOMPARE(proxy->requests().size(), size_t(0));
        QCOMPARE(selectedRow(), -1);
        return;
    }
    QVERIFY(!seen->seen);
    const auto requests = proxy->requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(QByteArray::fromStdString(requests[0].method + " " + requests[0].target + " " +
                                       requests[0].version),
             "GET " + target + " HTTP/1.0");
    QCOMPARE(requests[0].header("Host"), std::string("v.morvane.test"));
    QCOMPARE(appState.pageText, Text("<html></html>"));
    QCOMPARE(listRows(), (QList<QByteArray>{"", ""}));
}

void ClickTest::fixturePagesGiveTheirRows_data() {
    QTest::addColumn<QString>("name");
    const QDir pages(QStringLiteral(MORVANE_FIXTURES_DIR "/pages"));
    const QStringList names = pages.entryList({QStringLiteral("*.page")}, QDir::Files);
    QVERIFY(names.size() >= 6);
    for (const QString& page : names) {
        const QString name = page.chopped(5);
        QTest::newRow(name.toUtf8()) << pages.filePath(name);
    }
}

void ClickTest::fixturePagesGiveTheirRows() {
    QFETCH(QString, name);
    const auto page = fixture_rows::readFileBytes((name + ".page").toStdString());
    const auto expected = fixture_rows::readExpected((name + ".expected").toStdString());
    QVERIFY(page && expected);
    proxy->setReply({httpResponse(200, *page), ScriptedReply::End::Close});

    click();

    QCOMPARE(listRows(), toList(expected->rows));
    QCOMPARE(selectedRow(), expected->selected);
    QCOMPARE(appState.loopCounter, 0);
    // Clicking again gives the same rows, fetched anew.
    click();
    QCOMPARE(listRows(), toList(expected->rows));
    QCOMPARE(proxy->requests().size(), size_t(2));
}

void ClickTest::failedFetchGivesTwoEmptyRows() {
    const RefusingPort refusing;
    qputenv("http_proxy", QByteArray::fromStdString(refusing.origin()));
    appState.pageText = "earlier page";
    click();
    qputenv("http_proxy", QByteArray::fromStdString(proxy->origin()));

    QCOMPARE(appState.pageText, Text());
    QCOMPARE(listRows(), (QList<QByteArray>{"", ""}));
    QCOMPARE(selectedRow(), 1);
    QVERIFY(appState.titleMatches.empty() && appState.mediaMatches.empty());
}

void ClickTest::clickQueuedDuringTheFetchRunsNested() {
    const auto page = fixture_rows::readFileBytes(MORVANE_FIXTURES_DIR "/pages/seven_rows.page");
    const auto expected =
        fixture_rows::readExpected(MORVANE_FIXTURES_DIR "/pages/seven_rows.expected");
    QVERIFY(page && expected);
    std::atomic<int> served{0};
    QPushButton* button = window->按钮1;
    proxy->setHandler([&](const RecordedRequest&) {
        if (served++ == 0) {
            // The user clicks again while the first page is still on its way.
            QMetaObject::invokeMethod(button, &QPushButton::click, Qt::QueuedConnection);
        }
        return ScriptedReply{httpResponse(200, *page), ScriptedReply::End::Close};
    });

    click();

    QCOMPARE(served.load(), 2);
    const QList<QByteArray> once = toList(expected->rows);
    QCOMPARE(listRows(), once + once); // the nested run's rows, then the outer run's
    QCOMPARE(selectedRow(), 5);
}

void ClickTest::pageOnWhichTheEngineGivesUpKeepsTheWindowUsable() {
    std::string page = "var G_MOVIE_TITLE = 'T';var G_OTHER_DESC='D';"
                       "http://media.morvane.test:8080/v/1/a.flv\n";
    while (page.size() < 96 * 1024) {
        page += "http://media.morvane.test:8080/aaaa ";
    }
    proxy->setReply({httpResponse(200, page), ScriptedReply::End::Close});

    click();

    QCOMPARE(listRows(), (QList<QByteArray>{"T", "D", "http://media.morvane.test:8080/v/1/a.flv"}));
    QCOMPARE(selectedRow(), 2);
    // Still usable: the next click works as usual.
    proxy->setReply({httpResponse(200, "var G_MOVIE_TITLE = 'next';"), ScriptedReply::End::Close});
    click();
    QCOMPARE(listRows(), (QList<QByteArray>{"next", ""}));
}

void ClickTest::windowClosedDuringTheClickEndsQuietly() {
    std::atomic<int> served{0};
    MainWindow* target = window;
    proxy->setHandler([&](const RecordedRequest&) {
        if (served++ == 0) {
            // Esc, then a click, both waiting while the page is fetched.
            QMetaObject::invokeMethod(
                target,
                [target] {
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(target->编辑框1, &escape);
                },
                Qt::QueuedConnection);
            QMetaObject::invokeMethod(target->按钮1, &QPushButton::click, Qt::QueuedConnection);
        }
        return ScriptedReply{httpResponse(200, "var G_MOVIE_TITLE = 'T';"),
                             ScriptedReply::End::Close};
    });

    click();

    QCOMPARE(served.load(), 1); // the click after Esc reached a window that is gone
    QVERIFY(window->isClosed());
    QCOMPARE(listRows(), (QList<QByteArray>{"T", ""}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
    QCOMPARE(rowCount(), 0); // with no window, the operations see no rows
}

QTEST_MAIN(ClickTest)
#include "test_click.moc"
