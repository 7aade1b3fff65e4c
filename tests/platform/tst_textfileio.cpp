#include "core/textfile.h"
#include "testsupport.h"

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestTextFileIO : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        TestEnvironment env;
        const QString path = env.path(u"m.QLIM"_s);
        const QString text = u"2012"_s + QChar(0) + u"Иван"_s + QChar(0) + u"Привет 👋\r\nвторая"_s +
                             QChar(0) + QChar(0);
        QVERIFY(TextFile::writeText(path, text).ok());
        const Result<QString> read = TextFile::readText(path);
        QVERIFY(read.ok());
        QCOMPARE(read.value(), text);
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(raw.readAll().startsWith(QByteArray("\xFF\xFE"
                                                    "2\x00",
                                                    4)));
        // Nothing but the file itself is left in the folder.
        QCOMPARE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden), QStringList{u"m.QLIM"_s});
    }

    void readsEveryEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString sample = u"Ёж"_s + QChar(0) + u"😀"_s;
        QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF") + sample.toUtf8() << sample;
        QTest::newRow("utf-8 plain") << sample.toUtf8() << sample;
        QByteArray be("\xFE\xFF");
        for (QChar c : sample) {
            be.append(char(c.unicode() >> 8));
            be.append(char(c.unicode() & 0xFF));
        }
        QTest::newRow("utf-16be") << be << sample;
        QTest::newRow("utf-16le") << TextFile::encode(sample) << sample;
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void readsEveryEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        TestEnvironment env;
        const Result<QString> read = TextFile::readText(env.touch(u"f"_s, bytes));
        QVERIFY(read.ok());
        QCOMPARE(read.value(), text);
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
        QCOMPARE(errorOf(QString()), int(ErrorCode::EmptyPath));

        // A file just over the cap, and a sparse file of a terabyte: both are
        // refused at once, without being read.
        const QString over = env.touch(u"over"_s);
        QVERIFY(QFile::resize(over, TextFile::MaxFileSize + 1));
        QCOMPARE(errorOf(over), int(ErrorCode::FileTooLarge));
        const QString huge = env.touch(u"huge"_s);
        QVERIFY(QFile::resize(huge, qint64(1) << 40));
        QCOMPARE(errorOf(huge), int(ErrorCode::FileTooLarge));
        const QString atCap = env.touch(u"at-cap"_s);
        QVERIFY(QFile::resize(atCap, TextFile::MaxFileSize));
        QVERIFY(TextFile::readText(atCap).ok()); // NULs are valid UTF-8

        // Links and pipes are never followed or waited on.
        const QString link = env.path(u"link"_s);
        QVERIFY(QFile::link(over, link));
        QCOMPARE(errorOf(link), ELOOP);
        const QByteArray fifo = QFile::encodeName(env.path(u"fifo"_s));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(errorOf(QString::fromUtf8(fifo)), int(ErrorCode::NotRegularFile));
    }

    void writeFailuresAreReported()
    {
        TestEnvironment env;
        const Status missingFolder = TextFile::writeText(env.path(u"nowhere/x.QLIM"_s), u"x"_s);
        QVERIFY(!missingFolder.ok());
        QCOMPARE(missingFolder.error().number, ENOENT);
        const Status onFolder = TextFile::writeText(env.chats(), u"x"_s);
        QVERIFY(!onFolder.ok());
        QVERIFY(QFileInfo(env.chats()).isDir());
        QCOMPARE(QDir(env.root()).entryList(QDir::Hidden | QDir::Files), QStringList());
    }

    void createTextFileWritesEmptyText()
    {
        TestEnvironment env;
        const QString path = env.path(u"chats/Беседа.QLIMChat"_s);
        QVERIFY(TextFile::createText(path, QString()).ok());
        QCOMPARE(QFileInfo(path).size(), 2); // the byte-order mark alone
        const Result<QString> read = TextFile::readText(path);
        QVERIFY(read.ok());
        QVERIFY(read.value().isEmpty());
    }

    // A writer killed at any moment leaves the target either as it was or
    // complete, never half written.
    void interruptedWriteNeverLeavesHalfAFile()
    {
        TestEnvironment env;
        const QString path = env.path(u"log.txt"_s);
        const QString first(1'500'000, 'a'_L1);
        const QString second(1'500'000, 'b'_L1);
        QVERIFY(TextFile::writeText(path, first).ok());
        for (int round = 0; round < 6; ++round) {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                for (;;) {
                    (void)TextFile::writeText(path, second);
                    (void)TextFile::writeText(path, first);
                }
            }
            ::usleep(20'000 + round * 7'000);
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            const Result<QString> read = TextFile::readText(path);
            QVERIFY(read.ok());
            QVERIFY(read.value() == first || read.value() == second);
        }
    }
};

QTEST_GUILESS_MAIN(TestTextFileIO)
#include "tst_textfileio.moc"
