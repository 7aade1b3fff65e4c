#include "core/textfile.h"
#include "richtext/rtflogfile.h"
#include "richtext/rtfreader.h"
#include "richtext/rtfwriter.h"
#include "testsupport.h"

#include <cstdio>
#include <functional>

#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

void appendLine(QTextDocument &document, const QString &text, QColor colour = Qt::black)
{
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(colour);
    cursor.insertText(text + u"\r\n"_s, format);
}

QByteArray bytesOf(const QString &path)
{
    const Result<QByteArray> bytes = TextFile::readBytes(path, 1 << 30);
    return bytes ? bytes.value() : QByteArray();
}

// The paragraph the writer process adds each time.
QString paragraph(int number)
{
    return u"message %1 Ж\r\n"_s.arg(number);
}

// The log of the writer process after `count` paragraphs.
QByteArray expectedLog(int count)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    for (int i = 0; i < count; ++i)
        cursor.insertText(paragraph(i));
    return writeRtf(document);
}

// The writer process: grows a log a paragraph at a time, printing the number of
// each paragraph once its save has ended, until it is killed.
int writeUntilKilled(const QString &path)
{
    QTextDocument document;
    RtfLogFile log(&document);
    QTextCursor cursor(&document);
    for (int i = 0;; ++i) {
        cursor.insertText(paragraph(i));
        if (!log.save(path).ok())
            return 1;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}

} // namespace

class TestRtfLogFile : public QObject
{
    Q_OBJECT

private slots:
    // Growth appends; anything else replaces the file; it always equals a full
    // write, and a failed save is made good by the next one, whole.
    void keepsTheFileEqualToAFullWrite()
    {
        TestEnvironment env;
        const QString path = env.path(u"logs/log.RTF"_s);
        QDir().mkpath(env.path(u"logs"_s));
        QTextDocument document;
        RtfLogFile log(&document);
        const auto save = [&](RtfLogFile::Method method, const QString &to) {
            QVERIFY(log.save(to).ok());
            QCOMPARE(log.lastMethod(), method);
            QCOMPARE(bytesOf(to), writeRtf(document));
        };
        appendLine(document, u"first"_s);
        save(RtfLogFile::Method::Rewritten, path);
        QCOMPARE(QFileInfo(path).permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadUser | QFileDevice::WriteUser);
        for (int i = 0; i < 20; ++i) {
            const QByteArray before = bytesOf(path);
            appendLine(document, u"line %1 {\\par}"_s.arg(i));
            save(RtfLogFile::Method::Appended, path);
            // Only the old final brace changed; everything before it is as it was.
            QVERIFY(bytesOf(path).startsWith(before.chopped(1)));
        }
        save(RtfLogFile::Method::None, path);
        appendLine(document, u"new colour"_s, QColor(1, 2, 3));
        save(RtfLogFile::Method::Rewritten, path);
        appendLine(document, u"same colour"_s, QColor(1, 2, 3));
        save(RtfLogFile::Method::Appended, path);
        // Edits, and anything that changes the header, rewrite the file.
        QTextCharFormat red;
        red.setForeground(QColor(255, 0, 0));
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        const QList<std::function<void()>> edits{
            [&] { QTextCursor(document.findBlockByNumber(2)).insertText(u"edited "_s); },
            [&] { QTextCursor(document.findBlockByNumber(3)).mergeBlockCharFormat(red); },
            [&] { QTextCursor(document.findBlockByNumber(5)).mergeBlockFormat(centred); },
            [&] {
                QTextCursor remove(document.findBlockByNumber(6));
                remove.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 3);
                remove.removeSelectedText();
            },
            [&] { document.setDefaultFont(QFont(u"Serif"_s, 11)); }};
        for (const auto &edit : edits) {
            edit();
            save(RtfLogFile::Method::Rewritten, path);
        }
        // Someone else changed the file, or removed it: it is replaced, never extended.
        QFile other(path);
        QVERIFY(other.open(QIODevice::Append) && other.write("garbage") == 7);
        other.close();
        save(RtfLogFile::Method::Rewritten, path);
        appendLine(document, u"after"_s);
        QVERIFY(QFile::remove(path));
        save(RtfLogFile::Method::Rewritten, path);
        QVERIFY(QDir(env.path(u"logs"_s)).removeRecursively());
        appendLine(document, u"lost"_s);
        QCOMPARE(log.save(path).error().number, ENOENT);
        QDir().mkpath(env.path(u"logs"_s));
        appendLine(document, u"found"_s);
        save(RtfLogFile::Method::Rewritten, path);
        appendLine(document, u"elsewhere"_s);
        save(RtfLogFile::Method::Rewritten, env.path(u"second.RTF"_s));
    }

    // The first save of a log never replaces what holds its name (another run's
    // log of the same second, a link), and leaves nothing behind when refused.
    void newLogNeverOverwrites()
    {
        TestEnvironment env;
        const QString earlier = env.touch(u"2026-12-05 16-24-27.RTF"_s, "earlier log");
        const QString link = env.path(u"2026-12-05 16-24-28.RTF"_s);
        QVERIFY(QFile::link(env.path(u"outside.RTF"_s), link));
        QTextDocument document;
        RtfLogFile log(&document);
        appendLine(document, u"first"_s);
        QCOMPARE(log.saveNew(earlier).error().number, EEXIST);
        QCOMPARE(log.saveNew(link).error().number, EEXIST);
        QCOMPARE(bytesOf(earlier), QByteArray("earlier log"));
        QVERIFY(!QFileInfo::exists(env.path(u"outside.RTF"_s)));
        const QString free = env.path(u"2026-12-05 16-24-29.RTF"_s);
        QVERIFY(log.saveNew(free).ok());
        QCOMPARE(bytesOf(free), writeRtf(document));
        QCOMPARE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // A writer killed at random moments leaves a file that holds at least every
    // paragraph it reported saved: a complete log, or one with bytes of the next
    // save after its final brace, which readers ignore.
    void killedAtAnyMoment()
    {
        TestEnvironment env;
        for (int round = 0; round < 10; ++round) {
            const QString path = env.path(u"log%1.RTF"_s.arg(round));
            QProcess process;
            process.start(QCoreApplication::applicationFilePath(), {u"--write"_s, path});
            QVERIFY(process.waitForStarted());
            const int target = int(QRandomGenerator::global()->bounded(1, 150));
            int reported = -1;
            while (reported < target && process.waitForReadyRead(10000)) {
                while (process.canReadLine())
                    reported = process.readLine().trimmed().toInt();
            }
            process.kill();
            QVERIFY(process.waitForFinished());
            QVERIFY(reported >= 0);

            const QByteArray bytes = bytesOf(path);
            QTextDocument read;
            QVERIFY(readRtf(bytes, &read).ok());
            const int saved = read.blockCount() - 1;
            QVERIFY2(saved > reported, qPrintable(u"%1 <= %2"_s.arg(saved).arg(reported)));
            const QByteArray expected = expectedLog(saved);
            QVERIFY(bytes.startsWith(expected));
            QVERIFY(
                expectedLog(saved + 1).mid(expected.size()).startsWith(bytes.mid(expected.size())));
        }
    }
};

// A full QGuiApplication: the log lays its document out.
int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--write") == 0)
        return writeUntilKilled(QString::fromLocal8Bit(argv[2]));
    TestRtfLogFile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_rtflogfile.moc"
