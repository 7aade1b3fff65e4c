#include "core/settingsstore.h"
#include "logsviewer/logsearch.h"
#include "richtext/rtflogfile.h"
#include "richtext/rtfreader.h"
#include "richtext/rtftextscanner.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
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
    bool separateLine = false;
};

// Writes a log as the chat does: spacer, bold header, body lines, saved through
// the conversation log's own writer.
void writeLog(const QString &path, const QList<Message> &messages)
{
    QTextDocument document;
    RtfLogFile log(&document);
    QTextCursor cursor(&document);
    QTextCharFormat head;
    head.setFontPointSize(8);
    head.setFontWeight(QFont::Bold);
    head.setForeground(QColor(0, 128, 0));
    QTextCharFormat body;
    body.setFontPointSize(9);
    body.setForeground(QColor(0, 0, 0));
    QTextCharFormat spacer;
    spacer.setFontPointSize(3);
    for (const Message &message : messages) {
        if (!document.isEmpty())
            cursor.insertText(u" \r\n"_s, spacer);
        if (message.separateLine)
            cursor.insertText(message.sender + u"  ("_s + message.time + u")\r\n"_s, head);
        else
            cursor.insertText(u'(' + message.time + u") "_s + message.sender + u":  "_s, head);
        cursor.insertText(message.text + u"\r\n"_s, body);
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QVERIFY(log.save(path).ok());
}

// Runs a search to its end.
struct Outcome
{
    QList<QList<LogSearchResult>> batches;
    QList<LogSearchResult> results;
    bool limited = false;
};

Outcome searchAll(const QString &folder, const QString &query)
{
    LogSearch search;
    Outcome outcome;
    QObject::connect(&search, &LogSearch::resultsFound, &search,
                     [&](const QList<LogSearchResult> &batch) {
                         outcome.batches.append(batch);
                         outcome.results.append(batch);
                     });
    QSignalSpy finished(&search, &LogSearch::finished);
    search.start(folder, query);
    if (!finished.wait(60000))
        qWarning("the search did not finish");
    else
        outcome.limited = finished.first().first().toBool();
    return outcome;
}

// The text a result selects in the document the viewer reads from its log.
QString selectedInLog(const LogSearchResult &result)
{
    QFile file(result.logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextDocument document;
    if (!readRtf(file.readAll(), &document).ok())
        return {};
    QTextCursor cursor(&document);
    cursor.setPosition(int(result.position));
    cursor.setPosition(int(result.position + result.length), QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

QString folder(const TestEnvironment &env)
{
    return env.path(u"logs"_s);
}

QString logPath(const TestEnvironment &env, const QString &name)
{
    return folder(env) + u'/' + name;
}

} // namespace

class TestLogSearch : public QObject
{
    Q_OBJECT

private slots:
    void matching_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("found"); // the selected texts, in order
        QTest::addColumn<QStringList>("senders");

        QTest::newRow("letter case") << u"ПРИВЕТ"_s << QStringList{u"Привет"_s, u"привет"_s}
                                     << QStringList{u"Борис"_s, u"Alice"_s};
        QTest::newRow("е finds ё")
            << u"елк"_s << QStringList{u"Ёлк"_s, u"ёлк"_s} << QStringList{u"Борис"_s, u"Борис"_s};
        QTest::newRow("Ё finds е")
            << u"ЁЖИК"_s << QStringList{u"ежик"_s} << QStringList{u"Alice"_s};
        QTest::newRow("across a line break")
            << u"у  метро"_s << QStringList{u"у\u2029метро"_s} << QStringList{u"Alice"_s};
        QTest::newRow("phrase across blanks")
            << u"at  the corner"_s << QStringList{u"at the  corner"_s} << QStringList{u"Борис"_s};
        QTest::newRow("not in headers") << u"Борис"_s << QStringList{} << QStringList{};
        QTest::newRow("latin and digits")
            << u"ROOM 42"_s << QStringList{u"room 42"_s} << QStringList{u"Alice"_s};
        QTest::newRow("blank query") << u"  \t "_s << QStringList{} << QStringList{};
        QTest::newRow("special characters")
            << u"{x} \\"_s << QStringList{u"{x} \\"_s} << QStringList{u"Борис"_s};
    }

    // What a query finds in one log, where it points, and whose message it is.
    void matching()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, found);
        QFETCH(QStringList, senders);
        TestEnvironment env;
        writeLog(logPath(env, u"2026-12-05 16-24-27.RTF"_s),
                 {
                     {u"Борис"_s, u"09:00:01 - 05.12.2026"_s, u"Привет! Встретимся у Ёлки"_s},
                     {u"Alice"_s, u"09:01:02 - 05.12.2026"_s, u"привет, ежик; room 42"_s, true},
                     {u"Борис"_s, u"09:02:03 - 05.12.2026"_s,
                      u"Купи ёлка\r\nat the  corner, {x} \\ ok"_s},
                     {u"Alice"_s, u"09:03:04 - 05.12.2026"_s, u"жду у\r\nметро"_s, true},
                     {u"Борис"_s, u"09:04:05 - 05.12.2026"_s, u"hello"_s},
                 });
        const Outcome outcome = searchAll(folder(env), query);
        QStringList selected;
        QStringList from;
        for (const LogSearchResult &result : outcome.results) {
            QVERIFY(!result.error);
            QCOMPARE(result.logTime, QDateTime(QDate(2026, 12, 5), QTime(16, 24, 27)));
            selected.append(selectedInLog(result));
            from.append(result.sender);
            // The line shows the match where its offset says.
            QCOMPARE(result.line.mid(result.lineOffset, result.length),
                     selectedInLog(result).replace(QChar::ParagraphSeparator, u' '));
            QVERIFY(!result.line.contains(result.sender));
        }
        QCOMPARE(selected, found);
        QCOMPARE(from, senders);
        QCOMPARE(outcome.limited, false);
    }

    // The time and sender of each result come from its own message's header.
    void resultsNameTheirMessage()
    {
        TestEnvironment env;
        QList<Message> messages;
        for (int i = 0; i < 40; ++i) {
            messages.append({i % 2 ? u"Борис"_s : u"Alice"_s,
                             u"10:%1:%2 - 0%3.03.2027"_s.arg(i, 2, 10, QChar(u'0'))
                                 .arg(59 - i, 2, 10, QChar(u'0'))
                                 .arg(1 + i % 9),
                             u"сообщение %1 адрес"_s.arg(i), i % 3 == 0});
        }
        writeLog(logPath(env, u"2027-03-01 10-00-00.RTF"_s), messages);
        const Outcome outcome = searchAll(folder(env), u"адрес"_s);
        QCOMPARE(outcome.results.size(), messages.size());
        for (int i = 0; i < messages.size(); ++i) {
            const LogSearchResult &result = outcome.results.at(i);
            QCOMPARE(result.sender, messages.at(i).sender);
            QCOMPARE(result.messageTime,
                     QDateTime(QDate(2027, 3, 1 + i % 9), QTime(10, i, 59 - i)));
            QCOMPARE(result.line, u"сообщение %1 адрес"_s.arg(i));
        }
    }

    // Logs come newest first, each log's results in text order, whatever worker ends
    // first; unreadable logs are reported in their place and the search goes on.
    void orderAndUnreadableLogs()
    {
        TestEnvironment env;
        QStringList names;
        for (int i = 0; i < 12; ++i) {
            const QString name = u"2026-%1-10 08-00-00.RTF"_s.arg(1 + i, 2, 10, QChar(u'0'));
            names.prepend(name); // newest first
            QList<Message> messages;
            // The newest logs are the largest, so older ones tend to finish first.
            const int count = i >= 10 ? 3000 : 3;
            for (int m = 0; m < count; ++m)
                messages.append({u"Alice"_s, u"08:00:00 - 10.01.2026"_s, u"ключ %1"_s.arg(m)});
            writeLog(logPath(env, name), messages);
        }
        // Not RTF, and larger than any log can be.
        env.touch(u"logs/2026-06-15 08-00-00.RTF"_s, QByteArray("\x00\xff garbage", 10));
        QFile large(env.touch(u"logs/2026-03-15 08-00-00.RTF"_s));
        QVERIFY(large.open(QIODevice::ReadWrite) && large.resize(65LL * 1024 * 1024));
        large.close();
        // Neither a log nor listed by the viewer: skipped.
        QDir().mkpath(logPath(env, u"2026-12-31 08-00-00.RTF"_s));

        const Outcome outcome = searchAll(folder(env), u"КЛЮЧ"_s);
        QStringList logOrder;
        for (const QList<LogSearchResult> &batch : outcome.batches) {
            QVERIFY(!batch.isEmpty());
            logOrder.append(QFileInfo(batch.first().logPath).fileName());
            qsizetype position = -1;
            for (const LogSearchResult &result : batch) {
                QCOMPARE(result.logPath, batch.first().logPath);
                QVERIFY(result.position > position);
                position = result.position;
            }
        }
        QStringList expectedOrder = names;
        expectedOrder.insert(6, u"2026-06-15 08-00-00.RTF"_s);
        expectedOrder.insert(10, u"2026-03-15 08-00-00.RTF"_s);
        QCOMPARE(logOrder, expectedOrder);
        QCOMPARE(outcome.results.size(), 3000 * 2 + 3 * 10 + 2);
        const LogSearchResult &garbage = outcome.batches.at(6).first();
        QVERIFY(garbage.error);
        QCOMPARE(garbage.error->number, int(ErrorCode::RtfMalformed));
        QCOMPARE(outcome.batches.at(6).size(), 1);
        QVERIFY(outcome.batches.at(10).first().error);
        QCOMPARE(outcome.batches.at(10).first().error->number, int(ErrorCode::LogTooLarge));
        QCOMPARE(garbage.logTime, QDateTime(QDate(2026, 6, 15), QTime(8, 0)));
    }

    void stopsAtTheResultLimit()
    {
        TestEnvironment env;
        QList<Message> messages;
        for (int m = 0; m < LogSearch::MaxResults / 2 + 10; ++m)
            messages.append({u"Alice"_s, u"08:00:00 - 10.01.2026"_s, u"a a"_s});
        writeLog(logPath(env, u"2026-01-10 08-00-00.RTF"_s), messages);
        writeLog(logPath(env, u"2026-01-09 08-00-00.RTF"_s), messages);
        const Outcome outcome = searchAll(folder(env), u"a"_s);
        QCOMPARE(outcome.results.size(), LogSearch::MaxResults);
        QVERIFY(outcome.limited);
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
        const QString first = logPath(env, u"2026-01-10 08-00-00.RTF"_s);
        writeLog(first, messages);
        for (int i = 1; i < LogCount; ++i) {
            QVERIFY(QFile::copy(
                first, logPath(env, u"2026-01-10 08-%1-%2.RTF"_s.arg(i / 60, 2, 10, QChar(u'0'))
                                        .arg(i % 60, 2, 10, QChar(u'0')))));
        }

        LogSearch search;
        int batches = 0;
        connect(&search, &LogSearch::resultsFound, this, [&](const QList<LogSearchResult> &) {
            ++batches;
            if (batches == 1)
                search.cancel();
        });
        QSignalSpy finished(&search, &LogSearch::finished);
        search.start(folder(env), u"find me"_s);
        QTRY_COMPARE(batches, 1);
        QVERIFY(!search.isRunning());
        QTRY_VERIFY(!search.hasActiveWorkers());
        const int taken = search.logsTaken();
        QVERIFY2(taken < search.logCount(), qPrintable(QString::number(taken)));
        QTest::qWait(100); // anything still queued would arrive now
        QCOMPARE(batches, 1);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(search.logsTaken(), taken);

        // A new query replaces the one under way: only its own results arrive.
        batches = 0;
        disconnect(&search, &LogSearch::resultsFound, this, nullptr);
        QStringList lines;
        connect(&search, &LogSearch::resultsFound, this,
                [&](const QList<LogSearchResult> &batch) { lines.append(batch.first().line); });
        search.start(folder(env), u"find me 1"_s);
        search.start(folder(env), u"me 199"_s);
        QVERIFY(finished.wait(60000));
        QCOMPARE(lines.size(), LogCount);
        QCOMPARE(lines.filter(u"find me 199"_s).size(), LogCount);

        // Destroyed while searching: returns once its workers have stopped.
        auto *doomed = new LogSearch;
        QSignalSpy found(doomed, &LogSearch::resultsFound);
        doomed->start(folder(env), u"find"_s);
        QVERIFY(found.wait(60000));
        delete doomed;
    }

    // The chat itself writes the log; the search finds what was sent.
    void findsWhatTheChatWrote()
    {
        if (TestEnvironment::executable().isEmpty())
            QSKIP("QUILLET_EXECUTABLE is not set");
        TestEnvironment env;
        const QString chatFile = env.chats() + u"/team.QLIMChat"_s;
        QFile(chatFile).open(QIODevice::WriteOnly);
        {
            SettingsStore store;
            QVERIFY(store.saveValue(u"Nicks"_s, chatFile, ValueKind::Text, u"Борис"_s).ok());
        }
        QFile::setPermissions(env.path(u"runtime"_s), QFileDevice::ReadOwner |
                                                          QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner);
        const QString input = env.path(u"input.txt"_s);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUILLET_TEST_INPUT"_s, input);
        environment.insert(u"QUILLET_BOX_LOG"_s, env.path(u"boxes.log"_s));
        QProcess chat;
        chat.setProcessEnvironment(environment);
        chat.setProcessChannelMode(QProcess::ForwardedChannels);
        chat.start(TestEnvironment::executable(), {chatFile});
        QVERIFY(chat.waitForStarted());
        const auto send = [&](const QString &lines) {
            const QString temporary = env.path(u".input.tmp"_s);
            QFile file(temporary);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(lines.toUtf8());
            file.close();
            QVERIFY(QFile::rename(temporary, input));
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(input), 20000);
        };
        send(u"Адрес: ул. Ёлочная, 5\nвторое сообщение\n"_s);
        // Sent messages are shown, and logged, once they are read back from the folder.
        const QString logs = env.path(u"data/Greyhollow Studios/Quillet IM/Logs"_s);
        const auto logged = [&] {
            QDirIterator it(logs, {u"*.RTF"_s}, QDir::Files, QDirIterator::Subdirectories);
            if (!it.hasNext())
                return false;
            QFile log(it.next());
            if (!log.open(QIODevice::ReadOnly))
                return false;
            const Result<QString> text = RtfTextScanner::plainText(log.readAll());
            return text && text.value().contains(u"второе сообщение"_s);
        };
        QTRY_VERIFY_WITH_TIMEOUT(logged(), 20000);
        send(u":exit\n"_s);
        // It may have ended while send() waited for its input to be taken.
        QVERIFY(chat.state() == QProcess::NotRunning || chat.waitForFinished(30000));
        QCOMPARE(chat.exitCode(), 0);

        QDirIterator folders(logs, QDir::Dirs | QDir::NoDotAndDotDot);
        QVERIFY(folders.hasNext());
        const Outcome outcome = searchAll(folders.next(), u"елочная"_s);
        QCOMPARE(outcome.results.size(), 1);
        const LogSearchResult &result = outcome.results.first();
        QCOMPARE(result.sender, u"Борис"_s);
        QVERIFY(result.messageTime.isValid());
        QVERIFY(result.logTime.isValid());
        QCOMPARE(result.line, u"Адрес: ул. Ёлочная, 5"_s);
        QCOMPARE(selectedInLog(result), u"Ёлочная"_s);
    }
};

QTEST_MAIN(TestLogSearch)
#include "tst_logsearch.moc"
