// The debug dump through the real widgets: a ticked "调试输出" writes the list beside the
// program, under a name made of the title and description rows.

#include "app/app_state.h"
#include "support/loopback_server.h"
#include "support/widget_helpers.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QUuid>
#include <QtTest>

#include <fstream>
#include <unistd.h>

namespace {

QString programDir() {
    return QCoreApplication::applicationDirPath();
}

// File names are handled as bytes: a GBK name is no valid UTF-8 and a QString would
// not keep it.
QByteArray programDirBytes() {
    return QFile::encodeName(programDir());
}

QByteArray readAll(const QByteArray& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    if (!file) {
        return "<missing>";
    }
    return QByteArray::fromStdString(
        std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
}
QByteArray readAll(const QString& path) {
    return readAll(QFile::encodeName(path));
}

bool exists(const QByteArray& path) {
    return ::access(path.constData(), F_OK) == 0;
}

// A page in the site's format with these rows.
std::string page(const QByteArray& title, const QByteArray& description,
                 const QList<QByteArray>& sizes, const QList<QByteArray>& media) {
    QByteArray body = "<script>var G_MOVIE_TITLE = '" + title + "';\nvar G_OTHER_DESC='" +
                      description + "';\nvar parts=[";
    for (const QByteArray& size : sizes) {
        body += "{id:1,size:" + size + ",status:1},";
    }
    body += "];\n";
    for (const QByteArray& address : media) {
        body += "<a href=\"" + address + "\">part</a>\n";
    }
    return (body + "</script>").toStdString();
}

} // namespace

class DebugDumpTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tickedFetchWritesTheList_data();
    void tickedFetchWritesTheList();
    void untickedFetchTouchesNothing();
    void secondFetchReplacesTheFile();
    void namesThatCannotBeWrittenAreSkippedQuietly_data();
    void namesThatCannotBeWrittenAreSkippedQuietly();
    void subdirectoryThatExistsIsWrittenInto();

private:
    void fetch(const std::string& body) {
        proxy->setReply({httpResponse(200, body), ScriptedReply::End::Close});
        window->按钮1->click();
    }
    // A prefix that keeps this run's files apart from any other's.
    QByteArray unique() const { return "dump-" + token; }

    std::unique_ptr<LoopbackServer> proxy;
    QPointer<MainWindow> window;
    QByteArray token;
    QList<QByteArray> written; // removed after each test
};

void DebugDumpTest::initTestCase() {
    proxy = std::make_unique<LoopbackServer>();
    qputenv("http_proxy", QByteArray::fromStdString(proxy->origin()));
    qunsetenv("no_proxy");
}

void DebugDumpTest::init() {
    token = QUuid::createUuid().toByteArray(QUuid::Id128).left(12);
    window = new MainWindow();
    window->showCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->选择框1->setChecked(true);
}

void DebugDumpTest::cleanup() {
    delete window.data();
    for (const QByteArray& path : std::as_const(written)) {
        ::unlink(path.constData());
    }
    written.clear();
}

void DebugDumpTest::tickedFetchWritesTheList_data() {
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QList<QByteArray>>("sizes");
    QTest::addColumn<QList<QByteArray>>("media");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("title, description, a size and two addresses")
        << QByteArray("T") << QByteArray("D") << QList<QByteArray>{"12"}
        << QList<QByteArray>{"http://media.morvane.test:8080/a/1.flv",
                             "http://media.morvane.test:8080/a/2.flv"}
        << QByteArray("TD\r\n12\r\nhttp://media.morvane.test:8080/a/1.flv\r\n"
                      "http://media.morvane.test:8080/a/2.flv\r\n");
    QTest::newRow("title and description only")
        << QByteArray("T") << QByteArray("D") << QList<QByteArray>{} << QList<QByteArray>{}
        << QByteArray("TD\r\n");
    QTest::newRow("GBK title with a colon and blanks")
        << QByteArray("\xca\xd3\xc6\xb5: a b") << QByteArray("\xc3\xe8\xca\xf6")
        << QList<QByteArray>{"1", "2"} << QList<QByteArray>{}
        << QByteArray("\xca\xd3\xc6\xb5: a b\xc3\xe8\xca\xf6\r\n1\r\n2\r\n");
}

void DebugDumpTest::tickedFetchWritesTheList() {
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, description);
    QFETCH(QList<QByteArray>, sizes);
    QFETCH(QList<QByteArray>, media);
    QFETCH(QByteArray, content);
    const QByteArray fullTitle = unique() + title;
    // The rows' bytes as they are: the name is not decoded, the content not converted.
    const QByteArray path = programDirBytes() + "/" + fullTitle + description + ".txt";
    written << path;

    fetch(page(fullTitle, description, sizes, media));

    QCOMPARE(readAll(path), unique() + content);
    QCOMPARE(QByteArray::fromStdString(appState.dumpText), unique() + content);
    QCOMPARE(selectedRow(), qMin(5, rowCount() - 1));
}

void DebugDumpTest::untickedFetchTouchesNothing() {
    window->选择框1->setChecked(false);
    appState.dumpText = "kept from before";
    const QByteArray path = programDirBytes() + "/" + unique() + "TD.txt";
    written << path;

    fetch(page(unique() + "T", "D", {}, {}));

    QVERIFY(!exists(path));
    QCOMPARE(appState.dumpText, Text("kept from before"));
    QCOMPARE(rowCount(), 2);
}

void DebugDumpTest::secondFetchReplacesTheFile() {
    const QByteArray path = programDirBytes() + "/" + unique() + "TD.txt";
    written << path;
    fetch(page(unique() + "T", "D", {"1", "2", "3"}, {"http://media.morvane.test:8080/x.flv"}));
    QCOMPARE(readAll(path),
             unique() + "TD\r\n1\r\n2\r\n3\r\nhttp://media.morvane.test:8080/x.flv\r\n");

    fetch(page(unique() + "T", "D", {"9"}, {}));
    QCOMPARE(readAll(path), unique() + "TD\r\n9\r\n");
}

void DebugDumpTest::namesThatCannotBeWrittenAreSkippedQuietly_data() {
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QString>("mustNotExist"); // relative to the program's directory
    QTest::newRow("parent directory") << QByteArray("../") << QString("../%1D.txt");
    QTest::newRow("deeper parent") << QByteArray("x/../../") << QString("../%1D.txt");
    QTest::newRow("missing subdirectory") << QByteArray("no-such-dir/") << QString("no-such-dir");
    QTest::newRow("name too long") << QByteArray(300, 'n') << QString();
}

void DebugDumpTest::namesThatCannotBeWrittenAreSkippedQuietly() {
    QFETCH(QByteArray, title);
    QFETCH(QString, mustNotExist);
    const QByteArray escaped =
        mustNotExist.isEmpty()
            ? QByteArray()
            : programDirBytes() + "/" + mustNotExist.arg(QString::fromLatin1(unique())).toLatin1();
    if (!escaped.isEmpty()) {
        written << escaped;
    }
    const QStringList before = QDir(programDir()).entryList(QDir::AllEntries | QDir::Hidden);
    const MessageBoxAnswerer seen;

    fetch(page(title + unique(), "D", {"1"}, {}));

    QVERIFY(!seen->seen);
    if (!escaped.isEmpty()) {
        QVERIFY(!exists(escaped));
    }
    QCOMPARE(QDir(programDir()).entryList(QDir::AllEntries | QDir::Hidden), before);
    QCOMPARE(selectedRow(), 2); // the click still ends by selecting
}

void DebugDumpTest::subdirectoryThatExistsIsWrittenInto() {
    QTemporaryDir sub(programDir() + "/dump-sub-XXXXXX");
    QVERIFY(sub.isValid());
    const QByteArray subName = QFileInfo(sub.path()).fileName().toLatin1();

    // A symbolic link in the final place is not followed.
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("outside.txt"));
    QFile(outside).open(QIODevice::WriteOnly);
    QVERIFY(QFile::link(outside, sub.filePath(QStringLiteral("LD.txt"))));
    fetch(page(subName + "/L", "D", {}, {}));
    QCOMPARE(readAll(outside), QByteArray());

    fetch(page(subName + "/T", "D", {"5"}, {}));
    QCOMPARE(readAll(sub.filePath(QStringLiteral("TD.txt"))), subName + "/TD\r\n5\r\n");
}

QTEST_MAIN(DebugDumpTest)
#include "test_debug_dump.moc"
