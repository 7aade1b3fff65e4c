#include "core/textfile.h"
#include "testsupport.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// The page cache's state of a whole file (cachestat, Linux 6.5).
struct CacheStat
{
    quint64 cached = 0, dirty = 0, writeback = 0, evicted = 0, recentlyEvicted = 0;
};

bool cacheStat(const QString &path, CacheStat &stat)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const quint64 wholeFile[2] = {0, 0};
    const long result = ::syscall(451 /* cachestat */, fd, wholeFile, &stat, 0);
    ::close(fd);
    return fd >= 0 && result == 0;
}

} // namespace

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString sample = u"Ёж"_s + QChar(0) + u"😀"_s;
        QByteArray be("\xFE\xFF");
        for (QChar c : sample)
            be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
        QTest::newRow("utf-8 with mark") << QByteArray("\xEF\xBB\xBF") + sample.toUtf8();
        QTest::newRow("utf-8") << sample.toUtf8();
        QTest::newRow("utf-16be") << be;
        QTest::newRow("utf-16le") << QByteArray("\xFF\xFE\x01\x04\x36\x04\0\0\x3D\xD8\x00\xDE", 12);
    }

    void readsEveryEncoding()
    {
        QFETCH(QByteArray, bytes);
        TestEnvironment env;
        const Result<QString> read = TextFile::readText(env.touch(u"f"_s, bytes));
        QVERIFY(read.ok());
        QCOMPARE(read.value(), u"Ёж"_s + QChar(0) + u"😀"_s);
    }

    // Written as UTF-16LE with its mark, durably (no page left to write back
    // when the call returns), and nothing else is left in the folder.
    void writesDurably()
    {
        TestEnvironment env;
        const QString path = env.path(u"m.QLIM"_s);
        QVERIFY(TextFile::createText(path, QString()).ok());
        QCOMPARE(QFileInfo(path).size(), 2);
        QVERIFY(QFile::remove(path));
        const QString text = u"Привет"_s + QChar(0) + QString(1 << 20, 'x'_L1);
        QVERIFY(TextFile::writeText(path, text).ok());
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(raw.readAll().startsWith(QByteArray("\xFF\xFE\x1F\x04", 4)));
        QCOMPARE(TextFile::readText(path).value(), text);
        QCOMPARE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden), QStringList{u"m.QLIM"_s});

        struct statfs fs = {};
        CacheStat cache;
        if (::statfs(QFile::encodeName(path).constData(), &fs) != 0 || fs.f_type == 0x01021994 ||
            fs.f_type == 0x858458f6 || !cacheStat(path, cache))
            QSKIP("no page cache state here (tmpfs, ramfs or a kernel before 6.5)");
        QVERIFY(cache.cached > 0);
        QCOMPARE(cache.dirty + cache.writeback, quint64(0));
    }

    void refusesBadInput()
    {
        TestEnvironment env;
        auto errorOf = [&](const QString &path) {
            const Result<QString> read = TextFile::readText(path);
            return read.ok() ? 0 : read.error().number;
        };
        QCOMPARE(errorOf(env.touch(u"bad-utf8"_s, "ab\xC3\x28")), int(ErrorCode::InvalidEncoding));
        QCOMPARE(errorOf(env.touch(u"odd-utf16"_s, "\xFF\xFE\x41\x00\x42")),
                 int(ErrorCode::InvalidEncoding));
        QCOMPARE(errorOf(env.path(u"missing"_s)), ENOENT);
        QCOMPARE(errorOf(env.chats()), int(ErrorCode::NotRegularFile));
        // Just over the cap, and a sparse terabyte: refused without being read.
        const QString over = env.touch(u"over"_s);
        QVERIFY(QFile::resize(over, TextFile::MaxFileSize + 1));
        QCOMPARE(errorOf(over), int(ErrorCode::FileTooLarge));
        QVERIFY(QFile::resize(over, qint64(1) << 40));
        QCOMPARE(errorOf(over), int(ErrorCode::FileTooLarge));
        QVERIFY(QFile::resize(over, TextFile::MaxFileSize));
        QCOMPARE(errorOf(over), 0);
        // Links and pipes are never followed or waited on.
        QVERIFY(QFile::link(over, env.path(u"link"_s)));
        QCOMPARE(errorOf(env.path(u"link"_s)), ELOOP);
        QCOMPARE(::mkfifo(QFile::encodeName(env.path(u"fifo"_s)).constData(), 0600), 0);
        QCOMPARE(errorOf(env.path(u"fifo"_s)), int(ErrorCode::NotRegularFile));
    }

    void writeFailuresLeaveNothing()
    {
        TestEnvironment env;
        QCOMPARE(TextFile::writeText(env.path(u"nowhere/x"_s), u"x"_s).error().number, ENOENT);
        QCOMPARE(TextFile::writeText(env.touch(u"file"_s) + u"/x"_s, u"x"_s).error().number,
                 ENOTDIR);
        QVERIFY(!TextFile::writeText(env.chats(), u"x"_s).ok());
        QVERIFY(QFileInfo(env.chats()).isDir());
        QCOMPARE(QDir(env.root()).entryList(QDir::Hidden | QDir::Files), QStringList{u"file"_s});
    }

    // A writer killed at any moment leaves the file as it was or complete.
    void interruptedWriteNeverLeavesHalfAFile()
    {
        TestEnvironment env;
        const QString path = env.path(u"log.txt"_s);
        const QString first(1'500'000, 'a'_L1);
        const QString second(1'500'000, 'b'_L1);
        QVERIFY(TextFile::writeText(path, first).ok());
        for (int round = 0; round < 6; ++round) {
            int ready[2];
            QCOMPARE(::pipe(ready), 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                for (int i = 0;; ++i) {
                    (void)TextFile::writeText(path, i % 2 ? first : second);
                    (void)!::write(ready[1], "w", 1);
                }
            }
            char done[8];
            QVERIFY(::read(ready[0], done, size_t(1 + round)) > 0); // some writes in
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(ready[0]);
            ::close(ready[1]);
            const Result<QString> read = TextFile::readText(path);
            QVERIFY(read.ok());
            QVERIFY(read.value() == first || read.value() == second);
        }
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
