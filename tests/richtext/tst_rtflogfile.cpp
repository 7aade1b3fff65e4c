#include "richtext/rtflogfile.h"
#include "richtext/rtfwriter.h"
#include "testsupport.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/stat.h>
#include <unistd.h>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// A line for the log, and the same line in a document: the file must always be
// what writeRtf makes of the document.
void appendLine(QTextDocument &document, RtfLogFile &log, const QString &text,
                QColor colour = Qt::black, const QString &end = u"\r\n"_s)
{
    const TextRun run{text + end, 9, false, colour, Qt::AlignLeft, {}};
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setFontPointSize(run.points);
    format.setForeground(colour);
    cursor.insertText(run.text, format);
    log.append(run);
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
        RtfLogFile log(document.defaultFont().family());
        // Saves, and says what is wrong with the method or the file; empty when
        // nothing is. A rewrite leaves the old file whole under a link held to it.
        const QString held = env.path(u"logs/held"_s);
        const auto save = [&](RtfLogFile::Method method) -> QString {
            QFile::remove(held);
            const QByteArray before = fileBytes(path);
            const bool existed = ::link(QFile::encodeName(path), QFile::encodeName(held)) == 0;
            if (const Status saved = log.save(path); !saved)
                return u"save failed: error %1"_s.arg(saved.error().number);
            if (log.lastMethod() != method)
                return u"method %1, not %2"_s.arg(int(log.lastMethod())).arg(int(method));
            if (fileBytes(path) != writeRtf(document))
                return u"the file is no full write"_s;
            const bool replaced = existed && inodeOf(path) != inodeOf(held);
            if (existed && replaced != (method == RtfLogFile::Method::Rewritten))
                return replaced ? u"replaced, not extended"_s : u"written in place"_s;
            if (replaced && fileBytes(held) != before)
                return u"the old file changed"_s;
            return {};
        };
        appendLine(document, log, u"first"_s);
        QCOMPARE(save(RtfLogFile::Method::Rewritten), QString());
        QVERIFY(!(QFile::permissions(path) & 0x77)); // the user's alone: no group, no others
        for (int i = 0; i < 20; ++i) {
            const QByteArray before = fileBytes(path);
            appendLine(document, log, u"line %1 {\\par}"_s.arg(i));
            QCOMPARE(save(RtfLogFile::Method::Appended), QString());
            // Only the old final brace changed; everything before it is as it was.
            QVERIFY(fileBytes(path).startsWith(before.chopped(1)));
        }
        QCOMPARE(save(RtfLogFile::Method::None), QString());
        appendLine(document, log, u"new colour"_s, QColor(1, 2, 3));
        QCOMPARE(save(RtfLogFile::Method::Rewritten), QString());
        appendLine(document, log, u"same colour"_s, QColor(1, 2, 3));
        QCOMPARE(save(RtfLogFile::Method::Appended), QString());
        // Runs of one look in one paragraph are one run, as in the document.
        appendLine(document, log, u"one "_s, Qt::black, {});
        appendLine(document, log, u"paragraph"_s);
        QCOMPARE(save(RtfLogFile::Method::Appended), QString());
        // Someone else changed the file, or removed it: it is replaced, never extended.
        QFile other(path);
        QVERIFY(other.open(QIODevice::Append) && other.write("garbage") == 7);
        other.close();
        appendLine(document, log, u"after"_s);
        QCOMPARE(save(RtfLogFile::Method::Rewritten), QString());
        appendLine(document, log, u"gone"_s);
        QVERIFY(QFile::remove(path));
        QCOMPARE(save(RtfLogFile::Method::Rewritten), QString());
        QVERIFY(QDir(env.path(u"logs"_s)).removeRecursively());
        appendLine(document, log, u"lost"_s);
        QCOMPARE(log.save(path).error().number, ENOENT);
        QDir().mkpath(env.path(u"logs"_s));
        appendLine(document, log, u"found"_s);
        QCOMPARE(save(RtfLogFile::Method::Rewritten), QString());

        // The first save of a log never replaces what holds its name (another run's
        // log of the same second, a link), and leaves nothing behind when refused.
        const QString earlier = env.touch(u"2026-12-05 16-24-27.RTF"_s, "earlier log");
        const QString link = env.path(u"2026-12-05 16-24-28.RTF"_s);
        QVERIFY(QFile::link(env.path(u"outside.RTF"_s), link));
        QTextDocument fresh;
        RtfLogFile newLog(fresh.defaultFont().family());
        appendLine(fresh, newLog, u"first"_s);
        QCOMPARE(newLog.saveNew(earlier).error().number, EEXIST);
        QCOMPARE(newLog.saveNew(link).error().number, EEXIST);
        QCOMPARE(fileBytes(earlier), QByteArray("earlier log"));
        QVERIFY(!QFileInfo::exists(env.path(u"outside.RTF"_s)));
        const QString free = env.path(u"2026-12-05 16-24-29.RTF"_s);
        QVERIFY(newLog.saveNew(free).ok());
        QCOMPARE(fileBytes(free), writeRtf(fresh));
        QCOMPARE(QDir(env.root()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
};

// A full QGuiApplication: the log lays its document out.
QTEST_MAIN(TestRtfLogFile)
#include "tst_rtflogfile.moc"
