#include "core/settingsstore.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "richtext/rtflogfile.h"
#include "richtext/rtfreader.h"
#include "richtext/rtftextscanner.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QTextCursor>
#include <QTextDocument>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

struct Message
{
    QString sender;
    QString time; // "HH:mm:ss - dd.MM.yyyy"
    QString text;
    bool separateLine = false; // the header alone on its line: "Name  (time)"
};

// Writes a log as the chat does: spacer, bold header, body lines.
void writeLog(const QString &path, const QList<Message> &messages)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    for (const Message &message : messages) {
        if (!document.isEmpty())
            cursor.insertText(u" \r\n"_s);
        cursor.insertText(message.separateLine
                              ? message.sender + u"  ("_s + message.time + u")\r\n"_s
                              : u'(' + message.time + u") "_s + message.sender + u":  "_s);
        cursor.insertText(message.text + u"\r\n"_s);
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QVERIFY(RtfLogFile(&document).save(path).ok());
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
    if (finished.wait(60000) && limited)
        *limited = finished.first().first().toBool();
    return batches;
}

// The text a result selects in the document the viewer reads from its log.
QString selectedInLog(const LogSearchResult &result)
{
    QFile file(result.logPath);
    QTextDocument document;
    if (!file.open(QIODevice::ReadOnly) || !readRtf(file.readAll(), &document).ok())
        return {};
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
        QTest::newRow("е finds ё") << u"елк"_s << QStringList{u"Борис 09:00:01: Ёлк"_s,
                                                              u"Борис 09:02:03: ёлк"_s};
        QTest::newRow("Ё finds е") << u"ЁЖИК"_s << QStringList{u"Alice 09:01:02: ежик"_s};
        QTest::newRow("across a line break")
            << u"у  метро"_s << QStringList{u"Alice 09:03:04: у\nметро"_s};
        QTest::newRow("phrase across blanks")
            << u"at  the corner, {X}"_s << QStringList{u"Борис 09:02:03: at the  corner, {x}"_s};
        QTest::newRow("not in headers") << u"Борис"_s << QStringList{};
        QTest::newRow("not across messages") << u"hello привет"_s << QStringList{};
        QTest::newRow("blank query") << u"  \t "_s << QStringList{};
    }

    // What a query finds in one log, where it points, and whose message it is.
    void matching()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, found);
        TestEnvironment env;
        writeLog(env.path(u"logs/2026-12-05 16-24-27.RTF"_s),
                 {{u"Борис"_s, u"09:00:01 - 05.12.2026"_s, u"Привет! Встретимся у Ёлки"_s},
                  {u"Alice"_s, u"09:01:02 - 05.12.2026"_s, u"привет, ежик; room 42"_s, true},
                  {u"Борис"_s, u"09:02:03 - 05.12.2026"_s, u"Купи ёлка\r\nat the  corner, {x}"_s},
                  {u"Alice"_s, u"09:03:04 - 05.12.2026"_s, u"жду у\r\nметро"_s, true},
                  {u"Борис"_s, u"09:04:05 - 06.12.2026"_s, u"hello"_s}});
        QStringList results;
        for (const LogSearchResult &result : searchAll(env.path(u"logs"_s), query).value(0)) {
            QVERIFY(!result.error);
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

    // Logs come newest first, each log's results in text order, whatever worker ends
    // first; unreadable logs are reported in their place and the search goes on.
    void orderAndUnreadableLogs()
    {
        TestEnvironment env;
        QStringList expected;
        for (int i = 12; i >= 1; --i) {
            const QString name = u"2026-%1-10 08-00-00.RTF"_s.arg(i, 2, 10, '0'_L1);
            expected.append(name);
            // The newest logs are the largest, so older ones tend to finish first.
            writeLog(env.path(u"logs/"_s + name),
                     QList<Message>(i > 10 ? 3000 : 3, {u"A"_s, u"08:00:00 - 10.01.2026"_s,
                                                        u"ключ"_s}));
        }
        env.touch(u"logs/2026-06-15 08-00-00.RTF"_s, QByteArray("\x00\xff garbage", 10));
        expected.insert(6, u"2026-06-15 08-00-00.RTF"_s);
        QVERIFY(QFile::resize(env.touch(u"logs/2026-03-15 08-00-00.RTF"_s), MaxLogFileSize + 1));
        expected.insert(10, u"2026-03-15 08-00-00.RTF"_s);
        QDir().mkpath(env.path(u"logs/2026-12-31 08-00-00.RTF"_s)); // not a log: skipped

        const QList<QList<LogSearchResult>> batches = searchAll(env.path(u"logs"_s), u"КЛЮЧ"_s);
        QStringList order;
        for (const QList<LogSearchResult> &batch : batches) {
            order.append(QFileInfo(batch.first().logPath).fileName());
            for (qsizetype i = 1; i < batch.size(); ++i) {
                QCOMPARE(batch.at(i).logPath, batch.first().logPath);
                QVERIFY(batch.at(i).position > batch.at(i - 1).position);
            }
        }
        QCOMPARE(order, expected);
        QCOMPARE(batches.at(0).size(), 3000);
        QCOMPARE(batches.at(6).size(), 1);
        QCOMPARE(batches.at(6).first().error->number, int(ErrorCode::RtfMalformed));
        QCOMPARE(batches.at(6).first().logTime, QDateTime(QDate(2026, 6, 15), QTime(8, 0)));
        QCOMPARE(batches.at(10).first().error->number, int(ErrorCode::LogTooLarge));

        bool limited = false;
        qsizetype count = 0;
        for (const QList<LogSearchResult> &batch : searchAll(env.path(u"logs"_s), u"ключ"_s, &limited))
            count += batch.size();
        QCOMPARE(count, 6032);
        QVERIFY(!limited);
    }

    void stopsAtTheResultLimit()
    {
        TestEnvironment env;
        const QList<Message> messages(LogSearch::MaxResults / 4 + 10,
                                      {u"A"_s, u"08:00:00 - 10.01.2026"_s, u"a a"_s});
        writeLog(env.path(u"logs/2026-01-10 08-00-00.RTF"_s), messages);
        writeLog(env.path(u"logs/2026-01-09 08-00-00.RTF"_s), messages);
        bool limited = false;
        const QList<QList<LogSearchResult>> batches =
            searchAll(env.path(u"logs"_s), u"a"_s, &limited);
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches.at(0).size() + batches.at(1).size(), LogSearch::MaxResults);
        QVERIFY(limited);
    }

    // Cancelling, starting anew and destroying stop the work: nothing more arrives,
    // the workers go idle before they reach the end.
    void cancelStopsTheWork()
    {
        constexpr int LogCount = 300;
        TestEnvironment env;
        QList<Message> messages;
        for (int m = 0; m < 2000; ++m)
            messages.append({u"Alice"_s, u"08:00:00 - 10.01.2026"_s, u"find me %1"_s.arg(m)});
        // Large enough that the workers are far from the end when the first result arrives.
        writeLog(env.path(u"logs/0.RTF"_s), messages);
        for (int i = 1; i < LogCount; ++i)
            QVERIFY(QFile::copy(env.path(u"logs/0.RTF"_s), env.path(u"logs/%1.RTF"_s.arg(i))));

        LogSearch search;
        QStringList lines;
        connect(&search, &LogSearch::resultsFound, this, [&](const QList<LogSearchResult> &batch) {
            lines.append(batch.first().line);
            if (lines.size() == 1)
                search.cancel();
        });
        QSignalSpy finished(&search, &LogSearch::finished);
        search.start(env.path(u"logs"_s), u"find me"_s);
        QTRY_COMPARE(lines.size(), 1);
        QVERIFY(!search.isRunning());
        QTRY_VERIFY(!search.hasActiveWorkers());
        QVERIFY2(search.logsTaken() < search.logCount(), qPrintable(QString::number(LogCount)));
        QCoreApplication::processEvents(); // anything the workers still queued arrives now
        QCOMPARE(lines.size(), 1);
        QCOMPARE(finished.size(), 0);

        // A new query replaces the one under way: only its own results arrive.
        lines = {u"-"_s};
        search.start(env.path(u"logs"_s), u"find me 1"_s);
        search.start(env.path(u"logs"_s), u"me 199"_s);
        QVERIFY(finished.wait(60000));
        QCOMPARE(lines.size(), LogCount + 1);
        QCOMPARE(lines.filter(u"find me 199"_s).size(), LogCount);

        // Destroyed while searching: returns once its workers have stopped.
        auto *doomed = new LogSearch;
        QSignalSpy found(doomed, &LogSearch::resultsFound);
        doomed->start(env.path(u"logs"_s), u"find"_s);
        QVERIFY(found.wait(60000));
        delete doomed;
    }

    // The chat itself writes the log; the search finds what was sent, and whose it is.
    void findsWhatTheChatWrote()
    {
        TestEnvironment env;
        const QString chatFile = env.chats() + u"/team.QLIMChat"_s;
        env.touch(u"chats/team.QLIMChat"_s);
        QVERIFY(SettingsStore().saveValue(u"Nicks"_s, chatFile, ValueKind::Text, u"Борис"_s).ok());
        QFile::setPermissions(env.path(u"runtime"_s), QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner);
        const QString input = env.path(u"input.txt"_s);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUILLET_TEST_INPUT"_s, input);
        const std::unique_ptr<QProcess> chat =
            startProgram({chatFile}, env.path(u"boxes.log"_s), environment);
        QVERIFY(chat->waitForStarted());
        const auto send = [&](const QByteArray &lines) {
            QVERIFY(QFile::rename(env.touch(u"input.tmp"_s, lines), input));
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(input), 20000);
        };
        send("Адрес: ул. Ёлочная, 5\nвторое сообщение\n");
        // Sent messages are logged once they are read back from the folder.
        const QString logs = env.path(u"data/Greyhollow Studios/Quillet IM/Logs"_s);
        const auto logged = [&] {
            QDirIterator it(logs, {u"*.RTF"_s}, QDir::Files, QDirIterator::Subdirectories);
            if (!it.hasNext())
                return false;
            const Result<QString> text =
                RtfTextScanner::plainText(TestEnvironment::readAll(it.next()).toUtf8());
            return text && text.value().contains(u"второе сообщение"_s);
        };
        QTRY_VERIFY_WITH_TIMEOUT(logged(), 20000);
        send(":exit\n");
        QVERIFY(chat->state() == QProcess::NotRunning || chat->waitForFinished(30000));
        QCOMPARE(chat->exitCode(), 0);
        // Windows are noted in the box log too; a box there is a failure.
        for (const QString &line : TestEnvironment::readAll(env.path(u"boxes.log"_s)).split(u'\n'))
            QVERIFY2(line.isEmpty() || line.startsWith(u"window\t"_s), qPrintable(line));

        QDirIterator folders(logs, QDir::Dirs | QDir::NoDotAndDotDot);
        QVERIFY(folders.hasNext());
        const QList<LogSearchResult> results = searchAll(folders.next(), u"елочная"_s).value(0);
        QCOMPARE(results.size(), 1);
        QCOMPARE(results.first().sender, u"Борис"_s);
        QVERIFY(results.first().messageTime.isValid());
        QCOMPARE(results.first().line, u"Адрес: ул. Ёлочная, 5"_s);
        QCOMPARE(selectedInLog(results.first()), u"Ёлочная"_s);
    }
};

QTEST_MAIN(TestLogSearch)
#include "tst_logsearch.moc"
