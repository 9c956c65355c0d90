#include "parse/dump_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string localPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Reads a file through its raw byte name, so that names that are not UTF-8 work too.
std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool existsNoFollow(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Every entry below `root` with its content (files) or its kind, for before/after checks.
QMap<QString, QByteArray> snapshot(const QString& root) {
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray value;
        if (info.isSymLink()) {
            value = "link:" + QFile::encodeName(info.symLinkTarget());
        } else if (info.isDir()) {
            value = "dir";
        } else if (info.isFile()) {
            QFile file(path);
            value = file.open(QIODevice::ReadOnly) ? "file:" + file.readAll() : "file?";
        } else {
            value = "other";
        }
        entries.insert(path, value);
    }
    return entries;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

class TestDumpFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::string root;

    std::string at(const std::string& relative) const { return root + "/" + relative; }

private slots:
    void init() {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        root = localPath(dir->path());
        // Fixtures shared by the cases: a subdirectory, a regular file, a FIFO.
        QVERIFY(QDir(dir->path()).mkdir("sub"));
        QFile plain(dir->path() + "/plain");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("plain content");
        plain.close();
        QCOMPARE(::mkfifo(at("pipe.txt").c_str(), 0644), 0);
    }

    void writesExactBytes_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("writtenAs");

        QTest::newRow("plain") << QByteArray("TD.txt") << QByteArray("T") << QByteArray("TD.txt");
        static const char binaryBytes[] = "T\xe4\xb8\xad"
                                          "D\r\nS\r\n\0after zero\xff\x80\r\n";
        const QByteArray binary(binaryBytes, sizeof binaryBytes - 1);
        QTest::newRow("binary with CR LF, high bytes and a zero")
            << QByteArray("bin.txt") << binary << QByteArray("bin.txt");
        QTest::newRow("empty content gives an empty file")
            << QByteArray("empty.txt") << QByteArray() << QByteArray("empty.txt");
        QTest::newRow("name with GBK bytes, not UTF-8")
            << QByteArray("\xc4\xe3\xba\xc3\xca\xc0\xbd\xe7.txt") << QByteArray("x\r\n")
            << QByteArray("\xc4\xe3\xba\xc3\xca\xc0\xbd\xe7.txt");
        QTest::newRow("name ends at its first zero byte")
            << QByteArray("cut.txt\0ignored", 15) << QByteArray("c") << QByteArray("cut.txt");
        QTest::newRow("only the extension")
            << QByteArray(".txt") << QByteArray("e") << QByteArray(".txt");
        QTest::newRow("into an existing subdirectory")
            << QByteArray("sub/inner.txt") << QByteArray("s\r\n") << QByteArray("sub/inner.txt");
    }

    void writesExactBytes() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, writtenAs);

        const Text fullName = root + "/" + name.toStdString();
        QVERIFY(writeWholeFile(fullName, bytes.toStdString()));

        const std::string written = at(writtenAs.toStdString());
        QVERIFY(existsNoFollow(written));
        QCOMPARE(QByteArray::fromStdString(readBytes(written)), bytes);

        struct stat info {};
        QCOMPARE(::stat(written.c_str(), &info), 0);
        QVERIFY(S_ISREG(info.st_mode));
        QCOMPARE(info.st_mode & 0777, 0666 & ~currentUmask());
    }

    void truncatesALongerFile() {
        const std::string name = at("again.txt");
        QVERIFY(writeWholeFile(name, std::string(4096, 'L')));
        QVERIFY(writeWholeFile(name, "short\r\n"));
        QCOMPARE(readBytes(name), std::string("short\r\n"));
        QVERIFY(writeWholeFile(name, std::string()));
        QCOMPARE(readBytes(name), std::string());
        QVERIFY(existsNoFollow(name));
    }

    void emptyNameTouchesNothing() {
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir->path()));
        const auto before = snapshot(dir->path());
        const bool emptyWritten = writeWholeFile(Text(), "x");
        // A name whose first byte is zero is empty as a text.
        const bool zeroWritten = writeWholeFile(Text("\0x.txt", 6), "x");
        const auto after = snapshot(dir->path());
        QVERIFY(QDir::setCurrent(previous));
        QVERIFY(!emptyWritten);
        QVERIFY(!zeroWritten);
        QCOMPARE(after, before);
    }

    // Names the file system refuses, even to root: nothing is created or changed.
    void refusedNamesChangeNothing_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("directory that does not exist") << QByteArray("missing/x.txt");
        QTest::newRow("nested directories that do not exist") << QByteArray("a/b/c.txt");
        QTest::newRow("name of an existing directory") << QByteArray("sub");
        QTest::newRow("path through a regular file") << QByteArray("plain/x.txt");
        QTest::newRow("component longer than the system allows")
            << QByteArray(300, 'n').append(".txt");
        QTest::newRow("FIFO without a reader") << QByteArray("pipe.txt");
    }

    void refusedNamesChangeNothing() {
        QFETCH(QByteArray, name);
        const auto before = snapshot(dir->path());
        QVERIFY(!writeWholeFile(at(name.toStdString()), "must not land\r\n"));
        QCOMPARE(snapshot(dir->path()), before);
    }

    void symbolicLinkIsNotFollowed_data() {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("link to an existing file") << true;
        QTest::newRow("dangling link") << false;
    }

    void symbolicLinkIsNotFollowed() {
        QFETCH(bool, targetExists);
        QTemporaryDir outside;
        QVERIFY(outside.isValid());
        const std::string target = localPath(outside.path()) + "/target.txt";
        if (targetExists) {
            std::ofstream(target, std::ios::binary) << "target keeps this";
        }
        QCOMPARE(::symlink(target.c_str(), at("link.txt").c_str()), 0);

        QVERIFY(!writeWholeFile(at("link.txt"), "overwritten"));

        if (targetExists) {
            QCOMPARE(readBytes(target), std::string("target keeps this"));
        } else {
            QVERIFY(!existsNoFollow(target));
        }
        struct stat info {};
        QCOMPARE(::lstat(at("link.txt").c_str(), &info), 0);
        QVERIFY(S_ISLNK(info.st_mode));
    }

    // A program that holds a lock on the file finds it unchanged; once the lock is gone
    // the write goes through.
    void heldFileIsLeftAlone() {
        const std::string name = at("held.txt");
        QVERIFY(writeWholeFile(name, "first content"));
        const int holder = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX), 0);

        const bool whileHeld = writeWholeFile(name, "second");
        const std::string contentWhileHeld = readBytes(name);
        ::close(holder);

        QVERIFY(!whileHeld);
        QCOMPARE(contentWhileHeld, std::string("first content"));
        QVERIFY(writeWholeFile(name, "second"));
        QCOMPARE(readBytes(name), std::string("second"));
    }

    void staysInsideDirectory_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("inside");
        QTest::newRow("plain name") << QByteArray("T.txt") << true;
        QTest::newRow("subdirectory") << QByteArray("a/b.txt") << true;
        QTest::newRow("parent") << QByteArray("../x.txt") << false;
        QTest::newRow("down then up twice") << QByteArray("a/../../x") << false;
        QTest::newRow("down then up") << QByteArray("a/../x") << false;
        QTest::newRow("ends in parent") << QByteArray("a/..") << false;
        QTest::newRow("parent alone") << QByteArray("..") << false;
        QTest::newRow("dots starting a name") << QByteArray("..txt") << true;
        QTest::newRow("three dots") << QByteArray("...") << true;
        QTest::newRow("dots ending a name") << QByteArray("a../b..") << true;
        QTest::newRow("extension only") << QByteArray(".txt") << true;
        QTest::newRow("current directory segment") << QByteArray("./x") << true;
        QTest::newRow("absolute") << QByteArray("/etc/x") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("empty before a zero byte") << QByteArray("\0../x", 5) << false;
        QTest::newRow("parent after a zero byte is not part of it")
            << QByteArray("x\0/../y", 7) << true;
    }

    void staysInsideDirectory() {
        QFETCH(QByteArray, name);
        QFETCH(bool, inside);
        QCOMPARE(::staysInsideDirectory(name.toStdString()), inside);
    }

    void programDirectoryIsTheExecutablesDirectory() {
        const Text directory = programDirectory();
        QVERIFY(!directory.empty());
        QCOMPARE(directory.front(), '/');
        QVERIFY(directory.back() != '/');
        QCOMPARE(QString::fromStdString(directory), QCoreApplication::applicationDirPath());
        QVERIFY(QFileInfo::exists(QString::fromStdString(directory) + "/" +
                                  QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
    }
};

QTEST_GUILESS_MAIN(TestDumpFile)
#include "test_dump_file.moc"
