#include "richtext/rtflogfile.h"
#include "richtext/rtfreader.h"
#include "richtext/rtfwriter.h"
#include "testenv.h"
#include "core/textfile.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace quillet;

namespace {

void appendLine(QTextDocument &document, const QString &text, QColor colour = Qt::black)
{
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setFontPointSize(9);
    format.setForeground(colour);
    cursor.insertText(text + QStringLiteral("\r\n"), format);
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
        cursor.insertText(QStringLiteral("message %1 Ж\r\n").arg(i));
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
        const QString path = env.path(QStringLiteral("log.RTF"));
        QTextDocument document;
        RtfLogFile log(&document);
        const auto save = [&](RtfLogFile::Method method) {
            QVERIFY(log.save(path).ok());
            QCOMPARE(log.lastMethod(), method);
            QCOMPARE(bytesOf(path), writeRtf(document));
        };
        appendLine(document, QStringLiteral("first"));
        save(RtfLogFile::Method::Rewritten);
        QByteArray before = bytesOf(path);
        for (int i = 0; i < 20; ++i) {
            appendLine(document, QStringLiteral("line %1 {\\par}").arg(i));
            save(RtfLogFile::Method::Appended);
            // Only the old final brace changed; everything before it is as it was.
            const QByteArray after = bytesOf(path);
            QVERIFY(after.startsWith(before.chopped(1)));
            QVERIFY(after.size() > before.size());
            before = after;
        }
        save(RtfLogFile::Method::None);

        appendLine(document, QStringLiteral("new colour"), QColor(1, 2, 3));
        save(RtfLogFile::Method::Rewritten);
        appendLine(document, QStringLiteral("same colour"), QColor(1, 2, 3));
        save(RtfLogFile::Method::Appended);

        QTextCursor(document.findBlockByNumber(2)).insertText(QStringLiteral("edited "));
        save(RtfLogFile::Method::Rewritten);

        // Someone else changed the file: it is replaced, never extended.
        QFile other(path);
        QVERIFY(other.open(QIODevice::Append));
        other.write("garbage");
        other.close();
        save(RtfLogFile::Method::Rewritten);
        appendLine(document, QStringLiteral("after"));
        QVERIFY(QFile::remove(path));
        save(RtfLogFile::Method::Rewritten);

        // Another path starts a new file.
        const QString second = env.path(QStringLiteral("second.RTF"));
        QVERIFY(log.save(second).ok());
        QCOMPARE(log.lastMethod(), RtfLogFile::Method::Rewritten);
        QCOMPARE(bytesOf(second), writeRtf(document));
    }

    void failedSaveIsRepeatedWhole()
    {
        TestEnvironment env;
        const QString folder = env.path(QStringLiteral("logs"));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/log.RTF");
        QTextDocument document;
        RtfLogFile log(&document);
        appendLine(document, QStringLiteral("first"));
        QVERIFY(log.save(path).ok());
        QVERIFY(QDir(folder).removeRecursively());
        appendLine(document, QStringLiteral("second"));
        const Status failed = log.save(path);
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error().number, ENOENT);
        QDir().mkpath(folder);
        appendLine(document, QStringLiteral("third"));
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
        const QString writer =
            QCoreApplication::applicationDirPath() + QStringLiteral("/rtflog_writer");
        QVERIFY2(QFileInfo::exists(writer), qPrintable(writer));
        for (int round = 0; round < 10; ++round) {
            const QString path = env.path(QStringLiteral("log%1.RTF").arg(round));
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
            QVERIFY2(saved >= reported + 1,
                     qPrintable(QStringLiteral("%1 < %2").arg(saved).arg(reported + 1)));
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
