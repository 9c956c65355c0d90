// The main window on real widgets: its controls, look and keyboard and mouse behaviour.

#include "support/loopback_server.h"
#include "support/widget_helpers.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controlsStandAtTheirPlaces_data();
    void controlsStandAtTheirPlaces();
    void windowIsFixedWithItsTitleAndColours();
    void startsWithExampleAddressAndNothingElse();
    void tabMovesFocusAroundTheControls();
    void enterClicksTheButtonFromEveryControl_data();
    void enterClicksTheButtonFromEveryControl();
    void spaceOnTheButtonClicksIt();
    void escapeClosesFromEveryControl_data();
    void escapeClosesFromEveryControl();
    void leftPressEmptiesTheAddressBox_data();
    void leftPressEmptiesTheAddressBox();
    void rightPressOpensTheSelectedRowNotThePressedOne_data();
    void rightPressOpensTheSelectedRowNotThePressedOne();
    void doubleClickCopiesTheRowItsFirstPressSelected();
    void longRowsAreCutAndManyRowsScroll();

private:
    void fillRows(const QList<QByteArray>& rows);
    QPoint rowCentre(int row) const;

    std::unique_ptr<LoopbackServer> site;
    QPointer<MainWindow> window;
};

void MainWindowTest::initTestCase() {
    // Every click fetches: the site is reached through a proxy on loopback.
    site = std::make_unique<LoopbackServer>();
    site->setReply({httpResponse(200, "<html>no video here</html>"), ScriptedReply::End::Close});
    qputenv("http_proxy", QByteArray::fromStdString(site->origin()));
    qunsetenv("no_proxy");
}

void MainWindowTest::init() {
    site->clearRequests();
    window = new MainWindow();
    window->showCentred();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void MainWindowTest::cleanup() {
    delete window.data();
}

void MainWindowTest::fillRows(const QList<QByteArray>& rows) {
    clearRows();
    for (const QByteArray& row : rows) {
        addRow(row.toStdString());
    }
}

QPoint MainWindowTest::rowCentre(int row) const {
    return window->列表框1->visualItemRect(window->列表框1->item(row)).center();
}

void MainWindowTest::controlsStandAtTheirPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");
    QTest::newRow("instruction")
        << "标签1" << QRect(10, 10, 400, 20)
        << "复制视频所在页面的地址（浏览器地址栏），输入到下方并点击获取。";
    QTest::newRow("address box") << "编辑框1" << QRect(10, 30, 400, 20)
                                 << "http://v.morvane.test/v/38/38534.shtml";
    QTest::newRow("button") << "按钮1" << QRect(420, 30, 70, 20) << "获取地址";
    QTest::newRow("caption") << "标签2" << QRect(10, 70, 400, 20)
                             << "获取结果( 请双击复制链接 or 右击-打开下载链接 )";
    QTest::newRow("check box") << "选择框1" << QRect(420, 70, 80, 20) << "调试输出";
    QTest::newRow("result list") << "列表框1" << QRect(10, 90, 480, 110) << QString();
}

void MainWindowTest::controlsStandAtTheirPlaces() {
    QFETCH(QString, name);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    auto* control = window->findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(), place);
    QVERIFY(control->isVisible());
    QVERIFY(control->isEnabled());
    if (auto* label = qobject_cast<QLabel*>(control)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->textFormat(), Qt::PlainText); // "&" is drawn, not a mnemonic
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        QCOMPARE(edit->text(), text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QCOMPARE(button->text(), text);
    }
}

void MainWindowTest::windowIsFixedWithItsTitleAndColours() {
    QCOMPARE(window->windowTitle(), QString::fromUtf8(mainWindowTitle));
    QCOMPARE(window->windowTitle(),
             QStringLiteral("Morvane视频地址解析器 - Palvero[palvero.example]"));
    QCOMPARE(window->frameGeometry().size(), QSize(505, 250)); // frame included
    QCOMPARE(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowStaysOnTopHint));
    QVERIFY(!window->windowIcon().isNull());
    // Centred on the screen, rounded towards zero.
    const QRect screen = window->screen()->geometry();
    QCOMPARE(window->frameGeometry().topLeft(),
             QPoint((screen.width() - 505) / 2, (screen.height() - 250) / 2));

    QCOMPARE(window->列表框1->palette().color(QPalette::Text), QColor(255, 0, 0));
    QCOMPARE(window->列表框1->palette().color(QPalette::Base), QColor(255, 255, 255));
    QCOMPARE(window->选择框1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(window->列表框1->frameShape(), QFrame::Box);
    QCOMPARE(window->列表框1->lineWidth(), 1);
    QVERIFY(window->按钮1->isDefault());
}

void MainWindowTest::startsWithExampleAddressAndNothingElse() {
    QCOMPARE(rowCount(), 0);
    QCOMPARE(selectedRow(), -1);
    QVERIFY(!isTicked());
    QCOMPARE(window->focusWidget(), window->编辑框1);
    // Before the start-up check the caret stands before the first character.
    MainWindow fresh;
    QCOMPARE(fresh.编辑框1->cursorPosition(), 0);
    QVERIFY(!fresh.编辑框1->hasSelectedText());
}

void MainWindowTest::tabMovesFocusAroundTheControls() {
    const QList<QWidget*> order{window->编辑框1, window->按钮1, window->列表框1, window->选择框1};
    window->编辑框1->setFocus();
    for (qsizetype step = 1; step <= order.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order[step % order.size()]);
    }
    for (qsizetype step = order.size() - 1; step >= 0; --step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), order[step]);
    }
}

void MainWindowTest::enterClicksTheButtonFromEveryControl_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("clicks");
    for (const char* name : {"编辑框1", "按钮1", "列表框1", "选择框1"}) {
        const QByteArray where(name);
        QTest::newRow(where + " Return") << name << int(Qt::Key_Return) << 0 << 1;
        QTest::newRow(where + " keypad Enter")
            << name << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 1;
        QTest::newRow(where + " Ctrl+Return")
            << name << int(Qt::Key_Return) << int(Qt::ControlModifier) << 0;
        QTest::newRow(where + " Shift+Return")
            << name << int(Qt::Key_Return) << int(Qt::ShiftModifier) << 0;
        QTest::newRow(where + " Alt+Return")
            << name << int(Qt::Key_Return) << int(Qt::AltModifier) << 0;
    }
}

void MainWindowTest::enterClicksTheButtonFromEveryControl() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, clicks);
    auto* target = window->findChild<QWidget*>(focus);
    target->setFocus();
    QSignalSpy clicked(window->按钮1, &QPushButton::clicked);

    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(clicked.size(), clicks);
    QCOMPARE(int(site->requests().size()), clicks); // the click fetched the page
    QVERIFY(window->isVisible());
}

void MainWindowTest::spaceOnTheButtonClicksIt() {
    window->按钮1->setFocus();
    QSignalSpy clicked(window->按钮1, &QPushButton::clicked);
    QTest::keyClick(window->按钮1, Qt::Key_Space);
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(site->requests().size(), size_t(1));
}

void MainWindowTest::escapeClosesFromEveryControl_data() {
    QTest::addColumn<QString>("focus");
    for (const char* name : {"编辑框1", "按钮1", "列表框1", "选择框1"}) {
        QTest::newRow(name) << name;
    }
}

void MainWindowTest::escapeClosesFromEveryControl() {
    QFETCH(QString, focus);
    QSignalSpy destroyed(window.data(), &QObject::destroyed);
    auto* target = window->findChild<QWidget*>(focus);
    target->setFocus();

    QTest::keyClick(target, Qt::Key_Escape, Qt::ShiftModifier); // modified Esc does nothing
    QVERIFY(window->isVisible());
    QTest::keyClick(target, Qt::Key_Escape);

    QVERIFY(window->isClosed());
    QVERIFY(!window->isVisible());
    // Closed means destroyed, with no question asked, once the event loop gets there.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(destroyed.size(), 1);
    QVERIFY(window.isNull());
}

void MainWindowTest::leftPressEmptiesTheAddressBox_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("textAfter");
    QTest::newRow("left press empties even a good address") << int(Qt::LeftButton) << QString();
    QTest::newRow("right press leaves it")
        << int(Qt::RightButton) << "http://v.morvane.test/v/38/38534.shtml";
}

void MainWindowTest::leftPressEmptiesTheAddressBox() {
    QFETCH(int, button);
    QFETCH(QString, textAfter);
    window->按钮1->setFocus();
    QTest::mousePress(window->编辑框1, Qt::MouseButton(button), {}, QPoint(200, 10));
    QCOMPARE(window->编辑框1->text(), textAfter);
    QTest::mouseRelease(window->编辑框1, Qt::MouseButton(button), {}, QPoint(200, 10));
    if (button == Qt::LeftButton) {
        QCOMPARE(window->focusWidget(), window->编辑框1);
        QCOMPARE(window->编辑框1->cursorPosition(), 0);
    }
}

void MainWindowTest::rightPressOpensTheSelectedRowNotThePressedOne_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<QByteArray>("opened");
    QTest::newRow("row 2 selected, row 0 pressed") << 2 << QByteArray("http://a/2.flv");
    QTest::newRow("nothing selected") << -1 << QByteArray();
}

void MainWindowTest::rightPressOpensTheSelectedRowNotThePressedOne() {
    QFETCH(int, selected);
    QFETCH(QByteArray, opened);
    FakeOpener opener;
    fillRows({"http://a/0.flv", "http://a/1.flv", "http://a/2.flv"});
    selectRow(selected);

    QTest::mousePress(window->列表框1->viewport(), Qt::RightButton, {}, rowCentre(0));
    QTest::mouseRelease(window->列表框1->viewport(), Qt::RightButton, {}, rowCentre(0));

    QCOMPARE(selectedRow(), selected);
    QVERIFY(opener.waitForRun());
    QCOMPARE(opener.argument(), opened);
    QCOMPARE(opener.argumentCount(), QByteArray("1"));
}

void MainWindowTest::doubleClickCopiesTheRowItsFirstPressSelected() {
    fillRows({"title", "desc", "12", "http://media/x.flv"});
    selectRow(0);
    QWidget* viewport = window->列表框1->viewport();
    // As the window system delivers it: press, release, then the double-click.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(2));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowCentre(2));

    QCOMPARE(selectedRow(), 2);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data != nullptr);
    QCOMPARE(data->data(QStringLiteral("text/plain")), QByteArray("12"));
}

void MainWindowTest::longRowsAreCutAndManyRowsScroll() {
    QListWidget* list = window->列表框1;
    fillRows({QByteArray(400, 'w')});
    QVERIFY(!list->horizontalScrollBar()->isVisible());
    QCOMPARE(list->visualItemRect(list->item(0)).height(), list->fontMetrics().height() + 1);
    QVERIFY(!list->verticalScrollBar()->isVisible());

    QList<QByteArray> many;
    for (int i = 0; i < 30; ++i) {
        many << QByteArray::number(i);
    }
    fillRows(many);
    QTRY_VERIFY(list->verticalScrollBar()->isVisible());
    QCOMPARE(list->height(), 110);
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
