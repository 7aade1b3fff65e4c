#include "core/textfile.h"
#include "logsviewer/earliermessages.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "richtext/rtfreader.h"
#include "richtext/rtfwriter.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QTextCursor>
#include <QTextDocument>
#include <QThreadPool>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

using Messages = QList<std::pair<QString, QString>>; // header, text

// Writes a log as the chat does: each message a header "(HH:mm:ss - dd.MM.yyyy)
// Name:  " before its text, or "Name  (HH:mm:ss - dd.MM.yyyy)" alone on its line
// when the header is given with a trailing line break.
// A message with an empty header is a time line, as the chat puts one after a pause.
QByteArray logRtf(const Messages &messages)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    for (const auto &[header, text] : messages)
        cursor.insertText(u" \r\n"_s + header + text + u"\r\n"_s);
    return writeRtf(document);
}

void writeLog(const QString &path, const Messages &messages)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QVERIFY(TextFile::writeAtomically(path, logRtf(messages)).ok());
}

// Message `i` of a long conversation, its header in either form.
std::pair<QString, QString> numbered(int i, const QString &name = u"Вера"_s)
{
    const QString stamp = QTime(10, 0).addSecs(i).toString(u"HH:mm:ss - 05.12.2026"_s);
    if (i % 2)
        return {u'(' + stamp + u") "_s + name + u":  "_s, u"m"_s + QString::number(i)};
    return {name + u"  ("_s + stamp + u")\r\n"_s, u"m"_s + QString::number(i)};
}

Messages numberedRange(int from, int to)
{
    Messages messages;
    for (int i = from; i < to; ++i)
        messages.append(numbered(i));
    return messages;
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

// Messages as the rows below give them: "sender HH:mm:ss dd.MM.yyyy: text".
QString described(const EarlierMessage &message)
{
    return message.sender + u' ' + formatTime(message.time) + u' ' + formatDate(message.time, 0) +
           u": "_s + message.text;
}

QStringList describedRange(int from, int to, const QString &name = u"Вера"_s)
{
    QStringList lines;
    for (int i = from; i < to; ++i)
        lines.append(
            u"%1 %2: m%3"_s.arg(name, QTime(10, 0).addSecs(i).toString(u"HH:mm:ss 05.12.2026"_s))
                .arg(i));
    return lines;
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
        // Lines shaped as headers but naming no real time or date are text.
        QTest::newRow("not in headers")
            << u"Борис"_s << QStringList{u"Alice 09:01:02: Борис"_s, u"Alice 09:01:02: Борис"_s};
        QTest::newRow("not across messages") << u"елка alice"_s << QStringList{};
    }

    // What a query finds in one log, where it points, and whose message it is.
    void matching()
    {
        QFETCH(QString, query);
        TestEnvironment env;
        writeLog(
            env.path(u"logs/2026-12-05 16-24-27.RTF"_s),
            {{u"(09:00:01 - 05.12.2026) Борис:  "_s, u"Привет! Встретимся у Ёлки"_s},
             {u"Alice  (09:01:02 - 05.12.2026)\r\n"_s,
              u"привет\r\n(24:00:00 - 05.12.2026) Борис:  x\r\nБорис  (07:08:09 - 30.02.2026)"_s},
             {u"(09:02:03 - 05.12.2026) Борис:  "_s, u"Купи елка"_s},
             {u"Alice  (09:03:04 - 05.12.2026)\r\n"_s, u"жду у\r\nметро at the  corner, {x}"_s},
             {u"(09:04:05 - 06.12.2026) Борис:  "_s, u"hello"_s}});
        QStringList results;
        for (const LogSearchResult &result : searchAll(env.path(u"logs"_s), query).value(0)) {
            QCOMPARE(result.logTime, QDateTime(QDate(2026, 12, 5), QTime(16, 24, 27)));
            QCOMPARE(result.messageTime.date(), QDate(2026, 12, 5));
            results.append(result.sender + u' ' + result.messageTime.toString(u"HH:mm:ss"_s) +
                           u": "_s + selectedInLog(result));
        }
        QTEST(results, "found");
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
        auto batches = searchAll(env.path(u"logs"_s), u"КЛЮЧ  КЛЮЧ"_s, &limited);
        QStringList order;
        for (const QList<LogSearchResult> &batch : batches)
            order.append(QFileInfo(batch.last().logPath).fileName());
        QCOMPARE(order, expected);
        QVERIFY(!limited);
        QCOMPARE(batches.at(6).first().error->number, int(ErrorCode::RtfMalformed));
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

    void earlierMessages_data()
    {
        QTest::addColumn<QList<Messages>>("logs"); // oldest first
        QTest::addColumn<QByteArray>("newest");    // a newest log of these bytes, "/" a folder
        QTest::addColumn<QDateTime>("sessionStart");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const QList<Messages> &logs,
                            const QStringList &expected, const QByteArray &newest = {},
                            const QDateTime &sessionStart = {}) {
            QTest::newRow(name) << logs << newest << sessionStart << expected;
        };
        const QList<Messages> two = {numberedRange(0, 2)};
        const QStringList older = describedRange(0, 2);
        row("both header forms, line breaks, a time line",
            {{{u"(09:00:01 - 04.12.2026) Борис:  "_s, u"раз"_s},
              {u"Alice  (09:01:02 - 04.12.2026)\r\n"_s, u"два\r\n три\r\n09:30:00"_s}},
             {{u"(09:02:03 - 05.12.2026) Борис:  "_s, u"x\r\n\r\ny"_s},
              {QString(), u"09:10:00"_s},
              {u"Alice  (09:10:00 - 05.12.2026)\r\n"_s, u"конец"_s}}},
            {u"Борис 09:00:01 04.12.2026: раз"_s,
             u"Alice 09:01:02 04.12.2026: два\n три\n09:30:00"_s,
             u"Борис 09:02:03 05.12.2026: x\n\ny"_s, u"Alice 09:10:00 05.12.2026: конец"_s});
        row("the last 50, across logs",
            {numberedRange(0, 5), numberedRange(5, 45), numberedRange(45, 75)},
            describedRange(25, 75));
        // The first chunk read begins inside the long header of the 50th message from
        // the end: that message comes whole from a larger chunk, never from its part.
        const QString longName = QString(12000, u'Б');
        row("a message cut at the chunk's start",
            {numberedRange(0, 4), Messages{numbered(4, longName)} + numberedRange(5, 54)},
            describedRange(4, 5, longName) + describedRange(5, 54));
        // A log read only in part: older logs would leave a gap.
        const Messages partRead{{u"(09:00:00 - 05.12.2026) Борис:  "_s,
                                 QString(EarlierMessagesLoader::MaxBytesPerLog, u'x')}};
        row("no older log past a part not read",
            {numberedRange(0, 2), partRead + numberedRange(2, 4)}, describedRange(2, 4));
        row("the session's own log left out", {numberedRange(0, 2), numberedRange(2, 4)}, older, {},
            QDateTime(QDate(2026, 12, 2), QTime(10, 0)));
        // An unreadable or hostile newest log is skipped; the one before it is read.
        row("not RTF", two, older, "plain text\r\n\\pard}");
        row("cut short", two, older, logRtf(numberedRange(7, 9)).chopped(4));
        row("a folder", two, older, "/");
        row("huge, no paragraph of ours", two, older,
            "{\\rtf1\\ansi\r\n\\pard "_ba +
                QByteArray(EarlierMessagesLoader::MaxBytesPerLog + 1, 'x') + '}');
    }

    // The end of the conversation so far, loaded off the event loop.
    void earlierMessages()
    {
        QFETCH(QList<Messages>, logs);
        QFETCH(QByteArray, newest);
        QFETCH(QDateTime, sessionStart);
        TestEnvironment env;
        const QString folder = env.path(u"logs"_s);
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < logs.size(); ++i)
            writeLog(folder + u"/2026-12-%1 10-00-00.RTF"_s.arg(i + 1, 2, 10, '0'_L1), logs.at(i));
        if (newest == "/")
            QVERIFY(QDir().mkpath(folder + u"/2026-12-31 10-00-00.RTF"_s));
        else if (!newest.isNull())
            env.touch(u"logs/2026-12-31 10-00-00.RTF"_s, newest);

        // A loading started before is dropped, even once its result is waiting.
        writeLog(env.path(u"other/2026-12-01 10-00-00.RTF"_s), numberedRange(90, 91));
        EarlierMessagesLoader loader;
        QSignalSpy loaded(&loader, &EarlierMessagesLoader::loaded);
        loader.start(env.path(u"other"_s));
        QThreadPool::globalInstance()->waitForDone();
        loader.start(folder, sessionStart);
        QCOMPARE(loaded.size(), 0); // never from within start()
        QVERIFY(loaded.wait());
        QCoreApplication::processEvents();
        QCOMPARE(loaded.size(), 1);
        QStringList found;
        for (const EarlierMessage &message : loaded.first().first().value<QList<EarlierMessage>>())
            found.append(described(message));
        QTEST(found, "expected");
    }
};

QTEST_MAIN(TestLogSearch)
#include "tst_logsearch.moc"
