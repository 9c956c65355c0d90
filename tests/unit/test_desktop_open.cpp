#include "actions/desktop_open.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Processes whose parent is this process, as "pid state" for the failure message.
QStringList childrenOfThisProcess() {
    QStringList children;
    const QString self = QString::number(::getpid());
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        entry.toInt(&isPid);
        if (!isPid) {
            continue;
        }
        const QByteArray stat = readAll("/proc/" + entry + "/stat");
        const qsizetype nameEnd = stat.lastIndexOf(')');
        if (nameEnd < 0) {
            continue;
        }
        // After "pid (name) " come the state and the parent's pid.
        const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
        if (fields.size() >= 2 && QString::fromLatin1(fields[1]) == self) {
            children << entry + " " + QString::fromLatin1(fields[0]);
        }
    }
    return children;
}

} // namespace

class TestDesktopOpen : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString bin;
    QString record;
    QString work;
    QByteArray savedPath;
    QString savedCurrent;
    int leakMarker = -1;

    void clearRecord() {
        QDir(record).removeRecursively();
        QVERIFY(QDir().mkpath(record));
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        bin = dir.path() + "/bin";
        record = dir.path() + "/record";
        work = dir.path() + "/work";
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(work));

        // The stand-in opener records how many arguments it got and each one's bytes,
        // its session, and the descriptors a program it starts inherits; then it stays
        // alive until the test releases it, so that a caller that waited for it would
        // be seen.
        const QByteArray script = "#!/bin/sh\n"
                                  "rec='" +
                                  QFile::encodeName(record) +
                                  "'\n"
                                  "i=1\n"
                                  "for a in \"$@\"; do printf '%s' \"$a\" > \"$rec/arg$i\"; "
                                  "i=$((i+1)); done\n"
                                  "awk '{print $6}' /proc/$$/stat > \"$rec/session\"\n"
                                  "ls -l /proc/self/fd/ > \"$rec/fds\" 2>&1\n"
                                  "printf '%s' \"$#\" > \"$rec/count.part\"\n"
                                  "mv \"$rec/count.part\" \"$rec/count\"\n"
                                  "n=0\n"
                                  "while [ ! -e \"$rec/release\" ] && [ $n -lt 1200 ]; do "
                                  "sleep 0.05; n=$((n+1)); done\n"
                                  ": > \"$rec/finished\"\n";
        QFile opener(bin + "/xdg-open");
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write(script);
        opener.close();
        QVERIFY(opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ExeGroup));

        savedPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ":" + savedPath);
        // A command line run through a shell would create its files here.
        savedCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work));
        // A descriptor opened without close-on-exec: the opener must not inherit it.
        leakMarker = ::open(QFile::encodeName(dir.path() + "/leak-marker").constData(),
                            O_WRONLY | O_CREAT, 0644);
        QVERIFY(leakMarker >= 0);
    }

    void cleanupTestCase() {
        if (leakMarker >= 0) {
            ::close(leakMarker);
        }
        qputenv("PATH", savedPath);
        QDir::setCurrent(savedCurrent);
    }

    void passesTheTextAsOneArgument_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("argument");

        const QByteArray address("http://media.morvane.test:8080/v/abc.flv");
        QTest::newRow("address") << address << address;
        const QByteArray gbk("\xc4\xe3\xba\xc3 \xca\xc0\xbd\xe7");
        QTest::newRow("GBK bytes") << gbk << gbk;
        QTest::newRow("tab and line break") << QByteArray("a\tb\r\nc") << QByteArray("a\tb\r\nc");
        QTest::newRow("command separator")
            << QByteArray("a; touch PWNED") << QByteArray("a; touch PWNED");
        QTest::newRow("command substitution")
            << QByteArray("$(touch PWNED)") << QByteArray("$(touch PWNED)");
        QTest::newRow("backquotes") << QByteArray("`touch PWNED`") << QByteArray("`touch PWNED`");
        QTest::newRow("quotes and blank") << QByteArray("x' \"y") << QByteArray("x' \"y");
        QTest::newRow("leading dash") << QByteArray("--help") << QByteArray("--help");
        QTest::newRow("empty text gives one empty argument") << QByteArray() << QByteArray();
        QTest::newRow("text ends at its first zero byte")
            << QByteArray("abc\0def", 7) << QByteArray("abc");
    }

    void passesTheTextAsOneArgument() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, argument);
        clearRecord();

        openWithDesktop(text.toStdString());

        // The opener cannot finish before it is released, so having returned here proves
        // the call did not wait for it.
        QVERIFY(!QFile::exists(record + "/finished"));
        QVERIFY(childrenOfThisProcess().isEmpty());

        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record + "/count"), 30000);
        QCOMPARE(readAll(record + "/count"), QByteArray("1"));
        QCOMPARE(readAll(record + "/arg1"), argument);

        const QByteArray session = readAll(record + "/session").trimmed();
        QVERIFY(!session.isEmpty());
        QVERIFY2(session.toLong() != ::getsid(0), "the opener runs in the caller's session");

        const QByteArray descriptors = readAll(record + "/fds");
        QVERIFY(descriptors.contains("/proc/"));
        QVERIFY2(!descriptors.contains("leak-marker"), descriptors.constData());

        QVERIFY(!QFile::exists(work + "/PWNED"));
        QVERIFY(!QFile::exists(dir.path() + "/PWNED"));
        QVERIFY(!QFile::exists(record + "/PWNED"));

        QFile release(record + "/release");
        QVERIFY(release.open(QIODevice::WriteOnly));
        release.close();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record + "/finished"), 30000);
        const QStringList children = childrenOfThisProcess();
        QVERIFY2(children.isEmpty(), qPrintable(children.join(", ")));
    }

    void missingOpenerDoesNothing() {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(empty.path()));
        clearRecord();

        openWithDesktop("http://media.morvane.test:8080/v/abc.flv");

        qputenv("PATH", path);
        const QStringList children = childrenOfThisProcess();
        QVERIFY2(children.isEmpty(), qPrintable(children.join(", ")));
        QVERIFY(QDir(record).isEmpty());
        QVERIFY(QDir(work).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDesktopOpen)
#include "test_desktop_open.moc"
