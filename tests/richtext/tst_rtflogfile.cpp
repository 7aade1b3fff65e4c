#include "core/textfile.h"
#include "richtext/rtflogfile.h"
#include "richtext/rtfreader.h"
#include "richtext/rtfwriter.h"
#include "testsupport.h"

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
    format.setFontPointSize(9);
    format.setForeground(colour);
    cursor.insertText(text + u"\r\n"_s, format);
}

QByteArray bytesOf(const QString &path)
{
    const Result<QByteArray> bytes = TextFile::readBytes(path, 1 << 30);
    return bytes ? bytes.value() : QByteArray();
}

// The log of the writer process after `count` paragraphs.
QByteArray expectedLog(int count)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    for (int i = 0; i < count; ++i)
        cursor.insertText(u"message %1 Ж\r\n"_s.arg(i));
    return writeRtf(document);
}

} // namespace

class TestRtfLogFile : public QObject
{
    Q_OBJECT

private slots:
    // Growth appends; anything else replaces the file; it always equals a full write.
    void keepsTheFileEqualToAFullWrite()
    {
        TestEnvironment env;
        const QString path = env.path(u"log.RTF"_s);
        QTextDocument document;
        RtfLogFile log(&document);
        const auto save = [&](RtfLogFile::Method method) {
            QVERIFY(log.save(path).ok());
            QCOMPARE(log.lastMethod(), method);
            QCOMPARE(bytesOf(path), writeRtf(document));
        };
        appendLine(document, u"first"_s);
        save(RtfLogFile::Method::Rewritten);
        QByteArray before = bytesOf(path);
        for (int i = 0; i < 20; ++i) {
            appendLine(document, u"line %1 {\\par}"_s.arg(i));
            save(RtfLogFile::Method::Appended);
            // Only the old final brace changed; everything before it is as it was.
            const QByteArray after = bytesOf(path);
            QVERIFY(after.startsWith(before.chopped(1)));
            QVERIFY(after.size() > before.size());
            before = after;
        }
        save(RtfLogFile::Method::None);

        appendLine(document, u"new colour"_s, QColor(1, 2, 3));
        save(RtfLogFile::Method::Rewritten);
        appendLine(document, u"same colour"_s, QColor(1, 2, 3));
        save(RtfLogFile::Method::Appended);

        QTextCursor(document.findBlockByNumber(2)).insertText(u"edited "_s);
        save(RtfLogFile::Method::Rewritten);

        // Someone else changed the file: it is replaced, never extended.
        QFile other(path);
        QVERIFY(other.open(QIODevice::Append));
        other.write("garbage");
        other.close();
        save(RtfLogFile::Method::Rewritten);
        appendLine(document, u"after"_s);
        QVERIFY(QFile::remove(path));
        save(RtfLogFile::Method::Rewritten);

        // Another path starts a new file.
        const QString second = env.path(u"second.RTF"_s);
        QVERIFY(log.save(second).ok());
        QCOMPARE(log.lastMethod(), RtfLogFile::Method::Rewritten);
        QCOMPARE(bytesOf(second), writeRtf(document));
    }

    void failedSaveIsRepeatedWhole()
    {
        TestEnvironment env;
        const QString folder = env.path(u"logs"_s);
        QDir().mkpath(folder);
        const QString path = folder + u"/log.RTF"_s;
        QTextDocument document;
        RtfLogFile log(&document);
        appendLine(document, u"first"_s);
        QVERIFY(log.save(path).ok());
        QVERIFY(QDir(folder).removeRecursively());
        appendLine(document, u"second"_s);
        const Status failed = log.save(path);
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error().number, ENOENT);
        QDir().mkpath(folder);
        appendLine(document, u"third"_s);
        QVERIFY(log.save(path).ok());
        QCOMPARE(log.lastMethod(), RtfLogFile::Method::Rewritten);
        QCOMPARE(bytesOf(path), writeRtf(document));
    }

    // A writer killed at random moments leaves a file that holds at least every
    // paragraph it reported saved: a complete log, or one with bytes of the next
    // save after its final brace, which readers ignore.
    void killedAtAnyMoment()
    {
        TestEnvironment env;
        const QString writer = QCoreApplication::applicationDirPath() + u"/rtflog_writer"_s;
        QVERIFY2(QFileInfo::exists(writer), qPrintable(writer));
        for (int round = 0; round < 10; ++round) {
            const QString path = env.path(u"log%1.RTF"_s.arg(round));
            QProcess process;
            process.start(writer, {path});
            QVERIFY(process.waitForStarted());
            const int target = int(QRandomGenerator::global()->bounded(1, 150));
            int reported = -1;
            QByteArray pending;
            while (reported < target && process.waitForReadyRead(10000)) {
                pending += process.readAllStandardOutput();
                const qsizetype end = pending.lastIndexOf('\n');
                if (end >= 0) {
                    const QList<QByteArray> lines = pending.left(end).split('\n');
                    reported = lines.last().toInt();
                    pending = pending.mid(end + 1);
                }
            }
            process.kill();
            QVERIFY(process.waitForFinished());
            QVERIFY(reported >= 0);

            const QByteArray bytes = bytesOf(path);
            QTextDocument read;
            QVERIFY(readRtf(bytes, &read).ok());
            const int saved = read.blockCount() - 1;
            QVERIFY2(saved >= reported + 1, qPrintable(u"%1 < %2"_s.arg(saved).arg(reported + 1)));
            const QByteArray expected = expectedLog(saved);
            QVERIFY(bytes.startsWith(expected));
            // Anything after the final brace is the start of the next save's new bytes.
            const QByteArray beyond = bytes.mid(expected.size());
            QVERIFY(expectedLog(saved + 1).mid(expected.size()).startsWith(beyond));
        }
    }
};

// A full QGuiApplication: the log lays its document out.
QTEST_MAIN(TestRtfLogFile)
#include "tst_rtflogfile.moc"
