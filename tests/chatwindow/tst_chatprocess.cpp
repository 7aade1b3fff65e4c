#include "core/settingsstore.h"
#include "richtext/rtfreader.h"
#include "testsupport.h"

#include <csignal>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextDocument>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// The text of a log read back as RTF; null when it is not readable RTF.
QString logText(const QString &path)
{
    QFile file(path);
    QTextDocument document;
    const bool read = file.open(QIODevice::ReadOnly) && readRtf(file.readAll(), &document).ok();
    return read ? document.toPlainText() : QString();
}

// The numbers of the "<m...>" messages a log shows, in its order.
QList<int> loggedNumbers(const QString &path)
{
    static const QRegularExpression token(u"<m(\\d+)>"_s);
    QList<int> numbers;
    for (const auto &match : token.globalMatch(logText(path)))
        numbers.append(match.captured(1).toInt());
    return numbers;
}

} // namespace

// The real program as a process: killed, signalled, asked by a session manager.
class tst_ChatProcess final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_chatFile;
    std::unique_ptr<QProcess> m_program;

    // Lines of the input file are sent as typed; ":exit" exits as the tray menu does.
    void start(const QStringList &arguments,
               QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
    {
        environment.insert(u"QUILLET_TEST_INPUT"_s, m_env->path(u"input.txt"_s));
        m_program = startProgram(arguments, m_env->path(u"boxes.log"_s), environment);
        QVERIFY(m_program->waitForStarted());
    }

    // What the settings hold for the chat in `section`; `value` is stored first when given.
    QString stored(const QString &section, const QString &value = {})
    {
        if (!value.isNull())
            (void)SettingsStore().saveValue(section, m_chatFile, ValueKind::Text, value);
        return SettingsStore().loadValue(section, m_chatFile, ValueKind::Text).toString();
    }

    void sendLine(const QString &text)
    {
        m_env->touch(u".input.tmp"_s, text.toUtf8() + '\n');
        QVERIFY(QFile::rename(m_env->path(u".input.tmp"_s), m_env->path(u"input.txt"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(m_env->path(u"input.txt"_s)), 20000);
    }

    QStringList boxesShown() const
    {
        QStringList boxes = TestEnvironment::readAll(m_env->path(u"boxes.log"_s)).split(u'\n');
        boxes.removeIf(
            [](const QString &line) { return line.isEmpty() || line.startsWith(u"window\t"_s); });
        return boxes;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_chatFile = m_env->touch(u"chats/team.QLIMChat"_s);
    }

    void cleanup()
    {
        m_program.reset(); // a QProcess kills its process when it goes
    }

    // Lines of the box log that are boxes, not windows shown.
    // kill -9 at random moments of a long backlog, then a restart: a file is marked
    // shown only once a log holds its message, so nothing is lost, and what shows
    // twice is the tail of a killed run's log that had not been marked yet.
    void killedDuringBacklogLosesNothing()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        QStringList pathOf;
        const auto isMarked = [](const QString &path) { return dosAttributes(path) == "0x2"; };
        const auto marked = [&](int n) { return isMarked(pathOf.at(n)); };
        int duplicates = 0;
        for (int round = 0; round < 4; ++round) {
            for (int i = 0, n = int(pathOf.size()); i < (round ? 1500 : 3000); ++i, ++n)
                pathOf << writeForeignMessage(m_env->chats(), 10 + n / 3600, n / 60 % 60, n % 60,
                                              u"guest"_s, u"<m%1>"_s.arg(n));
            const QStringList logsBefore = conversationLogs();
            start({m_chatFile});
            QElapsedTimer waited; // later rounds: soon after a save, while its files are marked
            waited.start();
            while (round && conversationLogs().size() == logsBefore.size() &&
                   waited.elapsed() < 20000)
                QTest::qWait(1);
            QTest::qWait(int(round ? random.bounded(0, 40) : random.bounded(200, 1400)));
            m_program->kill();
            QVERIFY(m_program->waitForFinished());
            QSet<int> logged;
            for (const QString &log : conversationLogs()) {
                const QList<int> numbers = loggedNumbers(log);
                logged.unite(QSet<int>(numbers.begin(), numbers.end()));
                if (logsBefore.contains(log))
                    continue;
                // Unmarked only at its end, what the run saved last: these show again.
                qsizetype end = numbers.size();
                while (end > 0 && !marked(numbers.at(end - 1)))
                    --end;
                QVERIFY(std::all_of(numbers.begin(), numbers.begin() + end, marked));
                duplicates += int(numbers.size() - end);
            }
            for (int n = 0; n < pathOf.size(); ++n)
                QVERIFY2(!marked(n) || logged.contains(n), qPrintable(u"lost <m%1>"_s.arg(n)));
        }
        start({m_chatFile});
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(pathOf.begin(), pathOf.end(), isMarked), 120000);
        sendLine(u":exit"_s);
        QTRY_VERIFY_WITH_TIMEOUT(m_program->state() == QProcess::NotRunning, 20000);
        QCOMPARE(boxesShown(), QStringList());
        QList<int> shown;
        for (const QString &log : conversationLogs())
            shown += loggedNumbers(log);
        QCOMPARE(QSet<int>(shown.begin(), shown.end()).size(), pathOf.size());
        QCOMPARE(shown.size(), pathOf.size() + duplicates);
    }

    void signalEndsChatSavingWhatItHolds_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("chat");
        QTest::newRow("SIGTERM") << int(SIGTERM) << true;
        QTest::newRow("SIGHUP") << int(SIGHUP) << true;
        QTest::newRow("SIGTERM in the chat selection") << int(SIGTERM) << false;
    }

    // A logout, shutdown or closed terminal: the chat ends as at the end of the
    // desktop session, with its user name, placement and log saved, asking
    // nothing, and the process ends normally.
    void signalEndsChatSavingWhatItHolds()
    {
        QFETCH(int, signalNumber);
        QFETCH(bool, chat);
        stored(u"Nicks"_s, u"Alice"_s);
        start(chat ? QStringList{m_chatFile} : QStringList());
        if (chat) {
            sendLine(u"said before the signal"_s);
            QTRY_VERIFY_WITH_TIMEOUT(logText(conversationLogs().value(0)).contains(u"signal"_s),
                                     20000);
            // Saved only when the chat ends: the name (changed behind its back) and the placement.
            stored(u"Nicks"_s, u"stale"_s);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(
                TestEnvironment::readAll(m_env->path(u"boxes.log"_s)).startsWith(u"window\t"_s),
                20000);
        }
        QCOMPARE(::kill(pid_t(m_program->processId()), signalNumber), 0);
        QVERIFY(m_program->waitForFinished(5000));
        QVERIFY(m_program->exitStatus() == QProcess::NormalExit && m_program->exitCode() == 0);
        QCOMPARE(boxesShown(), QStringList());
        QCOMPARE(stored(u"Nicks"_s), u"Alice"_s);
        QCOMPARE(stored(u"Placement frmMain"_s).isEmpty(), !chat);
        QCOMPARE(logText(conversationLogs().value(0)).contains(u"said before the signal"_s), chat);
    }
};

QTEST_MAIN(tst_ChatProcess)
#include "tst_chatprocess.moc"
