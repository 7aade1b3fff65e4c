#include "chatwindow/conversationview.h"
#include "chatwindow/messagerenderer.h"
#include "core/support.h"
#include "core/textfile.h"
#include "documentruns.h"
#include "gui/boxes.h"
#include "richtext/rtfreader.h"
#include "richtext/rtfwriter.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <ctime>
#include <sys/stat.h>

#include <QApplication>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

QList<Run> runsOf(const QTextDocument &document)
{
    QList<Run> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            runs.append({block.blockNumber(), it.fragment().text(), format.fontPointSize(),
                         format.fontWeight() > QFont::Medium, format.foreground().color().rgb(),
                         block.blockFormat().alignment() & Qt::AlignHorizontal_Mask});
        }
    }
    return runs;
}

QStringList blockTexts(const QTextDocument &document)
{
    QStringList texts;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        texts.append(block.text());
    return texts;
}

MessageTime utc(int year, int month, int day, int hour, int minute, int second)
{
    MessageTime time;
    time.year = quint16(year);
    time.month = quint16(month);
    time.day = quint16(day);
    time.hour = quint16(hour);
    time.minute = quint16(minute);
    time.second = quint16(second);
    return time;
}

// Local time in the test zone (three hours east of UTC, no daylight saving).
QDateTime moscow(int hour, int minute, int second)
{
    return QDateTime(QDate(2026, 12, 5), QTime(hour, minute, second), Qt::OffsetFromUTC, 3 * 3600);
}

const QRgb Grey = qRgb(128, 128, 128);
const QRgb Black = qRgb(0, 0, 0);
const QRgb Green = qRgb(0, 128, 0);
const QRgb Violet = qRgb(128, 0, 255);

} // namespace

class TestMessageRenderer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTextEdit> m_view;
    std::unique_ptr<MessageRenderer> m_renderer;
    QList<BoxRequest> m_boxes;
    std::function<BoxAnswer(const BoxRequest &)> m_answer;

    QString logsRoot() const { return m_env->path(u"data/Greyhollow Studios/Quillet IM/Logs"_s); }

    QStringList logFiles() const
    {
        const Result<QString> folder = logsFolder(true);
        return QDir(folder.value()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    void render(const QString &name = u"guest"_s, const QString &text = u"Hello"_s,
                MessageKind kind = MessageKind::Other)
    {
        m_renderer->renderMessage(name, text, Clock::utcMessageTime(), kind);
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "MSK-3");
        tzset();
    }

    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        ChatFilePath = m_env->path(u"chats/Room.QLIMChat"_s);
        appSettings() = SettingsRecord();
        Clock::setFixedUtc(QDateTime(QDate(2026, 12, 5), QTime(9, 0, 0), Qt::UTC));
        m_view = std::make_unique<QTextEdit>();
        m_view->setReadOnly(true);
        m_renderer = std::make_unique<MessageRenderer>(m_view.get(), m_view.get());
        m_boxes.clear();
        m_answer = [](const BoxRequest &) { return BoxAnswer::Ignore; };
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{m_answer(request), {}};
        });
    }

    void cleanup()
    {
        m_renderer.reset();
        m_view.reset();
        Boxes::resetHandler();
        Clock::reset();
        m_env.reset();
    }

    void layoutOfMessages_data()
    {
        QTest::addColumn<bool>("separateLine");
        QTest::addColumn<QList<Run>>("expected");
        QTest::newRow("name on its own line")
            << true
            << QList<Run>{
                   {0, u"guest  (12:00:00 - 05.12.2026)"_s, 8, true, Violet},
                   {1, u"Hello"_s, 9, false, Black},
                   {2, u" "_s, 3, false, Black},
                   {3, u"guest  (12:00:00 - 05.12.2026)"_s, 8, true, Violet},
                   {4, u"Hello"_s, 9, false, Black},
               };
        QTest::newRow("name in front of the text")
            << false
            << QList<Run>{
                   {0, u"(12:00:00 - 05.12.2026) guest:  "_s, 8, true, Violet},
                   {0, u"Hello"_s, 9, false, Black},
                   {1, u" "_s, 3, false, Black},
                   {2, u"(12:00:00 - 05.12.2026) guest:  "_s, 8, true, Violet},
                   {2, u"Hello"_s, 9, false, Black},
               };
    }

    // The first message starts at the top; each later one follows a 3-point spacer.
    void layoutOfMessages()
    {
        QFETCH(bool, separateLine);
        QFETCH(QList<Run>, expected);
        appSettings().nameOnSeparateLine = separateLine;
        render();
        render();
        QCOMPARE(runsOf(*m_view->document()), expected);
        QCOMPARE(m_view->document()->lastBlock().text(), QString());
        QCOMPARE(m_view->document()->blockCount(), expected.last().block + 2);
    }

    void timeStamps_data()
    {
        QTest::addColumn<QDateTime>("first");
        QTest::addColumn<QDateTime>("second");
        QTest::addColumn<bool>("stamped");
        QTest::newRow("five boundaries in 4:01") << moscow(10, 0, 59) << moscow(10, 5, 0) << true;
        QTest::newRow("four boundaries in 4:59") << moscow(10, 0, 0) << moscow(10, 4, 59) << false;
        QTest::newRow("hours later") << moscow(10, 0, 0) << moscow(13, 0, 0) << true;
        QTest::newRow("clock set back") << moscow(10, 0, 0) << moscow(9, 0, 0) << false;
    }

    void timeStamps()
    {
        QFETCH(QDateTime, first);
        QFETCH(QDateTime, second);
        QFETCH(bool, stamped);
        Clock::setFixedUtc(first);
        render();
        QCOMPARE(blockTexts(*m_view->document()).first(),
                 u"guest  ("_s + first.toString(u"HH:mm:ss") + u" - 05.12.2026)"_s);
        Clock::setFixedUtc(second);
        render();
        const QStringList texts = blockTexts(*m_view->document());
        const QString stamp = second.toString(u"HH:mm:ss");
        if (stamped) {
            QCOMPARE(texts.mid(2, 4), (QStringList{u" "_s, stamp, u" "_s,
                                                   u"guest  ("_s + stamp + u" - 05.12.2026)"_s}));
            const QTextBlock block = m_view->document()->findBlockByNumber(3);
            QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
            QCOMPARE(block.begin().fragment().charFormat().fontPointSize(), 8.0);
            QCOMPARE(block.begin().fragment().charFormat().foreground().color().rgb(), Grey);
            QCOMPARE(block.next().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                     Qt::AlignLeft);
        } else {
            QCOMPARE(texts.size(), 6);
            QVERIFY(!texts.contains(stamp));
        }
    }

    // A stamp starts the count anew, and stamps can be switched off.
    void timeStampCountRestarts()
    {
        Clock::setFixedUtc(moscow(10, 0, 0));
        render();
        Clock::setFixedUtc(moscow(10, 5, 30));
        render(); // stamped at 10:05:30
        Clock::setFixedUtc(moscow(10, 9, 59));
        render();
        Clock::setFixedUtc(moscow(10, 10, 0));
        appSettings().timeStamps = false;
        render();
        appSettings().timeStamps = true;
        Clock::setFixedUtc(moscow(10, 10, 1));
        render();
        const QStringList texts = blockTexts(*m_view->document());
        QCOMPARE(texts.count(u"10:05:30"_s), 1);
        QCOMPARE(texts.count(u"10:10:00"_s), 0);
        QCOMPARE(texts.count(u"10:10:01"_s), 1);
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QString() << u"Анонимус"_s;
        QTest::newRow("blanks") << u"   "_s << u"Анонимус"_s;
        QTest::newRow("blanks and breaks") << u" \r\n\t\u00A0\n"_s << u"Анонимус"_s;
        QTest::newRow("padded") << u"  Иван Петров \r\n"_s << u"Иван Петров"_s;
        QTest::newRow("rtf-like") << u"}{\\rtf1\\par}"_s << u"}{\\rtf1\\par}"_s;
    }

    void displayName()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(quillet::displayName(name), shown);
        render(name);
        QCOMPARE(blockTexts(*m_view->document()).first(), shown + u"  (12:00:00 - 05.12.2026)"_s);
    }

    void bodies_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("trimmed") << u" \t\r\n  Hello  \r\n\r\n "_s << QStringList{u"Hello"_s};
        QTest::newRow("crlf") << u"a\r\nb\r\nc"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
        QTest::newRow("lf") << u"a\nb\nc"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
        QTest::newRow("cr") << u"a\rb\rc"_s << QStringList{u"a"_s, u"b"_s, u"c"_s};
        QTest::newRow("empty line kept")
            << u"a\r\n\r\nb"_s << QStringList{u"a"_s, QString(), u"b"_s};
        QTest::newRow("empty") << u" \r\n "_s << QStringList{QString()};
    }

    // The body is trimmed and followed by exactly the renderer's one line break.
    void bodies()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        render(u"guest"_s, text);
        QCOMPARE(blockTexts(*m_view->document()).mid(1), lines + QStringList{QString()});
    }

    void colours_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("own") << int(MessageKind::Own) << Green;
        QTest::newRow("other") << int(MessageKind::Other) << Violet;
        QTest::newRow("system") << int(MessageKind::System) << qRgb(255, 0, 0);
    }

    void colours()
    {
        QFETCH(int, kind);
        QFETCH(QRgb, colour);
        render(u"guest"_s, u"x"_s, MessageKind(kind));
        // Settings are read at each call.
        appSettings().myNameColor = appSettings().otherNameColor = appSettings().systemColor =
            0x563412;
        appSettings().messageColor = 0x0000FF;
        render(u"guest"_s, u"y"_s, MessageKind(kind));
        const QList<Run> runs = runsOf(*m_view->document());
        QCOMPARE(runs.at(0).colour, colour);
        QCOMPARE(runs.at(2).colour, Black);
        QCOMPARE(runs.last().text, u"y"_s);
        QCOMPARE(runs.last().colour, qRgb(255, 0, 0));
        QCOMPARE(runs.at(runs.size() - 2).colour, qRgb(0x12, 0x34, 0x56));
    }

    void localTime_data()
    {
        QTest::addColumn<MessageTime>("time");
        QTest::addColumn<QString>("header");
        QTest::newRow("same day") << utc(2012, 3, 3, 9, 5, 7) << u"12:05:07 - 03.03.2012"_s;
        QTest::newRow("next day") << utc(2026, 12, 31, 22, 30, 0) << u"01:30:00 - 01.01.2027"_s;
        QTest::newRow("summer date") << utc(2026, 7, 1, 12, 0, 0) << u"15:00:00 - 01.07.2026"_s;
        QTest::newRow("no real moment") << utc(2026, 13, 1, 25, 0, 0) << u"25:00:00 - 01.13.2026"_s;
    }

    void localTime()
    {
        QFETCH(MessageTime, time);
        QFETCH(QString, header);
        m_renderer->renderMessage(u"guest"_s, u"x"_s, time, MessageKind::Other);
        QCOMPARE(blockTexts(*m_view->document()).first(), u"guest  ("_s + header + ')'_L1);
    }

    // The offset in force now applies to every date, also one in the other season.
    void currentOffsetForEveryDate()
    {
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
        m_renderer->renderMessage(u"guest"_s, u"x"_s, utc(2026, 7, 1, 12, 0, 0),
                                  MessageKind::Other);
        qputenv("TZ", "MSK-3");
        tzset();
        QCOMPARE(blockTexts(*m_view->document()).first(), u"guest  (13:00:00 - 01.07.2026)"_s);
    }

    void scrolling()
    {
        m_view->resize(300, 200);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        for (int i = 0; i < 60; ++i)
            render(u"guest"_s, u"message %1"_s.arg(i));
        QScrollBar *bar = m_view->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        // At the end, the view follows.
        int before = bar->maximum();
        render();
        QVERIFY(bar->maximum() > before);
        QCOMPARE(bar->value(), bar->maximum());

        // Scrolled up, it keeps exactly still, and draws again afterwards.
        bar->setValue(bar->maximum() / 3);
        const int kept = bar->value();
        before = bar->maximum();
        for (int i = 0; i < 5; ++i)
            render(u"guest"_s, u"line\r\nline\r\nline"_s);
        QVERIFY(bar->maximum() > before);
        QCOMPARE(bar->value(), kept);
        QVERIFY(m_view->updatesEnabled());

        // Back at the end, it follows again.
        bar->setValue(bar->maximum());
        render();
        QCOMPARE(bar->value(), bar->maximum());
    }

    // Messages rendered as one batch scroll once at its end like single ones,
    // and the same text rendered in batches or singly gives the same document.
    void batchScrolling_data()
    {
        QTest::addColumn<bool>("atEnd");
        QTest::newRow("following") << true;
        QTest::newRow("scrolled up") << false;
    }

    void batchScrolling()
    {
        QFETCH(bool, atEnd);
        m_view->resize(300, 200);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        for (int i = 0; i < 60; ++i)
            render(u"guest"_s, u"message %1"_s.arg(i));
        QScrollBar *bar = m_view->verticalScrollBar();
        bar->setValue(atEnd ? bar->maximum() : bar->maximum() / 3);
        const int kept = bar->value();
        const int before = bar->maximum();
        m_renderer->beginBatch();
        for (int i = 0; i < 20; ++i)
            render(u"guest"_s, u"line\r\nline %1"_s.arg(i));
        m_renderer->endBatch();
        QVERIFY(bar->maximum() > before);
        QCOMPARE(bar->value(), atEnd ? bar->maximum() : kept);
        QVERIFY(m_view->updatesEnabled());
        QVERIFY(m_view->textCursor().atEnd());
        QVERIFY(!m_view->textCursor().hasSelection());
    }

    void batchLogMatchesFullWrite()
    {
        QTextEdit single;
        MessageRenderer singleRenderer(&single, nullptr);
        // A selection in the view is dropped as by a single message.
        render(u"guest"_s, u"first"_s);
        singleRenderer.renderMessage(u"guest"_s, u"first"_s, Clock::utcMessageTime(),
                                     MessageKind::Other);
        QTextCursor selection(m_view->document());
        selection.select(QTextCursor::Document);
        m_view->setTextCursor(selection);
        m_renderer->setDeferSaving(true);
        for (int slice = 0; slice < 5; ++slice) {
            m_renderer->beginBatch();
            for (int i = 0; i < 30; ++i) {
                Clock::advanceMs(7000);
                appSettings().nameOnSeparateLine = i % 2;
                const QString text = u"message %1 \\par Ж\r\n"_s.arg(i);
                render(u"guest"_s, text, MessageKind(i % 3));
                singleRenderer.renderMessage(u"guest"_s, text, Clock::utcMessageTime(),
                                             MessageKind(i % 3));
            }
            m_renderer->endBatch();
            QVERIFY(!m_view->textCursor().hasSelection());
            QVERIFY(m_renderer->saveLog(true));
            QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(),
                     writeRtf(*m_view->document()));
        }
        m_renderer->setDeferSaving(false);
        QCOMPARE(writeRtf(*m_view->document()), writeRtf(*single.document()));
    }

    void noLogWithoutMessages()
    {
        QVERIFY(m_renderer->saveLog(true));
        QVERIFY(m_renderer->saveLog(false));
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(m_renderer->logFilePath().isEmpty());
        QVERIFY(!QFileInfo::exists(logsRoot()));
    }

    // One file per window, named after the local time of its first message and
    // always holding exactly what a full write of the view gives.
    void oneFilePerRun()
    {
        Clock::setFixedUtc(moscow(16, 24, 27));
        render(u"guest"_s, u"first"_s);
        Clock::advanceMs(61000);
        render(u"guest"_s, u"second"_s);
        QCOMPARE(logFiles(), QStringList{u"2026-12-05 16-24-27.RTF"_s});
        const QString first = m_renderer->logFilePath();
        QCOMPARE(first, logsFolder(true).value() + u"/2026-12-05 16-24-27.RTF"_s);
        const Result<QByteArray> firstBytes = TextFile::readBytes(first);
        QCOMPARE(firstBytes.value(), writeRtf(*m_view->document()));
        QTextDocument read;
        QVERIFY(readRtf(firstBytes.value(), &read).ok());
        QCOMPARE(blockTexts(read), blockTexts(*m_view->document()));
        QVERIFY(m_renderer->saveLog(false));

        // A second run of the chat writes a second file and leaves the first alone.
        m_renderer.reset();
        m_view = std::make_unique<QTextEdit>();
        m_renderer = std::make_unique<MessageRenderer>(m_view.get(), m_view.get());
        Clock::advanceMs(3600 * 1000);
        render(u"guest"_s, u"third"_s);
        QCOMPARE(logFiles(),
                 (QStringList{u"2026-12-05 16-24-27.RTF"_s, u"2026-12-05 17-25-28.RTF"_s}));
        QCOMPARE(TextFile::readBytes(first).value(), firstBytes.value());
        QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(),
                 writeRtf(*m_view->document()));
        QVERIFY(m_boxes.isEmpty());
    }

    // A run whose first message comes in the same second as an earlier run's first
    // one takes the next free second; whatever holds a name (a log, a folder, a
    // link) is left as it is.
    void sameSecondAsAnEarlierRun()
    {
        Clock::setFixedUtc(moscow(16, 24, 27));
        render(u"guest"_s, u"first run"_s);
        const QString earlier = m_renderer->logFilePath();
        const QByteArray earlierBytes = TextFile::readBytes(earlier).value();
        const QString folder = parentFolder(earlier);
        QVERIFY(QDir(folder).mkdir(u"2026-12-05 16-24-28.RTF"_s));
        const QString outside = m_env->path(u"outside.RTF"_s);
        QVERIFY(QFile::link(outside, folder + u"/2026-12-05 16-24-29.RTF"_s));

        m_renderer.reset();
        m_view = std::make_unique<QTextEdit>();
        m_renderer = std::make_unique<MessageRenderer>(m_view.get(), m_view.get());
        render(u"guest"_s, u"second run"_s);
        Clock::advanceMs(2000);
        render(u"guest"_s, u"second run again"_s);
        QCOMPARE(m_renderer->logFilePath(), folder + u"/2026-12-05 16-24-30.RTF"_s);
        QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(),
                 writeRtf(*m_view->document()));
        QCOMPARE(TextFile::readBytes(earlier).value(), earlierBytes);
        QVERIFY(QFileInfo(folder + u"/2026-12-05 16-24-28.RTF"_s).isDir());
        QVERIFY(!QFileInfo::exists(outside));
        QVERIFY(m_renderer->saveLog(false));
        QVERIFY(m_boxes.isEmpty());
    }

    // Logs are the user's alone whatever the umask: files 0600, the folders made for
    // them 0700, also when the folder is made again; folders that were there stay.
    void logsArePrivate_data()
    {
        QTest::addColumn<int>("umask");
        QTest::newRow("lax") << 0;
        QTest::newRow("strict") << 0277;
    }
    void logsArePrivate()
    {
        QFETCH(int, umask);
        const QString data = m_env->path(u"data"_s);
        QVERIFY(QDir().mkpath(data));
        QVERIFY(QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadOther | QFile::ExeOther));
        const mode_t previous = ::umask(mode_t(umask));
        const auto restore = qScopeGuard([previous] { ::umask(previous); });
        const auto modeOf = [](const QString &path) {
            struct stat st
            {
            };
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777)
                                                                         : -1;
        };
        // The modes of the log file and of every folder up to `data`, which stays as it was.
        const auto modes = [&] {
            const QString file = m_renderer->logFilePath();
            QList<int> found{modeOf(file)};
            for (QString folder = parentFolder(file); folder.size() >= data.size();
                 folder = parentFolder(folder))
                found << modeOf(folder);
            return found;
        };
        const QList<int> expected{0600, 0700, 0700, 0700, 0700, 0705};
        render();
        QCOMPARE(modes(), expected);
        render(); // appended
        QCOMPARE(modes(), expected);
        appSettings().messageColor = 0x123456; // a new colour: the file is written anew
        render();
        QCOMPARE(modes(), expected);
        QVERIFY(QDir(logsRoot()).removeRecursively());
        render(); // fails silently, and the next one makes the folders again
        render();
        QCOMPARE(modes(), expected);
        QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(),
                 writeRtf(*m_view->document()));
    }

    void logMatchesFullWrite()
    {
        for (int i = 0; i < 300; ++i) {
            Clock::advanceMs(7000);
            appSettings().nameOnSeparateLine = i % 50 < 25;
            render(i % 3 ? u"guest"_s : u"}{\\rtf1\\par}"_s,
                   u"message %1 \\field{x}\r\nЖ 👋"_s.arg(i), MessageKind(i % 3));
        }
        QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(),
                 writeRtf(*m_view->document()));
        appSettings().messageColor = 0x123456; // a colour the log has not used yet
        render();
        render();
        QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(),
                 writeRtf(*m_view->document()));
        m_view->setFont(QFont(u"Serif"_s, 9));
        render();
        QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(),
                 writeRtf(*m_view->document()));
    }

    // Silent saves fail quietly and are tried again; at exit the user is asked.
    void failureAndRetry_data()
    {
        QTest::addColumn<BoxAnswer>("answer");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("written");
        QTest::newRow("abort") << BoxAnswer::Abort << false << false;
        QTest::newRow("ignore") << BoxAnswer::Ignore << true << false;
        QTest::newRow("retry after the cause is removed") << BoxAnswer::Retry << true << true;
    }

    void failureAndRetry()
    {
        QFETCH(BoxAnswer, answer);
        QFETCH(bool, result);
        QFETCH(bool, written);
        const QString blocker =
            m_env->touch(u"data/Greyhollow Studios/Quillet IM/Logs"_s, "not a folder");
        Clock::setFixedUtc(moscow(16, 24, 27));
        render();
        Clock::advanceMs(5000);
        render();
        QCOMPARE(m_view->document()->blockCount(), 6); // shown without any notice
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(!m_renderer->saveLog(true));
        QVERIFY(m_boxes.isEmpty());

        m_answer = [&](const BoxRequest &) {
            if (answer != BoxAnswer::Retry || m_boxes.size() > 1)
                return answer;
            QFile::remove(blocker); // the user removes the cause, then retries
            return BoxAnswer::Retry;
        };
        QCOMPARE(m_renderer->saveLog(false), result);
        QCOMPARE(m_boxes.size(), 1);
        const BoxRequest &box = m_boxes.first();
        QCOMPARE(box.style.number(), 18);
        const QString path = logsFolder(true).value() + u"/2026-12-05 16-24-27.RTF"_s;
        QVERIFY2(box.text.startsWith(path + u"\r\n\r\nНе удалось сохранить лог."_s),
                 qPrintable(box.text));
        QVERIFY(box.text.contains(u"Код "_s));
        QCOMPARE(QFileInfo::exists(path), written);
        if (written) {
            QCOMPARE(m_renderer->logFilePath(), path);
            QCOMPARE(TextFile::readBytes(path).value(), writeRtf(*m_view->document()));
        }
    }

    // A write that fails after the file exists (its folder deleted) is also retried.
    void folderRemovedLater()
    {
        render();
        const QString path = m_renderer->logFilePath();
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(QDir(parentFolder(path)).removeRecursively());
        m_env->touch(u"blocker"_s);
        QVERIFY(QFile::rename(m_env->path(u"blocker"_s), parentFolder(path)));
        render();
        QVERIFY(!QFileInfo(path).exists());
        QVERIFY(QFile::remove(parentFolder(path)));
        render();
        QCOMPARE(TextFile::readBytes(path).value(), writeRtf(*m_view->document()));
        QVERIFY(m_boxes.isEmpty());
    }
};

QTEST_MAIN(TestMessageRenderer)
#include "tst_messagerenderer.moc"
