// The toolkit operations on the real widgets of the main window.

#include "support/widget_helpers.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

class ToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowTextOutOfRangeIsEmpty_data();
    void rowTextOutOfRangeIsEmpty();
    void selectRowLowersThenClamps_data();
    void selectRowLowersThenClamps();
    void rowsKeepTheirBytesAndOrder();
    void clearRowsLeavesNoRowAndNoSelection();
    void addressBoxAndCaret();
    void isTickedFollowsTheCheckBox();
    void showErrorIsAModalErrorBoxWithEmptyTitle();
    void processEventsHandlesWaitingEventsOnly();
    void pauseHandlesNoEvent();

private:
    QPointer<MainWindow> window;
};

namespace {
void fill(int rows) {
    clearRows();
    for (int i = 0; i < rows; ++i) {
        addRow("row " + std::to_string(i));
    }
}
} // namespace

void ToolkitTest::init() {
    window = new MainWindow();
    window->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void ToolkitTest::cleanup() {
    delete window.data();
}

void ToolkitTest::rowTextOutOfRangeIsEmpty_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("minus one") << 4 << -1 << QByteArray();
    QTest::newRow("far below") << 4 << -100 << QByteArray();
    QTest::newRow("first") << 4 << 0 << QByteArray("row 0");
    QTest::newRow("last") << 4 << 3 << QByteArray("row 3");
    QTest::newRow("equal to the count") << 4 << 4 << QByteArray();
    QTest::newRow("empty list") << 0 << 0 << QByteArray();
}

void ToolkitTest::rowTextOutOfRangeIsEmpty() {
    QFETCH(int, rows);
    QFETCH(int, index);
    QFETCH(QByteArray, expected);
    fill(rows);
    QCOMPARE(QByteArray::fromStdString(rowText(index)), expected);
}

void ToolkitTest::selectRowLowersThenClamps_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("selected");
    QTest::newRow("five of four rows selects the last") << 4 << 5 << 3;
    QTest::newRow("five of six rows") << 6 << 5 << 5;
    QTest::newRow("first") << 4 << 0 << 0;
    QTest::newRow("minus one selects none") << 4 << -1 << -1;
    QTest::newRow("below minus one selects none") << 4 << -7 << -1;
    QTest::newRow("empty list stays unselected") << 0 << 5 << -1;
    QTest::newRow("one row") << 1 << 5 << 0;
}

void ToolkitTest::selectRowLowersThenClamps() {
    QFETCH(int, rows);
    QFETCH(int, index);
    QFETCH(int, selected);
    fill(rows);
    QCOMPARE(selectedRow(), -1); // nothing selected before the first selectRow
    selectRow(2 < rows ? 2 : -1);
    selectRow(index);
    QCOMPARE(selectedRow(), selected);
    QCOMPARE(window->列表框1->selectedItems().size(), selected >= 0 ? 1 : 0);
    if (selected >= 0) {
        // Scrolled into view.
        const QRect shown = window->列表框1->viewport()->rect();
        QVERIFY(shown.intersects(window->列表框1->visualItemRect(window->列表框1->item(selected))));
    }
}

void ToolkitTest::rowsKeepTheirBytesAndOrder() {
    const QList<QByteArray> rows{
        "zeta",
        "\xca\xd3\xc6\xb5\xb1\xea\xcc\xe2", // GBK, not valid UTF-8
        "视频标题",                         // UTF-8
        "a\tb",
        "",
        "alpha",
        QByteArray(20000, 'x'),
    };
    clearRows();
    for (const QByteArray& row : rows) {
        addRow(row.toStdString());
    }
    QCOMPARE(rowCount(), int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(QByteArray::fromStdString(rowText(i)), rows[i]); // unsorted, unconverted
    }
    // What is drawn is a decoding of the bytes: GB18030 where they are not UTF-8.
    QCOMPARE(window->列表框1->item(1)->text(), QStringLiteral("视频标题"));
    QCOMPARE(window->列表框1->item(2)->text(), QStringLiteral("视频标题"));
}

void ToolkitTest::clearRowsLeavesNoRowAndNoSelection() {
    fill(3);
    selectRow(1);
    clearRows();
    QCOMPARE(rowCount(), 0);
    QCOMPARE(selectedRow(), -1);
    QCOMPARE(rowText(0), Text());
}

void ToolkitTest::addressBoxAndCaret() {
    setBoxText("http://v.morvane.test/v/1/1.shtml");
    QCOMPARE(boxText(), Text("http://v.morvane.test/v/1/1.shtml"));
    window->编辑框1->setSelection(2, 5);
    caretToEnd();
    QCOMPARE(window->编辑框1->cursorPosition(), window->编辑框1->text().size());
    QVERIFY(!window->编辑框1->hasSelectedText());
    setBoxText(Text());
    QCOMPARE(boxText(), Text());
}

void ToolkitTest::isTickedFollowsTheCheckBox() {
    QVERIFY(!isTicked());
    QTest::mouseClick(window->选择框1, Qt::LeftButton, {}, QPoint(8, 10));
    QVERIFY(isTicked());
    window->选择框1->setFocus();
    QTest::keyClick(window->选择框1, Qt::Key_Space);
    QVERIFY(!isTicked());
}

void ToolkitTest::showErrorIsAModalErrorBoxWithEmptyTitle() {
    const MessageBoxAnswerer seen;
    showError("您输入的视频地址不正确，请重新输入。\r\n示例：x");
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QString());
    QCOMPARE(seen->text, QStringLiteral("您输入的视频地址不正确，请重新输入。\n示例：x"));
    QCOMPARE(seen->icon, QMessageBox::Critical);
    QCOMPARE(seen->buttons, 1);
    QCOMPARE(seen->modality, Qt::ApplicationModal);
    QVERIFY(!seen->hasParent);
}

void ToolkitTest::processEventsHandlesWaitingEventsOnly() {
    bool ran = false;
    QTimer::singleShot(0, window, [&ran] { ran = true; });
    processEvents();
    QVERIFY(ran);
}

void ToolkitTest::pauseHandlesNoEvent() {
    bool ran = false;
    QTimer::singleShot(0, window, [&ran] { ran = true; });
    QElapsedTimer slept;
    slept.start();
    pause(100);
    QVERIFY(slept.elapsed() >= 100);
    QVERIFY(!ran);
    pause(-5); // negative counts as zero
    QVERIFY(!ran);
    processEvents();
    QVERIFY(ran);
}

QTEST_MAIN(ToolkitTest)
#include "test_toolkit.moc"
