#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "core/textfile.h"
#include "richtext/rtfwriter.h"
#include "richtext/rtfreader.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTextCursor>
#include <QTextDocument>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

using Messages = QList<std::pair<QString, QString>>; // header, text

// Writes a log as the chat does: each message a header "(HH:mm:ss - dd.MM.yyyy)
// Name:  " before its text, or "Name  (HH:mm:ss - dd.MM.yyyy)" alone on its line
// when the header is given with a trailing line break.
void writeLog(const QString &path, const Messages &messages)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    for (const auto &[header, text] : messages)
        cursor.insertText(u" \r\n"_s + header + text + u"\r\n"_s);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QVERIFY(TextFile::writeAtomically(path, writeRtf(document)).ok());
}

// Runs a search to its end; the results of each log come as one batch.
QList<QList<LogSearchResult>> searchAll(const QString &folder, const QString &query,
                                        bool *limited = nullptr)
{
    LogSearch search;
    QList<QList<LogSearchResult>> batches;
    QObject::connect(&search, &LogSearch::resultsFound, &search,
                     [&](const QList<LogSearchResult> &batch) { batches.append(batch); });
    QSignalSpy finished(&search, &LogSearch::finished);
    search.start(folder, query);
    if (!finished.wait(60000))
        QTest::qFail("the search did not finish", __FILE__, __LINE__);
    else if (limited)
        *limited = finished.first().first().toBool();
    return batches;
}

// The text a result selects in the document the viewer reads from its log.
QString selectedInLog(const LogSearchResult &result)
{
    QTextDocument document;
    (void)readRtf(fileBytes(result.logPath), &document);
    QTextCursor cursor(&document);
    cursor.setPosition(int(result.position));
    cursor.setPosition(int(result.position + result.length), QTextCursor::KeepAnchor);
    return cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

} // namespace

class TestLogSearch : public QObject
{
    Q_OBJECT

private slots:
    void matching_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("found"); // "sender HH:mm:ss: selected text", in order
        QTest::newRow("letter case")
            << u"ПРИВЕТ"_s << QStringList{u"Борис 09:00:01: Привет"_s, u"Alice 09:01:02: привет"_s};
        QTest::newRow("ё as е") << u"ЁЛК"_s
                                << QStringList{u"Борис 09:00:01: Ёлк"_s, u"Борис 09:02:03: елк"_s};
        QTest::newRow("phrase across breaks and blanks")
            << u"у  метро at the corner, {X}"_s
            << QStringList{u"Alice 09:03:04: у\nметро at the  corner, {x}"_s};
        QTest::newRow("not in headers") << u"Борис"_s << QStringList{};
        QTest::newRow("not across messages") << u"елка alice"_s << QStringList{};
    }

    // What a query finds in one log, where it points, and whose message it is.
    void matching()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, found);
        TestEnvironment env;
        writeLog(
            env.path(u"logs/2026-12-05 16-24-27.RTF"_s),
            {{u"(09:00:01 - 05.12.2026) Борис:  "_s, u"Привет! Встретимся у Ёлки"_s},
             {u"Alice  (09:01:02 - 05.12.2026)\r\n"_s, u"привет"_s},
             {u"(09:02:03 - 05.12.2026) Борис:  "_s, u"Купи елка"_s},
             {u"Alice  (09:03:04 - 05.12.2026)\r\n"_s, u"жду у\r\nметро at the  corner, {x}"_s},
             {u"(09:04:05 - 06.12.2026) Борис:  "_s, u"hello"_s}});
        QStringList results;
        for (const LogSearchResult &result : searchAll(env.path(u"logs"_s), query).value(0)) {
            QCOMPARE(result.logTime, QDateTime(QDate(2026, 12, 5), QTime(16, 24, 27)));
            QCOMPARE(result.messageTime.date(), QDate(2026, 12, 5));
            results.append(result.sender + u' ' + result.messageTime.toString(u"HH:mm:ss"_s) +
                           u": "_s + selectedInLog(result));
            // The line shows the match where its offset says.
            QCOMPARE(result.line.mid(result.lineOffset, result.length),
                     selectedInLog(result).replace(u'\n', u' '));
        }
        QCOMPARE(results, found);
    }

    // Logs come newest first, one batch each, whatever worker ends first; unreadable logs are
    // reported in their place and the search goes on; it stops at the limit of results.
    void orderLimitAndCancel()
    {
        TestEnvironment env;
        QStringList expected;
        for (int i = 12; i >= 1; --i) {
            expected.append(u"2026-%1-10 08-00-00.RTF"_s.arg(i, 2, 10, '0'_L1));
            // The newest logs are the largest, so older ones tend to finish first.
            writeLog(
                env.path(u"logs/"_s + expected.last()),
                Messages(i > 10 ? 2600 : 1, {u"(08:00:00 - 10.01.2026) A:  "_s, u"ключ ключ"_s}));
        }
        env.touch(u"logs/2026-06-15 08-00-00.RTF"_s, QByteArray("\x00\xff garbage", 10));
        expected.insert(6, u"2026-06-15 08-00-00.RTF"_s);
        QVERIFY(QFile::resize(env.touch(u"logs/2026-03-15 08-00-00.RTF"_s), MaxLogFileSize + 1));
        expected.insert(10, u"2026-03-15 08-00-00.RTF"_s);
        QDir().mkpath(env.path(u"logs/2026-12-31 08-00-00.RTF"_s)); // not a log: skipped

        bool limited = true;
        QList<QList<LogSearchResult>> batches =
            searchAll(env.path(u"logs"_s), u"КЛЮЧ  КЛЮЧ"_s, &limited);
        QStringList order;
        for (const QList<LogSearchResult> &batch : batches)
            order.append(QFileInfo(batch.last().logPath).fileName());
        QCOMPARE(order, expected);
        QVERIFY(!limited);
        QCOMPARE(batches.at(6).first().error->number, int(ErrorCode::RtfMalformed));
        QCOMPARE(batches.at(6).first().logTime, QDateTime(QDate(2026, 6, 15), QTime(8, 0)));
        QCOMPARE(batches.at(10).first().error->number, int(ErrorCode::LogTooLarge));

        // 2600 messages of two matches in each of the two newest logs pass the limit.
        batches = searchAll(env.path(u"logs"_s), u"ключ"_s, &limited);
        QVERIFY(limited);
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches.at(0).size() + batches.at(1).size(), LogSearch::MaxResults);

        // Cancelling and starting anew stop the work: nothing more arrives,
        // the workers go idle before they reach the end.
        // Large enough that the workers are far from the end when the first result arrives.
        writeLog(env.path(u"many/0.RTF"_s),
                 Messages(2000, {u"(08:00:00 - 10.01.2026) A:  "_s, u"find me"_s}));
        for (int i = 1; i < 300; ++i)
            QVERIFY(QFile::copy(env.path(u"many/0.RTF"_s), env.path(u"many/%1.RTF"_s.arg(i))));

        LogSearch search;
        QStringList lines;
        connect(&search, &LogSearch::resultsFound, this, [&](const QList<LogSearchResult> &batch) {
            lines.append(batch.first().line);
            if (lines.size() == 1)
                search.cancel();
        });
        QSignalSpy finished(&search, &LogSearch::finished);
        search.start(env.path(u"many"_s), u"find me"_s);
        QTRY_COMPARE(lines.size(), 1);
        QVERIFY(!search.isRunning());
        QTRY_VERIFY(!search.hasActiveWorkers());
        QVERIFY(search.logsTaken() < search.logCount());
        QCoreApplication::processEvents(); // anything the workers still queued arrives now
        QCOMPARE(lines.size(), 1);
        QCOMPARE(finished.size(), 0);
    }
};

QTEST_MAIN(TestLogSearch)
#include "tst_logsearch.moc"
