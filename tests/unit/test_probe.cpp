#include "app/probe.h"
#include "support/loopback_server.h"
#include "support/network_helpers.h"

#include <QtTest>

namespace {

using End = ScriptedReply::End;

// The first step of the probe needs a network connection that is up; the machine
// may have none but loopback. A configured proxy counts as one, and no_proxy=*
// still sends every request straight to its server.
void networkUpAndDirect(const RefusingPort& unusedProxy) {
    qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(unusedProxy.port()));
    qputenv("no_proxy", "*");
}

} // namespace

class TestProbe : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void anyStatusIsReachable_data();
    void anyStatusIsReachable();
    void sendsGetWithItsUserAgent();
    void bodyIsNeverRead();
    void unreachableFails_data();
    void unreachableFails();
    void goesThroughEnvironmentProxy();
    void proxyMakesNetworkUp_data();
    void proxyMakesNetworkUp();
    void noNetworkSendsNothing();

private:
    RefusingPort unusedProxy_;
};

void TestProbe::initTestCase() {
    clearProxyEnvironment();
}

void TestProbe::cleanup() {
    clearProxyEnvironment();
}

void TestProbe::anyStatusIsReachable_data() {
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("200") << QByteArray::fromStdString(httpResponse(200, "ok"));
    QTest::newRow("204") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n");
    QTest::newRow("404") << QByteArray::fromStdString(httpResponse(404, "not found"));
    QTest::newRow("500") << QByteArray::fromStdString(httpResponse(500, "server error"));
    QTest::newRow("redirect, not followed")
        << QByteArray::fromStdString(httpResponse(302, "", "Location: /elsewhere\r\n"));
    QTest::newRow("interim head first")
        << QByteArray::fromStdString("HTTP/1.1 100 Continue\r\n\r\n" + httpResponse(503, "busy"));
}

void TestProbe::anyStatusIsReachable() {
    QFETCH(QByteArray, reply);
    networkUpAndDirect(unusedProxy_);
    LoopbackServer server;
    server.setReply({reply.toStdString(), End::Close});

    QCOMPARE(probeAddress(server.origin() + "/generate_204"), 1);
    QCOMPARE(server.requests().size(), size_t(1));
}

void TestProbe::sendsGetWithItsUserAgent() {
    networkUpAndDirect(unusedProxy_);
    LoopbackServer server;
    server.setReply({httpResponse(204, ""), End::Close});

    QCOMPARE(probeAddress(server.origin() + "/generate_204"), 1);

    const auto requests = server.requests();
    QCOMPARE(requests.size(), size_t(1));
    const RecordedRequest& request = requests.front();
    QCOMPARE(request.method, std::string("GET"));
    QCOMPARE(request.target, std::string("/generate_204"));
    QCOMPARE(request.header("User-Agent"), std::string("test"));
    QCOMPARE(request.header("Pragma"), std::string("no-cache"));
    QCOMPARE(request.header("Cache-Control"), std::string("no-cache"));
    QCOMPARE(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    QVERIFY(!request.hasHeader("Referer"));
    QVERIFY(!request.hasHeader("Cookie"));
}

void TestProbe::bodyIsNeverRead() {
    // The head arrives, the body never does: waiting for it would end in the idle
    // time-out and a failure, so a 1 shows the probe stopped at the head.
    networkUpAndDirect(unusedProxy_);
    LoopbackServer server;
    server.setReply({"HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", End::Stall});

    QCOMPARE(probeAddress(server.origin() + "/"), 1);
    QCOMPARE(server.requests().size(), size_t(1));
}

void TestProbe::unreachableFails_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QByteArray>("url");

    QTest::newRow("refused") << QByteArray() << 0 << true << QByteArray();
    QTest::newRow("name does not resolve")
        << QByteArray() << 0 << false << QByteArray("http://connectivity.morvane.invalid/");
    QTest::newRow("closed without a reply")
        << QByteArray("") << static_cast<int>(End::Close) << false << QByteArray();
    QTest::newRow("reset without a reply")
        << QByteArray("") << static_cast<int>(End::Reset) << false << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n") << static_cast<int>(End::Close)
                              << false << QByteArray();
    QTest::newRow("not a web scheme")
        << QByteArray() << 0 << false << QByteArray("file:///etc/hostname");
}

void TestProbe::unreachableFails() {
    QFETCH(QByteArray, reply);
    QFETCH(int, end);
    QFETCH(bool, refused);
    QFETCH(QByteArray, url);
    networkUpAndDirect(unusedProxy_);
    LoopbackServer server;
    server.setReply({reply.toStdString(), static_cast<End>(end)});
    RefusingPort refusing;

    std::string address = url.toStdString();
    if (address.empty()) {
        address = refused ? "http://127.0.0.1:" + std::to_string(refusing.port()) + "/"
                          : server.origin() + "/";
    }
    QCOMPARE(probeAddress(address), 0);
}

void TestProbe::goesThroughEnvironmentProxy() {
    LoopbackServer proxy;
    proxy.setReply({httpResponse(204, ""), End::Close});
    qputenv("http_proxy", QByteArray::fromStdString(proxy.origin()));

    QCOMPARE(probeConnection(), 1);

    const auto requests = proxy.requests();
    QCOMPARE(requests.size(), size_t(1));
    const RecordedRequest& request = requests.front();
    QCOMPARE(request.method, std::string("GET"));
    QCOMPARE(request.target, std::string(probeUrl));
    QCOMPARE(request.header("Host"), std::string("connectivitycheck.gstatic.com"));
    QCOMPARE(request.header("User-Agent"), std::string("test"));
    QCOMPARE(request.header("Pragma"), std::string("no-cache"));
}

void TestProbe::proxyMakesNetworkUp_data() {
    QTest::addColumn<QByteArray>("variable");
    QTest::newRow("http_proxy") << QByteArray("http_proxy");
    QTest::newRow("all_proxy") << QByteArray("all_proxy");
}

void TestProbe::proxyMakesNetworkUp() {
    QFETCH(QByteArray, variable);
    qputenv(variable.constData(), "http://127.0.0.1:3128");
    QVERIFY(networkConnectionUp());
    // An empty value configures nothing; whether the machine has an interface up
    // decides then, which this test does not assume either way.
    qputenv(variable.constData(), "");
    const bool withEmpty = networkConnectionUp();
    qunsetenv(variable.constData());
    QCOMPARE(withEmpty, networkConnectionUp());
}

void TestProbe::noNetworkSendsNothing() {
    if (networkConnectionUp()) {
        QSKIP("this machine has a network interface up; the no-network path cannot be reached");
    }
    LoopbackServer server;
    server.setReply({httpResponse(200, "ok"), End::Close});
    QCOMPARE(probeAddress(server.origin() + "/"), 0);
    QCOMPARE(server.requests().size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestProbe)
#include "test_probe.moc"
