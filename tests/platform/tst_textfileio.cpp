#include "testenv.h"
#include "core/textfile.h"

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>

using namespace quillet;

class TestTextFileIO : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        TestEnvironment env;
        const QString path = env.path(QStringLiteral("m.QLIM"));
        const QString text = QStringLiteral("2012") + QChar(0) + QStringLiteral("Иван") + QChar(0) +
                             QStringLiteral("Привет 👋\r\nвторая") + QChar(0) + QChar(0);
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
        QCOMPARE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("m.QLIM")});
    }

    void readsEveryEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString sample = QStringLiteral("Ёж") + QChar(0) + QStringLiteral("😀");
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
        const Result<QString> read =
            TextFile::readText(env.touch(QStringLiteral("f"), bytes));
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
        QCOMPARE(errorOf(env.touch(QStringLiteral("bad-utf8"), "ab\xC3\x28")),
                 int(ErrorCode::InvalidEncoding));
        QCOMPARE(errorOf(env.touch(QStringLiteral("odd-utf16"), "\xFF\xFE\x41\x00\x42")),
                 int(ErrorCode::InvalidEncoding));
        QCOMPARE(errorOf(env.path(QStringLiteral("missing"))), ENOENT);
        QCOMPARE(errorOf(env.chats()), int(ErrorCode::NotRegularFile));
        QCOMPARE(errorOf(QString()), int(ErrorCode::EmptyPath));

        // A file just over the cap, and a sparse file of a terabyte: both are
        // refused at once, without being read.
        const QString over = env.touch(QStringLiteral("over"));
        QVERIFY(QFile::resize(over, TextFile::MaxFileSize + 1));
        QCOMPARE(errorOf(over), int(ErrorCode::FileTooLarge));
        const QString huge = env.touch(QStringLiteral("huge"));
        QVERIFY(QFile::resize(huge, qint64(1) << 40));
        QCOMPARE(errorOf(huge), int(ErrorCode::FileTooLarge));
        const QString atCap = env.touch(QStringLiteral("at-cap"));
        QVERIFY(QFile::resize(atCap, TextFile::MaxFileSize));
        QVERIFY(TextFile::readText(atCap).ok()); // NULs are valid UTF-8

        // Links and pipes are never followed or waited on.
        const QString link = env.path(QStringLiteral("link"));
        QVERIFY(QFile::link(over, link));
        QCOMPARE(errorOf(link), ELOOP);
        const QByteArray fifo = QFile::encodeName(env.path(QStringLiteral("fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(errorOf(QString::fromUtf8(fifo)), int(ErrorCode::NotRegularFile));
    }

    void writeFailuresAreReported()
    {
        TestEnvironment env;
        const Status missingFolder = TextFile::writeText(
            env.path(QStringLiteral("nowhere/x.QLIM")), QStringLiteral("x"));
        QVERIFY(!missingFolder.ok());
        QCOMPARE(missingFolder.error().number, ENOENT);
        const Status onFolder = TextFile::writeText(env.chats(), QStringLiteral("x"));
        QVERIFY(!onFolder.ok());
        QVERIFY(QFileInfo(env.chats()).isDir());
        QCOMPARE(QDir(env.root()).entryList(QDir::Hidden | QDir::Files), QStringList());
    }

    void createTextFileWritesEmptyText()
    {
        TestEnvironment env;
        const QString path = env.path(QStringLiteral("chats/Беседа.QLIMChat"));
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
        const QString path = env.path(QStringLiteral("log.txt"));
        const QString first(1'500'000, QLatin1Char('a'));
        const QString second(1'500'000, QLatin1Char('b'));
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
