#include "exchange/chatsession.h"
#include "testsupport.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QScopeGuard>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>

#include "core/support.h"
#include "exchange/messagefolder.h"
#include "exchange/shownledger.h"
#include "platform/filesystem.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// A message file written with a raw descriptor, so a test decides when its writer is done.
class OpenWriter final
{
public:
    explicit OpenWriter(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644))
    {}
    ~OpenWriter() { close(); }
    Q_DISABLE_COPY_MOVE(OpenWriter)
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

} // namespace

class tst_ChatSession final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sendOrderWithinAndAcrossBatches();
    void batchInFlightShowsEveryFileOnce();
    void marksFollowTheSaveThatHoldsThem_data();
    void marksFollowTheSaveThatHoldsThem();
    void failedMarkIsNotShownAgainInTheRun();
    void marksGoToTheLedgerWhereAttributesAreRefused();
    void fileBeingWrittenWaitsUntilItsWriterIsDone();
    void abandonedFileIsShownOnceQuiet();
    void folderWithoutWatchIsPolled();

private:
    void startSession(const QString &folder = {});
    // The texts received since the last call, error lines as "!error".
    QStringList takeTexts() { return std::exchange(m_texts, {}); }
    QString write(int second, const QString &text)
    {
        return writeForeignMessage(m_folder, 10 + second / 3600, second / 60 % 60, second % 60,
                                   u"guest"_s, text);
    }
    // Waits for a tick that found nothing new: whatever was due has been shown.
    bool settle();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ChatSession> m_session;
    std::unique_ptr<QSignalSpy> m_falseAlarms;
    QString m_folder;
    QStringList m_texts;
    QList<IncomingEntry> m_entries;
    std::function<bool()> m_onSave;
};

void tst_ChatSession::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_folder = m_env->chats();
    m_texts.clear();
    m_entries.clear();
    m_onSave = [] { return true; };
}

void tst_ChatSession::cleanup()
{
    m_falseAlarms.reset();
    m_session.reset();
    MessageFolder::setMarkErrorForTests(0);
    m_env.reset();
}

void tst_ChatSession::startSession(const QString &folder)
{
    m_session = std::make_unique<ChatSession>(folder.isEmpty() ? m_folder : folder, u"{ME}"_s);
    m_session->setLogSaver([this] { return m_onSave(); });
    connect(m_session.get(), &ChatSession::received, this,
            [this](const QList<IncomingEntry> &entries) {
                for (const IncomingEntry &entry : entries) {
                    m_entries.append(entry);
                    m_texts.append(entry.type == IncomingEntry::Type::Message ? entry.message.text
                                                                              : u"!error"_s);
                }
            });
    m_falseAlarms = std::make_unique<QSignalSpy>(m_session.get(), &ChatSession::falseAlarmRaised);
    m_session->start();
}

bool tst_ChatSession::settle()
{
    const qsizetype alarms = m_falseAlarms->size();
    return QTest::qWaitFor([&] { return m_falseAlarms->size() > alarms; }, 20000);
}

// The first tick reads the folder without a change report; later files come
// in send order within one batch, and a file that reaches the folder late,
// named before some already shown, still comes, once, after them.
void tst_ChatSession::sendOrderWithinAndAcrossBatches()
{
    write(2, u"third"_s);
    write(0, u"first"_s);
    write(1, u"second"_s);
    startSession();
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(takeTexts(), (QStringList{u"first"_s, u"second"_s, u"third"_s}));
    QVERIFY(settle()); // the marks are a change of their own, and find nothing new
    // Two files reach the folder out of order between two ticks.
    QDir().mkpath(m_env->path(u"sync"_s));
    const QString later = writeForeignMessage(m_env->path(u"sync"_s), 10, 0, 5, u"g"_s, u"fifth"_s);
    const QString earlier = writeForeignMessage(m_env->path(u"sync"_s), 10, 0, 4, u"g"_s, u"4th"_s);
    QVERIFY(QFile::rename(later, m_folder + '/'_L1 + fileNameOf(later)));
    QVERIFY(QFile::rename(earlier, m_folder + '/'_L1 + fileNameOf(earlier)));
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(takeTexts(), (QStringList{u"4th"_s, u"fifth"_s}));
    write(3, u"late"_s);
    QTRY_COMPARE(finished.size(), 3);
    QVERIFY(settle());
    QCOMPARE(takeTexts(), QStringList{u"late"_s});

    // An empty folder: the first tick still looks, and says so.
    m_session.reset();
    startSession();
    QVERIFY(settle());
    QCOMPARE(takeTexts(), QStringList());
}

// Ticks and changes during a long batch never dispatch a file a second time.
void tst_ChatSession::batchInFlightShowsEveryFileOnce()
{
    const int count = 3000;
    QStringList expected;
    QStringList paths;
    for (int i = 0; i < count + 20; ++i)
        expected << u"<%1>"_s.arg(i);
    for (int i = 0; i < count; ++i)
        paths << write(i, expected.at(i));
    startSession();
    QSignalSpy slices(m_session.get(), &ChatSession::received);
    QTRY_VERIFY(m_session->isDispatching());
    // Meanwhile: new files, and attribute changes on files not shown yet.
    for (int i = 0; i < 20; ++i) {
        write(count + i, expected.at(count + i));
        QVERIFY(QFile(paths.at(count - 1 - i)).setPermissions(QFileDevice::ReadOwner));
        QCoreApplication::processEvents();
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_texts.size() >= count + 20 && !m_session->isDispatching(), 60000);
    QVERIFY(settle());
    QVERIFY2(slices.size() > 1, "the batch was not sliced");
    QStringList texts = takeTexts();
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
    for (const QString &path : std::as_const(pathOf))
        QCOMPARE(dosAttributes(path), QByteArray("0x2"));
}

// A mark that cannot be written (a disk error): the file is not shown again
// in this run, whatever changes; the next run shows it.
void tst_ChatSession::failedMarkIsNotShownAgainInTheRun()
{
    MessageFolder::setMarkErrorForTests(EIO);
    const QString first = write(0, u"once"_s);
    startSession();
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(dosAttributes(first), QByteArray());
    write(1, u"later"_s);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(QFile(first).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QVERIFY(settle());
    QCOMPARE(takeTexts(), (QStringList{u"once"_s, u"later"_s}));

    MessageFolder::setMarkErrorForTests(0);
    m_session.reset();
    startSession();
    QSignalSpy again(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE(again.size(), 1);
    QCOMPARE(takeTexts(), (QStringList{u"once"_s, u"later"_s}));
    QCOMPARE(dosAttributes(first), QByteArray("0x2"));
}

// On a file system that refuses user extended attributes (ramfs, mounted in
// a mount namespace of this test's own), the marks go to this computer's
// ledger: shown once, and never again after a restart.
void tst_ChatSession::marksGoToTheLedgerWhereAttributesAreRefused()
{
    m_folder = m_env->path(u"ramfs"_s);
    QVERIFY(QDir().mkpath(m_folder));
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
        QSKIP("no mount namespace of our own here (needs root)");
    QCOMPARE(::mount("none", QFile::encodeName(m_folder).constData(), "ramfs", 0, nullptr), 0);
    const auto unmount =
        qScopeGuard([&] { ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH); });
    QVERIFY(!setDosAttributeText(m_env->touch(u"ramfs/probe"_s), "0x2"));
    const QString first = write(0, u"first"_s);
    write(1, u"second"_s);
    startSession();
    QSignalSpy finished(m_session.get(), &ChatSession::batchFinished);
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(takeTexts(), (QStringList{u"first"_s, u"second"_s}));
    const QString ledger = TestEnvironment::readAll(ShownLedger::filePathFor(m_folder));
    QVERIFY2(ledger.contains(fileNameOf(first)), qPrintable(ledger));
    m_session.reset();
    startSession();
    QVERIFY(settle());
    QSignalSpy later(m_session.get(), &ChatSession::batchFinished);
    write(2, u"third"_s);
    QTRY_COMPARE(later.size(), 1);
    QCOMPARE(takeTexts(), QStringList{u"third"_s});
}

// UTF-16 cut inside the text parses as nine fields, which would pass for one's
// own message: it waits for the writer's close and is then shown whole.
void tst_ChatSession::fileBeingWrittenWaitsUntilItsWriterIsDone()
{
    startSession();
    QVERIFY(settle()); // past the first tick
    QSignalSpy ticks(m_session.get(), &ChatSession::ticked);
    const QString path = m_folder + u"/2026-12-05 10-00-00-00-000 {SLOW}.QLIM"_s;
    QStringEncoder utf16(QStringEncoder::Utf16LE);
    const QString fields = u"2026|12|5|10|0|0|0|гость|начало и конец|{OTHER}"_s;
    const QByteArray whole = "\xFF\xFE" + QByteArray(utf16(QString(fields).replace('|'_L1, QChar(0))));
    const qsizetype cut = whole.indexOf(QByteArray(utf16(u" и "_s)));
    QVERIFY(cut > 0);
    {
        OpenWriter writer(path);
        QVERIFY(writer.write(whole.first(cut)));
        QTRY_VERIFY(ticks.size() >= 3);
        QVERIFY(writer.write(whole.sliced(cut)));
        QTRY_VERIFY(ticks.size() >= 6);
        QCOMPARE(m_entries.size(), 0);
    }
    QTRY_COMPARE(m_entries.size(), 1);
    QCOMPARE(m_entries.first().message.text, u"начало и конец"_s);
    QCOMPARE(m_entries.first().message.kind, MessageKind::Other);
    QTRY_COMPARE(dosAttributes(path), QByteArray("0x2"));

    // Present before the start, cut and fresh: the content and its age tell.
    m_session.reset();
    m_entries.clear();
    OpenWriter early(m_folder + u"/2026-12-05 11-00-00-00-000 {EARLY}.QLIM"_s);
    QVERIFY(early.write(whole.first(cut)));
    startSession();
    QSignalSpy laterTicks(m_session.get(), &ChatSession::ticked);
    QTRY_VERIFY(laterTicks.size() >= 3);
    QCOMPARE(m_entries.size(), 0);
    QVERIFY(early.write(whole.sliced(cut)));
    early.close();
    QTRY_COMPARE(m_entries.size(), 1);
    QCOMPARE(m_entries.first().message.text, u"начало и конец"_s);
}

// A writer that stops half way and never closes: once quiet, the file is shown
// as it is (here a receive error), once, and marked.
void tst_ChatSession::abandonedFileIsShownOnceQuiet()
{
    startSession();
    const QString path = m_folder + u"/2026-12-05 10-00-00-00-000 {STUCK}.QLIM"_s;
    OpenWriter writer(path);
    QVERIFY(writer.write(QByteArray("\xFF\xFE" "2\0000\0002\0006\0", 10)));
    QElapsedTimer quiet;
    quiet.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_entries.size(), 1, int(ChatSession::QuietMs) * 3);
    QVERIFY(quiet.elapsed() >= ChatSession::QuietMs - ChatSession::TickIntervalMs);
    QCOMPARE(m_entries.first().type, IncomingEntry::Type::ReceiveError);
    QTRY_COMPARE(dosAttributes(path), QByteArray("0x2"));
    writer.close(); // the late close is a change, and nothing more
    QVERIFY(settle());
    QCOMPARE(m_entries.size(), 1);
}

// A chat whose folder was missing at the start has no watch: the folder is
// listed on its own, so a message comes within about a second, not after the
// next attempt to start the watch. A network file system is listed as well.
void tst_ChatSession::folderWithoutWatchIsPolled()
{
    m_folder = m_env->path(u"later"_s);
    startSession();
    QVERIFY(m_session->isPolling());
    bool polled = false; // delivered before the watch came back
    connect(m_session.get(), &ChatSession::received, this,
            [&] { polled = m_session->isPolling(); });
    QSignalSpy ticks(m_session.get(), &ChatSession::ticked);
    QTRY_VERIFY(ticks.size() >= 2);
    QVERIFY(QDir().mkpath(m_folder));
    write(0, u"through the poll"_s);
    QTRY_COMPARE(m_texts, QStringList{u"through the poll"_s});
    QVERIFY(polled);

    setForcedNetworkFileSystemForTests(true);
    ChatSession network(m_env->chats(), u"{ME}"_s);
    network.start();
    setForcedNetworkFileSystemForTests(false);
    QVERIFY(network.isPolling());
}

QTEST_GUILESS_MAIN(tst_ChatSession)
#include "tst_chatsession.moc"
