#include "exchange/chatsession.h"

#include "chattestsupport.h"
#include "exchange/messagefolder.h"
#include "platform/filesystem.h"
#include "testsupport.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace quillet;

using namespace Qt::StringLiterals;

namespace {

// A file written with a raw descriptor, so a test decides when its writer is done.
class OpenWriter final
{
public:
    explicit OpenWriter(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644))
    {}
    ~OpenWriter() { close(); }
    Q_DISABLE_COPY_MOVE(OpenWriter)
    bool isOpen() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

QByteArray utf16(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QString fields(const QString &sender, const QString &text, const QString &guid)
{
    return QStringList{u"2026"_s, u"12"_s, u"5"_s, u"10"_s, u"0"_s,
                       u"0"_s,    u"0"_s,  sender, text,    guid}
        .join(QChar(0));
}

} // namespace

class tst_ChatSession final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstTickThenOrderAcrossBatches();
    void batchInFlightShowsEveryFileOnce();
    void marksFollowTheSaveThatHoldsThem_data();
    void marksFollowTheSaveThatHoldsThem();
    void failedMarkIsNotShownAgainInTheRun();
    void fileBeingWrittenWaitsUntilItsWriterIsDone();
    void abandonedFileIsShownOnceQuiet();
    void folderWithoutWatchIsPolled();

private:
    void startSession();
    // The texts received since the last call, error lines as "!error".
    QStringList takeTexts();
    QString write(int index, const QString &text);

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ChatSession> m_session;
    QStringList m_texts;
    QList<IncomingEntry> m_entries;
    int m_saves = 0;
    std::function<bool()> m_onSave;
};

void tst_ChatSession::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_texts.clear();
    m_entries.clear();
    m_saves = 0;
    m_onSave = [] { return true; };
}

void tst_ChatSession::cleanup()
{
    m_session.reset();
    MessageFolder::setMarkErrorForTests(0);
    m_env.reset();
}

void tst_ChatSession::startSession()
{
    m_session = std::make_unique<ChatSession>(m_env->chats(), u"{ME}"_s);
    m_session->setLogSaver([this] {
        ++m_saves;
        return m_onSave();
    });
    connect(m_session.get(), &ChatSession::received, this,
            [this](const QList<IncomingEntry> &entries) {
                for (const IncomingEntry &entry : entries) {
                    m_entries.append(entry);
                    m_texts.append(entry.type == IncomingEntry::Type::Message ? entry.message.text
                                                                              : u"!error"_s);
                }
            });
    m_session->start();
}

QStringList tst_ChatSession::takeTexts()
{
    return std::exchange(m_texts, {});
}

QString tst_ChatSession::write(int index, const QString &text)
{
    return writeForeignMessage(m_env->chats(), 10 + index / 3600, index / 60 % 60, index % 60,
                               u"guest"_s, text);
}

// The first tick reads the folder without a change report; later batches come
// after changes, each in send order and after the one before.
void tst_ChatSession::firstTickThenOrderAcrossBatches()
{
    write(2, u"third"_s);
    write(0, u"first"_s);
    write(1, u"second"_s);
    startSession();
    QSignalSpy falseAlarms(m_session.get(), &ChatSession::falseAlarmRaised);
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(takeTexts(), (QStringList{u"first"_s, u"second"_s, u"third"_s}));
    QCOMPARE(falseAlarms.size(), 0);

    // The marks are a change of their own, and find nothing new.
    QTRY_COMPARE(falseAlarms.size(), 1);
    write(4, u"fifth"_s);
    write(3, u"fourth"_s);
    QTRY_COMPARE(finished.size(), 2);
    write(5, u"sixth"_s);
    QTRY_COMPARE(finished.size(), 3);
    QCOMPARE(takeTexts(), (QStringList{u"fourth"_s, u"fifth"_s, u"sixth"_s}));

    // An empty folder: the first tick still looks, and says so.
    m_session.reset();
    startSession();
    QSignalSpy firstAlarm(m_session.get(), &ChatSession::falseAlarmRaised);
    QTRY_COMPARE(firstAlarm.size(), 1);
    QCOMPARE(takeTexts(), QStringList());
}

// Ticks and changes during a long batch never dispatch a file a second time.
void tst_ChatSession::batchInFlightShowsEveryFileOnce()
{
    const int count = 3000;
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths << write(i, u"<%1>"_s.arg(i));
    startSession();
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QSignalSpy slices(m_session.get(), &ChatSession::received);
    QTRY_VERIFY(m_session->isDispatching());
    // Meanwhile: new files, and attribute changes on files not shown yet.
    for (int i = 0; i < 20; ++i) {
        write(count + i, u"<%1>"_s.arg(count + i));
        QVERIFY(QFile(paths.at(count - 1 - i)).setPermissions(QFileDevice::ReadOwner));
        QTest::qWait(5);
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_texts.size() >= count + 20 && !m_session->isDispatching(), 60000);
    QTest::qWait(3 * ChatSession::TickIntervalMs);
    QVERIFY2(slices.size() > 1, "the batch was not sliced");
    QStringList expected;
    for (int i = 0; i < count + 20; ++i)
        expected << u"<%1>"_s.arg(i);
    QStringList texts = takeTexts();
    // The first batch in send order; the late files after it.
    QCOMPARE(texts.mid(0, count), expected.mid(0, count));
    std::sort(texts.begin(), texts.end(), [](const QString &a, const QString &b) {
        return a.sliced(1).chopped(1).toInt() < b.sliced(1).chopped(1).toInt();
    });
    QCOMPARE(texts, expected);
}

// No file is marked before a save made after its message was received, and a
// failing save does not hold the marks back.
void tst_ChatSession::marksFollowTheSaveThatHoldsThem_data()
{
    QTest::addColumn<bool>("savesWork");
    QTest::newRow("saves work") << true;
    QTest::newRow("saves fail") << false;
}

void tst_ChatSession::marksFollowTheSaveThatHoldsThem()
{
    QFETCH(bool, savesWork);
    const int count = 1500;
    QHash<QString, QString> pathOf;
    for (int i = 0; i < count; ++i)
        pathOf.insert(u"<%1>"_s.arg(i), write(i, u"<%1>"_s.arg(i)));
    qsizetype saved = 0;
    int markedTooEarly = 0;
    const auto countMarked = [&](qsizetype from) {
        for (qsizetype i = from; i < m_texts.size(); ++i)
            markedTooEarly += !dosAttributes(pathOf.value(m_texts.at(i))).isEmpty();
    };
    m_onSave = [&] {
        countMarked(saved); // everything since the last save is still unmarked
        saved = m_texts.size();
        return savesWork;
    };
    startSession();
    connect(
        m_session.get(), &ChatSession::received, this,
        [&](const QList<IncomingEntry> &entries) { countMarked(m_texts.size() - entries.size()); });
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QCOMPARE(markedTooEarly, 0);
    QCOMPARE(m_texts.size(), count);
    QCOMPARE(saved, count);
    QVERIFY(m_saves >= 1);
    for (const QString &path : std::as_const(pathOf))
        QCOMPARE(dosAttributes(path), QByteArray("0x2"));
}

void tst_ChatSession::failedMarkIsNotShownAgainInTheRun()
{
    MessageFolder::setMarkErrorForTests(EIO);
    const QString first = write(0, u"once"_s);
    startSession();
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(dosAttributes(first), QByteArray());
    // More changes: a new file, the unmarked one touched.
    write(1, u"later"_s);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(QFile(first).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QTest::qWait(4 * ChatSession::TickIntervalMs);
    QCOMPARE(takeTexts(), (QStringList{u"once"_s, u"later"_s}));

    // The next run knows nothing of it and shows it, now that marks work.
    MessageFolder::setMarkErrorForTests(0);
    m_session.reset();
    startSession();
    QSignalSpy again(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE(again.size(), 1);
    QCOMPARE(takeTexts(), (QStringList{u"once"_s, u"later"_s}));
    QCOMPARE(dosAttributes(first), QByteArray("0x2"));
}

// UTF-16 cut inside the text parses as nine fields, which would pass for one's
// own message: it waits for the writer's close and is then shown whole.
void tst_ChatSession::fileBeingWrittenWaitsUntilItsWriterIsDone()
{
    startSession();
    QSignalSpy falseAlarms(m_session.get(), &ChatSession::falseAlarmRaised);
    QTRY_COMPARE(falseAlarms.size(), 1); // past the first tick
    const QString path = m_env->chats() + u"/2026-12-05 10-00-00-00-000 {SLOW}.QLIM"_s;
    const QByteArray whole =
        "\xFF\xFE" + utf16(fields(u"гость"_s, u"начало и конец"_s, u"{OTHER}"_s));
    const qsizetype cut = whole.indexOf(utf16(u" и "_s));
    QVERIFY(cut > 0);
    OpenWriter writer(path);
    QVERIFY(writer.isOpen());
    QVERIFY(writer.write(whole.first(cut)));
    QTest::qWait(3 * ChatSession::TickIntervalMs);
    QCOMPARE(takeTexts(), QStringList());
    QVERIFY(writer.write(whole.sliced(cut)));
    QTest::qWait(2 * ChatSession::TickIntervalMs);
    QCOMPARE(takeTexts(), QStringList());
    writer.close();
    QTRY_COMPARE(m_entries.size(), 1);
    QCOMPARE(m_entries.first().message.text, u"начало и конец"_s);
    QCOMPARE(m_entries.first().message.kind, MessageKind::Other);
    QTRY_COMPARE(dosAttributes(path), QByteArray("0x2"));

    // Present before the start, cut and fresh: the content and age tell.
    m_session.reset();
    const QString early = m_env->chats() + u"/2026-12-05 11-00-00-00-000 {EARLY}.QLIM"_s;
    OpenWriter second(early);
    QVERIFY(second.write(whole.first(cut)));
    m_entries.clear();
    startSession();
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QTest::qWait(3 * ChatSession::TickIntervalMs);
    QCOMPARE(m_entries.size(), 0);
    QVERIFY(second.write(whole.sliced(cut)));
    second.close();
    QTRY_COMPARE(m_entries.size(), 1);
    QCOMPARE(m_entries.first().message.text, u"начало и конец"_s);
    QCOMPARE(m_entries.first().message.kind, MessageKind::Other);
}

// A writer that stops half way and never closes: once quiet, the file is shown
// as it is (here a receive error), once, and marked.
void tst_ChatSession::abandonedFileIsShownOnceQuiet()
{
    startSession();
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    const QString path = m_env->chats() + u"/2026-12-05 10-00-00-00-000 {STUCK}.QLIM"_s;
    OpenWriter writer(path);
    QVERIFY(writer.write("\xFF\xFE" + utf16(u"2026"_s + QChar(0) + u"12"_s)));
    QTest::qWait(ChatSession::QuietMs / 2);
    QCOMPARE(m_entries.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_entries.size(), 1, int(ChatSession::QuietMs) * 3);
    QCOMPARE(m_entries.first().type, IncomingEntry::Type::ReceiveError);
    QTRY_COMPARE(dosAttributes(path), QByteArray("0x2"));
    writer.close(); // the late close is a change, and nothing more
    QTest::qWait(4 * ChatSession::TickIntervalMs);
    QCOMPARE(m_entries.size(), 1);
}

// A chat whose folder was missing at the start has no watch: the folder is
// listed on its own, so a message comes within about a second, not after the
// next attempt to start the watch.
void tst_ChatSession::folderWithoutWatchIsPolled()
{
    const QString folder = m_env->path(u"later"_s);
    m_session = std::make_unique<ChatSession>(folder, u"{ME}"_s);
    connect(m_session.get(), &ChatSession::received, this,
            [this](const QList<IncomingEntry> &entries) { m_entries += entries; });
    m_session->start();
    QVERIFY(m_session->isPolling());
    QTest::qWait(2 * ChatSession::TickIntervalMs);
    QVERIFY(QDir().mkpath(folder));
    writeForeignMessage(folder, 10, 0, 0, u"guest"_s, u"through the poll"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_entries.size(), 1, 2000);
    QCOMPARE(m_entries.first().message.text, u"through the poll"_s);

    // A folder said to be on a network file system is polled although watched.
    setForcedNetworkFileSystemForTests(true);
    ChatSession network(m_env->chats(), u"{ME}"_s);
    network.start();
    setForcedNetworkFileSystemForTests(false);
    QVERIFY(network.isPolling());
}

QTEST_GUILESS_MAIN(tst_ChatSession)
#include "tst_chatsession.moc"
