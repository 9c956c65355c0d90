// Copy and open on the result list, through the real widgets, the real clipboard and a
// stand-in for the desktop's opener.

#include "support/widget_helpers.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

#include <QClipboard>
#include <QImage>
#include <QListWidget>
#include <QMimeData>
#include <QtTest>

class ResultActionsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void doubleClickCopiesTheRowsExactBytes_data();
    void doubleClickCopiesTheRowsExactBytes();
    void doubleClickWithNoRowSelectedCopiesAnEmptyText();
    void rightPressOpensTheSelectedRowsExactBytes_data();
    void rightPressOpensTheSelectedRowsExactBytes();

private:
    QWidget* viewport() const { return window->列表框1->viewport(); }
    QPoint rowCentre(int row) const {
        return window->列表框1->visualItemRect(window->列表框1->item(row)).center();
    }

    QPointer<MainWindow> window;
};

namespace {
const QByteArray gbkTitle = "\xca\xd3\xc6\xb5\xb1\xea\xcc\xe2"; // not valid UTF-8

QList<QByteArray> rows() {
    return {gbkTitle, "desc\twith a tab", "12", "", "http://media.morvane.test:8080/a b/1.flv"};
}
} // namespace

void ResultActionsTest::init() {
    window = new MainWindow();
    window->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    clearRows();
    for (const QByteArray& row : rows()) {
        addRow(row.toStdString());
    }
}

void ResultActionsTest::cleanup() {
    delete window.data();
}

void ResultActionsTest::doubleClickCopiesTheRowsExactBytes_data() {
    QTest::addColumn<int>("row");
    QTest::newRow("GBK title row") << 0;
    QTest::newRow("row with a tab") << 1;
    QTest::newRow("size row") << 2;
    QTest::newRow("address with a blank") << 4;
}

void ResultActionsTest::doubleClickCopiesTheRowsExactBytes() {
    QFETCH(int, row);
    // Whatever the clipboard held before, a picture included, is replaced.
    auto* picture = new QMimeData();
    picture->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QGuiApplication::clipboard()->setMimeData(picture);

    // As the window system delivers it: press, release, then the double-click.
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, rowCentre(row));
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, rowCentre(row));

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data != nullptr);
    QCOMPARE(data->data(QStringLiteral("text/plain")), rows()[row]);
    QVERIFY(!data->hasImage());
}

void ResultActionsTest::doubleClickWithNoRowSelectedCopiesAnEmptyText() {
    QGuiApplication::clipboard()->setText(QStringLiteral("something earlier"));
    selectRow(-1);
    // A double-click below the last row selects nothing.
    const QPoint below(20, window->列表框1->viewport()->height() - 3);
    QVERIFY(window->列表框1->itemAt(below) == nullptr);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, below);
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, below);

    QCOMPARE(selectedRow(), -1);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data != nullptr);
    QVERIFY(data->hasFormat(QStringLiteral("text/plain")));
    QCOMPARE(data->data(QStringLiteral("text/plain")), QByteArray());
}

void ResultActionsTest::rightPressOpensTheSelectedRowsExactBytes_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("pressed");
    QTest::newRow("GBK title, pressed on the address") << 0 << 4;
    QTest::newRow("address with a blank, pressed on it") << 4 << 4;
    QTest::newRow("row with a tab, pressed on the size") << 1 << 2;
    QTest::newRow("empty row") << 3 << 0;
}

void ResultActionsTest::rightPressOpensTheSelectedRowsExactBytes() {
    QFETCH(int, selected);
    QFETCH(int, pressed);
    FakeOpener opener;
    selectRow(selected);

    QTest::mousePress(viewport(), Qt::RightButton, {}, rowCentre(pressed));
    QTest::mouseRelease(viewport(), Qt::RightButton, {}, rowCentre(pressed));

    QVERIFY(opener.waitForRun());
    QCOMPARE(opener.argument(), rows()[selected]);
    QCOMPARE(opener.argumentCount(), QByteArray("1"));
    QCOMPARE(selectedRow(), selected);
}

QTEST_MAIN(ResultActionsTest)
#include "test_result_actions.moc"
