#include "core/textfile.h"
#include "testsupport.h"

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    // UTF-16LE with its mark, durably: no page of it is left to write back when
    // the call returns (cachestat, Linux 6.5); nothing else is left in the folder.
    void writesAndReads()
    {
        TestEnvironment env;
        QCOMPARE(TextFile::writeText(env.path(u"nowhere/x"_s), u"x"_s).error().number, ENOENT);
        QVERIFY(!TextFile::writeText(env.chats(), u"x"_s).ok() && QFileInfo(env.chats()).isDir());
        const QString path = env.path(u"m.QLIM"_s);
        const QString text = u"Ж"_s + QChar(0) + QString(1 << 20, 'x'_L1);
        QVERIFY(TextFile::writeText(path, text).ok());
        QVERIFY(fileBytes(path).startsWith(QByteArray("\xFF\xFE\x16\x04\0\0", 6)));
        QCOMPARE(TextFile::readText(path).value(), text);
        QCOMPARE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden), QStringList{u"m.QLIM"_s});
        for (const QByteArray &bytes :
             {QByteArray("\xD0\x81\xD0\xB6\0\xF0\x9F\x98\x80", 9),
              QByteArray("\xFE\xFF\x04\x01\x04\x36\0\0\xD8\x3D\xDE\x00", 12)})
            QCOMPARE(TextFile::readText(env.touch(u"f"_s, bytes)).value(),
                     u"Ёж"_s + QChar(0) + u"😀"_s);
        auto errorOf = [&](const QString &path) {
            const Result<QString> read = TextFile::readText(path);
            return read.ok() ? 0 : read.error().number;
        };
        QCOMPARE(errorOf(env.touch(u"bad-utf8"_s, "ab\xC3\x28")), int(ErrorCode::InvalidEncoding));
        QCOMPARE(errorOf(env.touch(u"odd-utf16"_s, "\xFF\xFE\x41\x00\x42")),
                 int(ErrorCode::InvalidEncoding));
        QCOMPARE(errorOf(env.chats()), int(ErrorCode::NotRegularFile));
        // Just over the cap (sparse): refused without being read.
        const QString over = env.touch(u"over"_s);
        QVERIFY(QFile::resize(over, TextFile::MaxFileSize + 1));
        QCOMPARE(errorOf(over), int(ErrorCode::FileTooLarge));
        QVERIFY(QFile::resize(over, TextFile::MaxFileSize));
        QCOMPARE(errorOf(over), 0);
        // Links and pipes are never followed or waited on.
        QVERIFY(QFile::link(over, env.path(u"link"_s)));
        QCOMPARE(errorOf(env.path(u"link"_s)), ELOOP);
        QCOMPARE(::mkfifo(QFile::encodeName(env.path(u"fifo"_s)).constData(), 0600), 0);
        QCOMPARE(errorOf(env.path(u"fifo"_s)), int(ErrorCode::NotRegularFile));
        // A writer killed at any moment leaves the file as it was or complete.
        const QString log = env.path(u"log.txt"_s);
        const QString texts[2] = {QString(1'500'000, 'a'_L1), QString(1'500'000, 'b'_L1)};
        QVERIFY(TextFile::writeText(log, texts[0]).ok());
        for (int round = 0; round < 6; ++round) {
            int written[2];
            QCOMPARE(::pipe(written), 0);
            const pid_t child = ::fork();
            for (int i = 1; child == 0; ++i) { // the writer: tells of each write done
                (void)TextFile::writeText(log, texts[i % 2]);
                (void)!::write(written[1], "w", 1);
            }
            char done[8];
            QVERIFY(child > 0 && ::read(written[0], done, size_t(1 + round)) > 0);
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(written[0]);
            ::close(written[1]);
            const QString read = TextFile::readText(log).value();
            QVERIFY(read == texts[0] || read == texts[1]);
        }

        struct statfs fs = {};
        quint64 range[2] = {0, 0},
                cache[5] = {}; // cached, dirty, writeback, evicted, recently evicted
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        const bool known = ::fstatfs(fd, &fs) == 0 && fs.f_type != 0x01021994 &&
                           fs.f_type != 0x858458f6 &&
                           ::syscall(451 /* cachestat */, fd, range, cache, 0) == 0;
        ::close(fd);
        if (!known)
            QSKIP("no page cache state here (tmpfs, ramfs, or a kernel before 6.5)");
        QVERIFY(cache[0] > 0 && cache[1] == 0 && cache[2] == 0);
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
