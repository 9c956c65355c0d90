// The whole program as a process: the start-up check of the Internet, the message
// when it fails, and the exit code and clean-up on every way out.

#include "app/probe.h"
#include "support/loopback_server.h"
#include "support/network_helpers.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

namespace {

const QByteArray failureMessage = "网络连接失败! 为了避免出错,程序即将退出。";
const QByteArray windowTitle = "Morvane视频地址解析器 - Palvero[palvero.example]";
const QByteArray exampleAddress = "http://v.morvane.test/v/38/38534.shtml";

struct Run {
    QList<QByteArray> lines;
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    qint64 msFromAnswerToExit = -1;

    qsizetype count(const QByteArray& line) const { return lines.count(line); }
    bool startsWith(const QByteArray& prefix) const {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const QByteArray& l) { return l.startsWith(prefix); });
    }
};

// Runs the program under the harness with the given proxy ("" for none), optionally
// inside a network namespace of its own that has no interface up.
Run runProgram(const QString& proxy, bool withoutNetwork, const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                             "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY"}) {
        environment.remove(QString::fromLatin1(name));
    }
    if (!proxy.isEmpty()) {
        environment.insert(QStringLiteral("http_proxy"), proxy);
    }
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess process;
    process.setProcessEnvironment(environment);
    if (withoutNetwork) {
        process.start(QStringLiteral("unshare"),
                      QStringList{QStringLiteral("--net"), QStringLiteral(MORVANE_HARNESS)} +
                          arguments);
    } else {
        process.start(QStringLiteral(MORVANE_HARNESS), arguments);
    }
    Run run;
    if (!process.waitForStarted(10000)) {
        return run;
    }
    QElapsedTimer sinceAnswer;
    QByteArray pending;
    QDeadlineTimer deadline(60000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForReadyRead(50);
        pending += process.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            run.lines << pending.left(end);
            if (run.lines.last() == "answered") {
                sinceAnswer.start();
            }
            pending.remove(0, end + 1);
        }
    }
    process.waitForFinished(5000);
    if (sinceAnswer.isValid()) {
        run.msFromAnswerToExit = sinceAnswer.elapsed();
    }
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty()) {
            run.lines << line;
        }
    }
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    return run;
}

bool canUnshareNetwork() {
    return QProcess::execute(QStringLiteral("unshare"),
                             {QStringLiteral("--net"), QStringLiteral("true")}) == 0;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void unreachableInternetQuitsWithMessage_data();
    void unreachableInternetQuitsWithMessage();
    void reachableInternetShowsWindowUntilClosed_data();
    void reachableInternetShowsWindowUntilClosed();
};

void StartupTest::unreachableInternetQuitsWithMessage_data() {
    QTest::addColumn<bool>("withoutNetwork");
    QTest::addColumn<bool>("refusingProxy");
    QTest::newRow("no network connection at all") << true << false;
    QTest::newRow("proxy refuses the connection") << false << true;
}

void StartupTest::unreachableInternetQuitsWithMessage() {
    QFETCH(bool, withoutNetwork);
    QFETCH(bool, refusingProxy);
    if (withoutNetwork && !canUnshareNetwork()) {
        QSKIP("this machine cannot make a network namespace");
    }
    const RefusingPort refusing;
    const QString proxy = refusingProxy ? QString::fromStdString(refusing.origin()) : QString();

    const Run run = runProgram(proxy, withoutNetwork, {});

    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.lines.value(0), "box||" + failureMessage + "|3|1"); // error icon, one OK
    QCOMPARE(run.lines.value(1), QByteArray("answered"));
    QVERIFY2(!run.startsWith("shown|"), "the main window must never be shown");
    QCOMPARE(run.count("released"), 1);
    QCOMPARE(run.count("returned"), 0); // it ends at once, not through the event loop
    // The program waits three seconds after the message before it ends.
    QVERIFY2(run.msFromAnswerToExit >= 2500, QByteArray::number(run.msFromAnswerToExit));
}

void StartupTest::reachableInternetShowsWindowUntilClosed_data() {
    QTest::addColumn<int>("status");
    QTest::newRow("204 from the check page") << 204;
    QTest::newRow("404 counts as reachable") << 404;
    QTest::newRow("500 counts as reachable") << 500;
}

void StartupTest::reachableInternetShowsWindowUntilClosed() {
    QFETCH(int, status);
    LoopbackServer proxy;
    proxy.setReply({httpResponse(status, "no page here"), ScriptedReply::End::Close});

    const Run run = runProgram(QString::fromStdString(proxy.origin()), false,
                               {QStringLiteral("close-when-shown")});

    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    // Shown once, with the caret after the last character of the example address.
    const QByteArray caret = QByteArray::number(exampleAddress.size());
    QCOMPARE(run.lines.value(0), "shown|" + windowTitle + "|" + caret + "/" + caret);
    QVERIFY(!run.startsWith("box|"));
    QCOMPARE(run.count("released"), 1);
    QCOMPARE(run.count("returned"), 1);

    const auto requests = proxy.requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].method, std::string("GET"));
    QCOMPARE(requests[0].target, std::string(probeUrl));
    QCOMPARE(requests[0].header("User-Agent"), std::string("test"));
}

QTEST_GUILESS_MAIN(StartupTest)
#include "test_startup.moc"
