#include "core/settingsstore.h"
#include "core/support.h"
#include "richtext/rtfreader.h"
#include "testsupport.h"

#include <csignal>

#include <QElapsedTimer>
#include <QImage>
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

// Carries a file to another computer's folder as a sync service does: written
// under a hidden name, then renamed over what is there. Only the bytes go, not
// the marks of the computer it comes from.
void carry(const QString &from, const QString &to, const QByteArray &bytes)
{
    const QString hidden = parentFolder(to) + u"/.syncthing.carried.tmp"_s;
    QDir().mkpath(parentFolder(to));
    QFile out(hidden);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes.isNull() ? fileBytes(from) : bytes) < 0)
        qFatal("cannot carry %s", qPrintable(from));
    out.close();
    QFile::remove(to);
    QFile::rename(hidden, to);
}

// The one message file in an exchange folder.
QString messageFileIn(const QString &folder)
{
    const QStringList names = QDir(folder).entryList({u"*.QLIM"_s}, QDir::Files);
    return names.size() == 1 ? folder + '/'_L1 + names[0] : QString();
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
    // Another computer's copy keeps its input, boxes, home and XDG folders in `peer`;
    // "." is the test's own home.
    std::unique_ptr<QProcess> launch(const QStringList &arguments, const QString &peer = u"."_s)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString home = m_env->path(peer);
        for (const char *name :
             {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            if (peer == "."_L1)
                break;
            const QString folder = home + '/'_L1 + QString::fromLatin1(name).toLower();
            QDir().mkpath(folder);
            environment.insert(QString::fromLatin1(name), folder);
        }
        environment.insert(u"QUILLET_TEST_INPUT"_s, home + u"/input.txt"_s);
        auto program = startProgram(arguments, home + u"/boxes.log"_s, environment);
        if (!program->waitForStarted())
            qFatal("the program did not start");
        return program;
    }

    void start(const QStringList &arguments) { m_program = launch(arguments); }

    // The conversation a copy shows, as HTML.
    QString shownBy(const QString &peer)
    {
        const QString dump = m_env->path(peer + u"/shown.html"_s);
        QFile::remove(dump);
        sendLine(u":dump "_s + dump, peer);
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(dump) && waited.elapsed() < 20000)
            QTest::qWait(10);
        return TestEnvironment::readAll(dump);
    }

    // What the settings hold for the chat in `section`; `value` is stored first when given.
    QString stored(const QString &section, const QString &value = {})
    {
        if (!value.isNull())
            (void)SettingsStore().saveValue(section, m_chatFile, ValueKind::Text, value);
        return SettingsStore().loadValue(section, m_chatFile, ValueKind::Text).toString();
    }

    void sendLine(const QString &text, const QString &peer = u"."_s)
    {
        const QString input = m_env->path(peer + u"/input.txt"_s);
        m_env->touch(peer + u"/.input.tmp"_s, text.toUtf8() + '\n');
        QVERIFY(QFile::rename(m_env->path(peer + u"/.input.tmp"_s), input));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(input), 20000);
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

    // Two computers' copies, each with its own exchange folder, and the test as
    // the sync service between them, delivering the message before its files and
    // one file first with the wrong bytes: the other copy shows the message once,
    // its files as not yet received until each is whole, then as links, the
    // picture as a thumbnail; its log holds each file once.
    void fileAndPictureReachAnotherCopy()
    {
        QImage picture(480, 320, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        const QString photo = m_env->path(u"mine/фото.png"_s);
        QVERIFY(QDir().mkpath(m_env->path(u"mine"_s)) && picture.save(photo));
        QByteArray pdf = "%PDF-1.4\n" + QByteArray(200000, 'p');
        const QString report = m_env->touch(u"mine/отчёт.pdf"_s, pdf);
        const QString peerChats = m_env->path(u"b/chats"_s);
        const QString peerChat = m_env->touch(u"b/chats/team.QLIMChat"_s);
        start({m_chatFile});
        std::unique_ptr<QProcess> peer = launch({peerChat}, u"b"_s);

        sendLine(u":send "_s + report + '\t'_L1 + photo);
        QTRY_VERIFY_WITH_TIMEOUT(!messageFileIn(m_env->chats()).isEmpty(), 20000);
        const QString sent = messageFileIn(m_env->chats());
        const QString files = u"/Files/"_s + fileNameOf(sent).section(' '_L1, 2).chopped(5);
        carry(sent, peerChats + '/'_L1 + fileNameOf(sent), {});
        QTRY_COMPARE_WITH_TIMEOUT(shownBy(u"b"_s).count(u"Файл ещё не получен"_s), 2, 20000);

        QByteArray wrong = pdf;
        wrong[100] = 'q';
        carry({}, peerChats + files + u"/отчёт.pdf"_s, wrong);
        carry(m_env->chats() + files + u"/фото.png"_s, peerChats + files + u"/фото.png"_s, {});
        QTRY_VERIFY_WITH_TIMEOUT(shownBy(u"b"_s).contains(u"quillet-thumbnail:"_s), 20000);
        QString shown = shownBy(u"b"_s);
        QVERIFY(shown.contains(u"width=\"240\""_s));
        QCOMPARE(shown.count(u"Файл ещё не получен"_s), 1);

        carry(m_env->chats() + files + u"/отчёт.pdf"_s, peerChats + files + u"/отчёт.pdf"_s, {});
        QTRY_COMPARE_WITH_TIMEOUT(shownBy(u"b"_s).count(u"Файл ещё не получен"_s), 0, 20000);
        shown = shownBy(u"b"_s);
        QCOMPARE(shown.count(u"href=\"file://"_s), 3); // the picture's name and its thumbnail
        QTextDocument document;
        document.setHtml(shown);
        QCOMPARE(document.toPlainText().count(u"отчёт.pdf"_s), 1);
        QCOMPARE(dosAttributes(messageFileIn(peerChats)), "0x2");

        sendLine(u":exit"_s);
        sendLine(u":exit"_s, u"b"_s);
        QTRY_VERIFY_WITH_TIMEOUT(m_program->state() == QProcess::NotRunning &&
                                     peer->state() == QProcess::NotRunning,
                                 20000);
        const QStringList peerLogs = conversationLogs(m_env->path(u"b/xdg_data_home"_s));
        QCOMPARE(peerLogs.size(), 1);
        const QString peerLog = logText(peerLogs[0]);
        QCOMPARE(peerLog.count(u"отчёт.pdf"_s), 1);
        QCOMPARE(peerLog.count(u"фото.png"_s), 1);
        QCOMPARE(logText(conversationLogs().value(0)).count(u"отчёт.pdf"_s), 1);
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
