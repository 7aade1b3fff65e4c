#include "chattestsupport.h"
#include "core/settingsstore.h"
#include "richtext/rtfreader.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// Default name colours: own messages green, other participants' purple.
const QColor OwnColour(0, 128, 0);
const QColor OtherColour(128, 0, 255);

// One participant: the real program with its own home folders and its own
// exchange folder, driven through its headless test input file.
struct Side
{
    QString name;
    QString root;
    QString exchange;
    QString chatFile;
    QProcessEnvironment environment;
    std::unique_ptr<QProcess> process;

    QString path(const QString &relative) const { return root + '/'_L1 + relative; }
    QString inputFile() const { return path(u"input.txt"_s); }
    QString boxLog() const { return path(u"boxes.log"_s); }
    QString logsFolder() const { return path(u"data/Greyhollow Studios/Quillet IM/Logs"_s); }
};

QStringList messageFileNames(const QString &folder)
{
    return QDir(folder).entryList({u"*.QLIM"_s}, QDir::Files, QDir::Name);
}

// The conversation logs a side has written, oldest first.
QStringList logFiles(const Side &side)
{
    QStringList logs;
    QDirIterator it(side.logsFolder(), {u"*.RTF"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        logs << it.next();
    std::sort(logs.begin(), logs.end());
    return logs;
}

// A log as a document; empty when it cannot be read (yet).
std::unique_ptr<QTextDocument> readLog(const QString &path)
{
    auto document = std::make_unique<QTextDocument>();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !readRtf(file.readAll(), document.get()).ok())
        document->clear();
    return document;
}

QString logText(const QString &path)
{
    return readLog(path)->toPlainText();
}

// The numbers of the "<m...>" messages a log shows, in its order; false when
// the log is not readable RTF.
bool loggedNumbers(const QString &path, QList<int> &numbers)
{
    QFile file(path);
    QTextDocument document;
    if (!file.open(QIODevice::ReadOnly) || !readRtf(file.readAll(), &document).ok())
        return false;
    static const QRegularExpression token(u"<m(\\d+)>"_s);
    auto matches = token.globalMatch(document.toPlainText());
    while (matches.hasNext())
        numbers.append(matches.next().captured(1).toInt());
    return true;
}

// The colour of the header that carries the sender's name before `text`.
QColor headerColourBefore(const QTextDocument &document, const QString &sender, const QString &text)
{
    QColor colour;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.text().startsWith(sender))
                colour = fragment.charFormat().foreground().color();
            if (fragment.text().contains(text))
                return colour;
        }
    }
    return {};
}

} // namespace

class tst_ChatSessionEndToEnd final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void twoCopiesChatThroughSyncedFolders();
    void killedDuringBacklogLosesNothing();
    void networkFolderIsPolled();

private:
    Side makeSide(const QString &name);
    void start(Side &side);
    void send(const Side &side, const QString &text);
    void stop(Side &side);
    void syncOnce();

    QTemporaryDir m_dir;
    Side m_a;
    Side m_b;
    QTimer m_sync;
};

Side tst_ChatSessionEndToEnd::makeSide(const QString &name)
{
    Side side;
    side.name = name;
    side.root = m_dir.filePath(name);
    side.exchange = side.path(u"exchange"_s);
    for (const char *folder : {"home", "config", "data", "state", "runtime", "exchange"})
        QDir().mkpath(side.path(QLatin1String(folder)));
    QFile::setPermissions(side.path(u"runtime"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    side.chatFile = side.exchange + u"/team.QLIMChat"_s;
    QFile(side.chatFile).open(QIODevice::WriteOnly);

    side.environment = QProcessEnvironment::systemEnvironment();
    side.environment.insert(u"HOME"_s, side.path(u"home"_s));
    side.environment.insert(u"XDG_CONFIG_HOME"_s, side.path(u"config"_s));
    side.environment.insert(u"XDG_DATA_HOME"_s, side.path(u"data"_s));
    side.environment.insert(u"XDG_STATE_HOME"_s, side.path(u"state"_s));
    side.environment.insert(u"XDG_RUNTIME_DIR"_s, side.path(u"runtime"_s));
    side.environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    side.environment.insert(u"QUILLET_BOX_LOG"_s, side.boxLog());
    side.environment.insert(u"QUILLET_TEST_INPUT"_s, side.inputFile());

    // Each participant's name for this chat, stored as the program stores it.
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", side.path(u"config"_s).toUtf8());
    {
        SettingsStore store;
        if (!store.saveValue(u"Nicks"_s, side.chatFile, ValueKind::Text, name).ok())
            qWarning("cannot store the user name");
    }
    qputenv("XDG_CONFIG_HOME", savedConfig);
    return side;
}

void tst_ChatSessionEndToEnd::start(Side &side)
{
    side.process = std::make_unique<QProcess>();
    side.process->setProcessEnvironment(side.environment);
    side.process->setProcessChannelMode(QProcess::ForwardedChannels);
    side.process->start(qEnvironmentVariable("QUILLET_EXECUTABLE"), {side.chatFile});
    QVERIFY(side.process->waitForStarted());
}

// Typed and sent: the program reads its input file on its next tick.
void tst_ChatSessionEndToEnd::send(const Side &side, const QString &text)
{
    const QString temporary = side.path(u".input.tmp"_s);
    QFile file(temporary);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8() + '\n');
    file.close();
    QVERIFY(QFile::rename(temporary, side.inputFile()));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(side.inputFile()), 20000);
}

void tst_ChatSessionEndToEnd::stop(Side &side)
{
    send(side, u":exit"_s);
    if (side.process->state() != QProcess::NotRunning)
        QVERIFY(side.process->waitForFinished(20000));
    QCOMPARE(side.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(side.process->exitCode(), 0);
}

// The sync service: new message files go both ways, as plain new files
// without the attributes of the source, written under a temporary name first.
void tst_ChatSessionEndToEnd::syncOnce()
{
    const auto copyNew = [](const QString &from, const QString &to) {
        const QStringList present = messageFileNames(to);
        for (const QString &name : messageFileNames(from)) {
            if (present.contains(name))
                continue;
            QFile source(from + '/'_L1 + name);
            if (!source.open(QIODevice::ReadOnly))
                continue;
            const QString temporary = to + u"/.sync.tmp"_s;
            QFile target(temporary);
            if (!target.open(QIODevice::WriteOnly))
                continue;
            target.write(source.readAll());
            target.close();
            QFile::rename(temporary, to + '/'_L1 + name);
        }
    };
    copyNew(m_a.exchange, m_b.exchange);
    copyNew(m_b.exchange, m_a.exchange);
}

void tst_ChatSessionEndToEnd::init()
{
    QVERIFY(m_dir.isValid());
    m_a = makeSide(u"Alice"_s);
    m_b = makeSide(u"Bob"_s);
    m_sync.setInterval(50);
    connect(&m_sync, &QTimer::timeout, this, &tst_ChatSessionEndToEnd::syncOnce);
    m_sync.start();
}

void tst_ChatSessionEndToEnd::cleanup()
{
    m_sync.stop();
    for (Side *side : {&m_a, &m_b}) {
        if (side->process && side->process->state() != QProcess::NotRunning) {
            side->process->kill();
            side->process->waitForFinished();
        }
    }
}

void tst_ChatSessionEndToEnd::twoCopiesChatThroughSyncedFolders()
{
    start(m_a);
    start(m_b);

    // Alternating senders; each message is seen on both sides before the next.
    const QList<std::pair<Side *, QString>> conversation = {
        {&m_a, u"hello from alice"_s},
        {&m_b, u"hello from bob"_s},
        {&m_b, u"bob again"_s},
        {&m_a, u"alice replies"_s},
    };
    for (const auto &[sender, text] : conversation) {
        send(*sender, text);
        for (const Side *side : {&m_a, &m_b})
            QTRY_VERIFY_WITH_TIMEOUT(!logFiles(*side).isEmpty() &&
                                         logText(logFiles(*side).last()).contains(text),
                                     20000);
    }

    for (const Side *side : {&m_a, &m_b}) {
        QCOMPARE(logFiles(*side).size(), 1);
        const auto log = readLog(logFiles(*side).last());
        const QString text = log->toPlainText();
        qsizetype position = -1;
        for (const auto &[sender, message] : conversation) {
            QCOMPARE(text.count(message), 1);
            const qsizetype at = text.indexOf(message);
            QVERIFY2(at > position, qPrintable(side->name + u": "_s + message));
            position = at;
            const QColor expected = sender == side ? OwnColour : OtherColour;
            QCOMPARE(headerColourBefore(*log, sender->name, message), expected);
        }
        // Every message file ends up shown (hidden) on each side, the chat file never.
        QCOMPARE(messageFileNames(side->exchange).size(), conversation.size());
        for (const QString &name : messageFileNames(side->exchange))
            QTRY_COMPARE(dosAttributes(side->exchange + '/'_L1 + name), QByteArray("0x2"));
        QVERIFY(dosAttributes(side->chatFile).isEmpty());
    }

    // Alice leaves and comes back: nothing is shown again, new messages are.
    stop(m_a);
    QTest::qWait(1100); // the next log is named by another second
    start(m_a);
    send(m_b, u"welcome back"_s);
    QTRY_VERIFY_WITH_TIMEOUT(logFiles(m_a).size() == 2 &&
                                 logText(logFiles(m_a).last()).contains(u"welcome back"_s),
                             20000);
    const QString second = logText(logFiles(m_a).last());
    for (const auto &[sender, message] : conversation)
        QVERIFY(!second.contains(message));
    // The first run's log kept the whole first conversation.
    QVERIFY(logText(logFiles(m_a).first()).contains(u"alice replies"_s));

    stop(m_a);
    stop(m_b);
    for (const Side *side : {&m_a, &m_b}) {
        QFile boxes(side->boxLog());
        if (boxes.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : boxes.readAll().split('\n'))
                QVERIFY2(line.isEmpty() || line.startsWith("window\t"), line.constData());
        }
    }
}

// kill -9 at random moments of a long backlog, then a restart: a file is marked
// shown only once a log holds its message, so nothing is lost, and what shows
// twice is the tail of a killed run's log that had not been marked yet.
void tst_ChatSessionEndToEnd::killedDuringBacklogLosesNothing()
{
    m_sync.stop();
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    QHash<int, QString> pathOf;
    const auto addBacklog = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const int n = int(pathOf.size());
            pathOf.insert(n, writeForeignMessage(m_a.exchange, 10 + n / 3600, n / 60 % 60, n % 60,
                                                 u"guest"_s, u"<m%1>"_s.arg(n)));
        }
    };
    addBacklog(3000);
    int expectedDuplicates = 0;
    for (int round = 0; round < 4; ++round) {
        if (round > 0)
            addBacklog(2000);
        const QStringList logsBefore = logFiles(m_a);
        start(m_a);
        if (round == 0) {
            QTest::qWait(int(random.bounded(200, 1400)));
        } else {
            // Soon after a save, while the files it holds are being marked.
            QElapsedTimer waited;
            waited.start();
            while (logFiles(m_a).size() == logsBefore.size() && waited.elapsed() < 20000)
                QTest::qWait(1);
            QTest::qWait(int(random.bounded(0, 40)));
        }
        m_a.process->kill();
        QVERIFY(m_a.process->waitForFinished());

        QSet<int> logged;
        for (const QString &log : logFiles(m_a)) {
            QList<int> numbers;
            QVERIFY2(loggedNumbers(log, numbers), qPrintable(log));
            logged.unite(QSet<int>(numbers.begin(), numbers.end()));
        }
        QSet<int> marked;
        for (auto it = pathOf.cbegin(); it != pathOf.cend(); ++it) {
            if (dosAttributes(it.value()) == "0x2")
                marked.insert(it.key());
        }
        for (int n : std::as_const(marked))
            QVERIFY2(logged.contains(n), qPrintable(u"lost <m%1>"_s.arg(n)));
        // This run's log: what it holds without a mark is its last save, at its end.
        const QStringList logs = logFiles(m_a);
        for (const QString &log : logs) {
            if (logsBefore.contains(log))
                continue;
            QList<int> numbers;
            QVERIFY(loggedNumbers(log, numbers));
            qsizetype firstUnmarked = numbers.size();
            while (firstUnmarked > 0 && !marked.contains(numbers.at(firstUnmarked - 1)))
                --firstUnmarked;
            for (qsizetype i = 0; i < firstUnmarked; ++i)
                QVERIFY(marked.contains(numbers.at(i)));
            expectedDuplicates += int(numbers.size() - firstUnmarked);
            qInfo("round %d: %lld in the log, %lld of them unmarked at the kill", round,
                  qlonglong(numbers.size()), qlonglong(numbers.size() - firstUnmarked));
        }
        QTest::qWait(1100); // the next log is named by another second
    }
    start(m_a);
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(pathOf.cbegin(), pathOf.cend(),
                    [](const QString &path) { return dosAttributes(path) == "0x2"; }),
        120000);
    stop(m_a);
    QHash<int, int> shown;
    for (const QString &log : logFiles(m_a)) {
        QList<int> numbers;
        QVERIFY2(loggedNumbers(log, numbers), qPrintable(log));
        for (int n : std::as_const(numbers))
            ++shown[n];
    }
    int total = 0;
    for (auto it = pathOf.cbegin(); it != pathOf.cend(); ++it) {
        QVERIFY2(shown.value(it.key()) >= 1, qPrintable(u"<m%1>"_s.arg(it.key())));
        total += shown.value(it.key());
    }
    QCOMPARE(total, int(pathOf.size()) + expectedDuplicates);
}

// On a network file system inotify misses what other computers write: the
// chat lists the folder itself, and a message written by another process is
// in the view (and so in the log) within two seconds.
void tst_ChatSessionEndToEnd::networkFolderIsPolled()
{
    m_sync.stop();
    m_a.environment.insert(u"QUILLET_TEST_NETWORK_FS"_s, u"1"_s);
    start(m_a);
    send(m_a, u"ready"_s);
    QTRY_VERIFY_WITH_TIMEOUT(
        !logFiles(m_a).isEmpty() && logText(logFiles(m_a).last()).contains(u"ready"_s), 20000);
    const QString prepared = writeForeignMessage(m_a.root, 11, 0, 0, u"guest"_s, u"from afar"_s);
    QVERIFY(!prepared.isEmpty());
    QProcess copy;
    copy.start(u"cp"_s, {prepared, m_a.exchange});
    QVERIFY(copy.waitForFinished());
    QCOMPARE(copy.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(logText(logFiles(m_a).last()).contains(u"from afar"_s), 2000);
    stop(m_a);
}

QTEST_MAIN(tst_ChatSessionEndToEnd)
#include "tst_chatsession_e2e.moc"
