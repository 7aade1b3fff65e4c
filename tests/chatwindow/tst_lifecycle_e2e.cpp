#include "chattestsupport.h"
#include "core/settingsstore.h"
#include "testsupport.h"

#include <algorithm>
#include <csignal>

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace quillet;

using namespace Qt::StringLiterals;

namespace {

QString storedValue(const QString &section, const QString &key)
{
    SettingsStore store;
    return store.loadValue(section, key, ValueKind::Text).toString();
}

void storeValue(const QString &section, const QString &key, const QString &value)
{
    SettingsStore store;
    QVERIFY(store.saveValue(section, key, ValueKind::Text, value).ok());
}

QString logsFolder()
{
    return qEnvironmentVariable("XDG_DATA_HOME") + u"/Greyhollow Studios/Quillet IM/Logs"_s;
}

QString allLogText()
{
    QString text;
    QDirIterator it(logsFolder(), {u"*.RTF"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        text += TestEnvironment::readAll(it.next());
    return text;
}

// Lines of the box log that are boxes, not windows shown.
QStringList boxesShown(const QString &boxLog)
{
    QStringList boxes;
    for (const QString &line : TestEnvironment::readAll(boxLog).split(u'\n')) {
        if (!line.isEmpty() && !line.startsWith(u"window\t"_s))
            boxes << line;
    }
    return boxes;
}

// Output of a helper program, or empty when it cannot run.
QString run(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Where the program's icon sits in trayer's panel (absolute position and size
// as xwininfo prints them); one rectangle per icon of ours the panel holds.
QList<QRect> embeddedIcons(const QProcessEnvironment &environment)
{
    const QStringList lines =
        run(u"xwininfo"_s, {u"-root"_s, u"-tree"_s}, environment).split(u'\n');
    static const QRegularExpression geometry(
        uR"((\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$)"_s);
    QList<QRect> icons;
    qsizetype panelIndent = -1; // the lines below the panel's, indented deeper, are inside it
    for (const QString &line : lines) {
        const qsizetype indent = line.indexOf(u"0x"_s);
        if (indent < 0)
            continue;
        if (panelIndent >= 0 && indent <= panelIndent)
            panelIndent = -1;
        if (line.contains(uR"(("panel" "trayer"))"_s)) {
            panelIndent = indent;
            continue;
        }
        const QRegularExpressionMatch match = geometry.match(line);
        if (panelIndent >= 0 && line.contains(uR"(("quillet-im" )"_s) && match.hasMatch())
            icons << QRect(match.captured(3).toInt(), match.captured(4).toInt(),
                           match.captured(1).toInt(), match.captured(2).toInt());
    }
    return icons;
}

} // namespace

class tst_LifecycleEndToEnd final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void signalEndsChatSavingWhatItHolds_data();
    void signalEndsChatSavingWhatItHolds();
    void signalWithoutChatQuits();
    void trayThatComesUpLateGetsTheIcon();
    void sessionManagerCheckpointThenLogout();

private:
    QProcessEnvironment programEnvironment() const;
    void sendLine(const QString &text);
    QString startXServer();
    QProcess *startHelper(const QString &program, const QStringList &arguments,
                          const QProcessEnvironment &environment);
    bool sentAndShown(int count) const;

    std::unique_ptr<TestEnvironment> m_env;
    QString m_chatFile;
    std::unique_ptr<QProcess> m_program;
    std::vector<std::unique_ptr<QProcess>> m_helpers;
};

void tst_LifecycleEndToEnd::init()
{
    m_env = std::make_unique<TestEnvironment>();
    QFile::setPermissions(m_env->path(u"runtime"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_chatFile = m_env->touch(u"chats/team.QLIMChat"_s);
}

void tst_LifecycleEndToEnd::cleanup()
{
    std::vector<QProcess *> all;
    if (m_program)
        all.push_back(m_program.get());
    for (auto it = m_helpers.rbegin(); it != m_helpers.rend(); ++it)
        all.push_back(it->get());
    for (QProcess *process : all) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
        }
    }
    m_program.reset();
    m_helpers.clear();
    m_env.reset();
}

QProcessEnvironment tst_LifecycleEndToEnd::programEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QUILLET_BOX_LOG"_s, m_env->path(u"boxes.log"_s));
    environment.insert(u"QUILLET_TEST_INPUT"_s, m_env->path(u"input.txt"_s));
    return environment;
}

// Typed and sent: the program reads its input file on its next tick.
void tst_LifecycleEndToEnd::sendLine(const QString &text)
{
    const QString temporary = m_env->path(u".input.tmp"_s);
    QFile file(temporary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8() + '\n');
    file.close();
    QVERIFY(QFile::rename(temporary, m_env->path(u"input.txt"_s)));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(m_env->path(u"input.txt"_s)), 20000);
}

// A private X server on a free display; its number, or empty when none starts.
QString tst_LifecycleEndToEnd::startXServer()
{
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        return {};
    QProcess *server = startHelper(
        u"Xvfb"_s,
        {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s},
        QProcessEnvironment::systemEnvironment());
    if (!server->waitForReadyRead(10000))
        return {};
    return QString::fromLatin1(server->readLine()).trimmed();
}

QProcess *tst_LifecycleEndToEnd::startHelper(const QString &program, const QStringList &arguments,
                                             const QProcessEnvironment &environment)
{
    auto &helper = m_helpers.emplace_back(std::make_unique<QProcess>());
    helper->setProcessEnvironment(environment);
    helper->start(program, arguments);
    helper->waitForStarted();
    return helper.get();
}

// The program has sent `count` messages and shown (marked) them all.
bool tst_LifecycleEndToEnd::sentAndShown(int count) const
{
    const QString exchange = m_env->chats();
    const QStringList files = QDir(exchange).entryList({u"*.QLIM"_s}, QDir::Files);
    return files.size() == count &&
           std::all_of(files.begin(), files.end(), [&](const QString &name) {
               return dosAttributes(exchange + u'/' + name) == QByteArray("0x2");
           });
}

void tst_LifecycleEndToEnd::signalEndsChatSavingWhatItHolds_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("logBlocked");
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("SIGTERM, log cannot be saved") << int(SIGTERM) << true;
}

// A logout, shutdown or closed terminal: the chat ends as at the end of the
// desktop session, with its user name, placement and log saved, asking
// nothing, and the process ends normally.
void tst_LifecycleEndToEnd::signalEndsChatSavingWhatItHolds()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, logBlocked);
    storeValue(u"Nicks"_s, m_chatFile, u"Alice"_s);
    if (logBlocked)
        m_env->touch(u"data/Greyhollow Studios/Quillet IM/Logs"_s);

    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(programEnvironment());
    m_program->setProcessChannelMode(QProcess::ForwardedChannels);
    m_program->start(TestEnvironment::executable(), {m_chatFile});
    QVERIFY(m_program->waitForStarted());
    sendLine(u"said before the signal"_s);
    QTRY_VERIFY_WITH_TIMEOUT(sentAndShown(1), 20000);

    // What the program saves only when its chat ends: the user name (stored
    // here behind its back) and the window placement.
    storeValue(u"Nicks"_s, m_chatFile, u"stale"_s);
    QVERIFY(storedValue(u"Placement frmMain"_s, m_chatFile).isEmpty());

    QCOMPARE(::kill(pid_t(m_program->processId()), signalNumber), 0);
    QVERIFY(m_program->waitForFinished(5000));
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);

    QCOMPARE(storedValue(u"Nicks"_s, m_chatFile), u"Alice"_s);
    QVERIFY(!storedValue(u"Placement frmMain"_s, m_chatFile).isEmpty());
    QCOMPARE(boxesShown(m_env->path(u"boxes.log"_s)), QStringList());
    if (!logBlocked) {
        const QString log = allLogText();
        QVERIFY(log.contains(u"said before the signal"_s));
        QVERIFY(log.contains(u"Alice"_s));
    }
}

// With the chat selection window open there is nothing to save.
void tst_LifecycleEndToEnd::signalWithoutChatQuits()
{
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(programEnvironment());
    m_program->setProcessChannelMode(QProcess::ForwardedChannels);
    m_program->start(TestEnvironment::executable(), {});
    QVERIFY(m_program->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(
        TestEnvironment::readAll(m_env->path(u"boxes.log"_s)).startsWith(u"window\t"_s), 20000);
    QCOMPARE(::kill(pid_t(m_program->processId()), SIGTERM), 0);
    QVERIFY(m_program->waitForFinished(5000));
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);
}

// Started hidden at log-on before the panel: the chat waits minimised, gets
// its icon into the tray that comes up later, and a click on it shows the
// window. Runs on a private X server with trayer as the tray host, without a
// session bus, so the icon goes the XEmbed way.
void tst_LifecycleEndToEnd::trayThatComesUpLateGetsTheIcon()
{
    for (const QString &tool : {u"trayer"_s, u"xdotool"_s, u"xwininfo"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + u" is not installed (scripts/install-deps.sh installs it)"_s));
    }
    const QString display = startXServer();
    if (display.isEmpty())
        QSKIP("no X server could be started (Xvfb)");

    QProcessEnvironment environment = programEnvironment();
    environment.insert(u"DISPLAY"_s, u':' + display);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(environment);
    m_program->setProcessChannelMode(QProcess::ForwardedChannels);
    m_program->start(TestEnvironment::executable(), {u"/H"_s, m_chatFile});
    QVERIFY(m_program->waitForStarted());

    // No tray yet: the hidden start is a minimised one.
    const QString boxLog = m_env->path(u"boxes.log"_s);
    const auto timesShown = [&] {
        return TestEnvironment::readAll(boxLog).count(u"window\tQuillet IM :: team.QLIMChat\n"_s);
    };
    QTRY_VERIFY_WITH_TIMEOUT(timesShown() > 0, 20000);
    QCOMPARE(embeddedIcons(environment), QList<QRect>());

    QCOMPARE(startHelper(u"trayer"_s, {}, environment)->state(), QProcess::Running);
    QTRY_COMPARE_WITH_TIMEOUT(embeddedIcons(environment).size(), 1, 20000);

    // Hidden into the tray now (Esc), and back by a click on the icon.
    const QString windowId =
        run(u"xdotool"_s, {u"search"_s, u"--name"_s, u"Quillet IM :: team"_s}, environment)
            .split(u'\n')
            .value(0);
    QVERIFY(!windowId.isEmpty());
    const auto mapState = [&] {
        return run(u"xwininfo"_s, {u"-id"_s, windowId}, environment)
            .section(u"Map State: "_s, 1)
            .section(u'\n', 0, 0);
    };
    run(u"xdotool"_s, {u"key"_s, u"--window"_s, windowId, u"Escape"_s}, environment);
    QTRY_COMPARE_WITH_TIMEOUT(mapState(), u"IsUnMapped"_s, 10000);
    const qsizetype shownBefore = timesShown();

    const QPoint centre = embeddedIcons(environment).value(0).center();
    run(u"xdotool"_s,
        {u"mousemove"_s, QString::number(centre.x()), QString::number(centre.y()), u"click"_s,
         u"1"_s},
        environment);
    QTRY_COMPARE_WITH_TIMEOUT(mapState(), u"IsViewable"_s, 10000);
    QVERIFY(timesShown() > shownBefore);
    QCOMPARE(m_program->state(), QProcess::Running);
    QCOMPARE(boxesShown(boxLog), QStringList());
}

// An X11 session manager asks to save on a checkpoint and before a logout.
// The checkpoint saves the user name and the log, and the chat goes on; the
// logout's request to quit then ends the chat with everything saved.
void tst_LifecycleEndToEnd::sessionManagerCheckpointThenLogout()
{
    const QString managerProgram = qEnvironmentVariable("QUILLET_SESSION_MANAGER");
    if (managerProgram.isEmpty())
        QSKIP("the test session manager was not built (libsm-dev is missing)");
    const QString display = startXServer();
    if (display.isEmpty())
        QSKIP("no X server could be started (Xvfb)");
    QProcess *manager = startHelper(managerProgram, {}, QProcessEnvironment::systemEnvironment());
    QVERIFY(manager->waitForReadyRead(10000));
    const QString address = QString::fromLatin1(manager->readLine()).trimmed();
    QString events;
    const auto managerSaw = [&](const QString &event) {
        events += QString::fromLatin1(manager->readAll());
        return events.split(u'\n').contains(event);
    };

    storeValue(u"Nicks"_s, m_chatFile, u"Alice"_s);
    QProcessEnvironment environment = programEnvironment();
    environment.insert(u"DISPLAY"_s, u':' + display);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(u"SESSION_MANAGER"_s, address);
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(environment);
    m_program->setProcessChannelMode(QProcess::ForwardedChannels);
    m_program->start(TestEnvironment::executable(), {m_chatFile});
    QVERIFY(m_program->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(managerSaw(u"registered"_s), 20000);
    sendLine(u"before the checkpoint"_s);
    QTRY_VERIFY_WITH_TIMEOUT(sentAndShown(1), 20000);

    storeValue(u"Nicks"_s, m_chatFile, u"stale"_s);
    manager->write("checkpoint\n");
    QVERIFY(manager->waitForBytesWritten());
    QTRY_VERIFY_WITH_TIMEOUT(managerSaw(u"saved"_s), 20000);
    QCOMPARE(storedValue(u"Nicks"_s, m_chatFile), u"Alice"_s);
    QVERIFY(allLogText().contains(u"before the checkpoint"_s));
    sendLine(u"after the checkpoint"_s); // the chat goes on
    QTRY_VERIFY_WITH_TIMEOUT(sentAndShown(2), 20000);
    QCOMPARE(m_program->state(), QProcess::Running);

    storeValue(u"Nicks"_s, m_chatFile, u"stale"_s);
    events.clear();
    manager->write("logout\n");
    QVERIFY(manager->waitForBytesWritten());
    QVERIFY(m_program->waitForFinished(5000));
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(managerSaw(u"saved"_s), 10000);
    QCOMPARE(storedValue(u"Nicks"_s, m_chatFile), u"Alice"_s);
    QVERIFY(allLogText().contains(u"after the checkpoint"_s));
    QCOMPARE(boxesShown(m_env->path(u"boxes.log"_s)), QStringList());
}

QTEST_MAIN(tst_LifecycleEndToEnd)
#include "tst_lifecycle_e2e.moc"
