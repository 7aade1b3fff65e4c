#include "exchange/chatsession.h"
#include "exchange/conversation.h"
#include "testsupport.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStringEncoder>

#include "exchange/messagefolder.h"
#include "exchange/shownledger.h"
#include "platform/filesystem.h"

using namespace quillet;
using namespace Qt::StringLiterals;

class tst_ChatSession final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ChatSession> m_session;
    std::unique_ptr<QSignalSpy> m_falseAlarms, m_finished;
    QString m_folder;
    // What the session appended to the conversation, from the start of the test on.
    QList<ConversationMessage> m_entries;
    std::unique_ptr<Conversation> m_conversation;
    std::function<void()> m_onSave = [] {};

    void startSession()
    {
        m_conversation = std::make_unique<Conversation>();
        m_session = std::make_unique<ChatSession>(m_folder, u"{ME}"_s, m_conversation.get());
        // Saves that fail must not hold the marks back: every save here fails.
        m_session->setLogSaver([this] { return m_onSave(), false; });
        connect(m_session.get(), &ChatSession::received, this,
                [this](qsizetype first, qsizetype count) {
                    QCOMPARE(first + count, m_conversation->size());
                    for (qsizetype i = first; i < first + count; ++i) {
                        const ConversationMessage &entry = m_conversation->at(i);
                        QVERIFY(QFileInfo::exists(m_folder + '/'_L1 +
                                                  QFile::decodeName(entry.fileName)));
                        m_entries.append(entry);
                    }
                });
        m_falseAlarms =
            std::make_unique<QSignalSpy>(m_session.get(), &ChatSession::falseAlarmRaised);
        m_finished = std::make_unique<QSignalSpy>(m_session.get(), &ChatSession::batchFinished);
        m_session->start();
    }
    // The texts received since the last call, error lines as "!error".
    QStringList takeTexts()
    {
        QStringList texts;
        for (const ConversationMessage &entry : std::exchange(m_entries, {}))
            texts << (entry.message.kind != MessageKind::System ? entry.message.text : u"!error"_s);
        return texts;
    }
    QString write(int second, const QString &text)
    {
        return writeForeignMessage(m_folder, 10 + second / 3600, second / 60 % 60, second % 60,
                                   u"guest"_s, text);
    }
    // A tick that found nothing new: whatever was due has been shown.
    bool settle()
    {
        const qsizetype alarms = m_falseAlarms->size();
        return QTest::qWaitFor([&] { return m_falseAlarms->size() > alarms; }, 20000);
    }
    bool batches(qsizetype count)
    {
        return QTest::qWaitFor([&] { return m_finished->size() >= count; }, 60000);
    }
    // At least `count` more ticks, and whatever they dispatched done.
    bool ticks(qsizetype count)
    {
        QSignalSpy ticked(m_session.get(), &ChatSession::ticked);
        return QTest::qWaitFor(
            [&] { return ticked.size() >= count && !m_session->isDispatching(); }, 20000);
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_folder = m_env->chats();
        m_entries.clear();
    }

    void cleanup()
    {
        m_session.reset();
        MessageFolder::setMarkErrorForTests(0);
        setForcedNetworkFileSystemForTests(false);
        Clock::reset();
        m_onSave = [] {};
    }

    // The first tick reads the folder unasked; files that reach it out of order
    // between two ticks come in send order; one that comes late, named before
    // some already shown, still comes, once, after them.
    void sendOrderAndFailedMarks()
    {
        write(2, u"3"_s);
        write(0, u"1"_s);
        write(1, u"2"_s);
        startSession();
        QVERIFY(batches(1) && settle()); // the marks are a change that finds nothing
        QCOMPARE(takeTexts(), (QStringList{u"1"_s, u"2"_s, u"3"_s}));
        const QString sync = m_env->path(u"sync"_s);
        QVERIFY(QDir().mkpath(sync));
        for (int second : {6, 5})
            QVERIFY(
                QFile::rename(writeForeignMessage(sync, 10, 0, second, {}, QString::number(second)),
                              m_folder + u"/2026-12-05 10-00-0%1-00-000 {}.QLIM"_s.arg(second)));
        QVERIFY(batches(2));
        write(4, u"4"_s);
        QVERIFY(batches(3) && settle());
        QCOMPARE(takeTexts(), (QStringList{u"5"_s, u"6"_s, u"4"_s}));

        // A mark that cannot be written (a disk error): reported, not shown again
        // in this run, whatever changes; the next run shows it.
        MessageFolder::setMarkErrorForTests(EIO);
        const auto expectReported = [](const QString &path) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(
                                                   u"cannot mark "_s + path + u" shown: "_s)));
        };
        const QString first = write(0, u"once"_s);
        expectReported(first);
        startSession();
        QVERIFY(batches(1));
        expectReported(write(1, u"later"_s));
        QVERIFY(batches(2));
        QVERIFY(QFile(first).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        QVERIFY(settle());
        QCOMPARE(takeTexts(), (QStringList{u"once"_s, u"later"_s}));
        QCOMPARE(dosAttributes(first), QByteArray());
        MessageFolder::setMarkErrorForTests(0);
        startSession();
        QVERIFY(batches(1));
        QCOMPARE(takeTexts(), (QStringList{u"once"_s, u"later"_s}));
        QCOMPARE(dosAttributes(first), QByteArray("0x2"));
    }

    // Ticks and changes during a long batch, shown in slices, never dispatch a
    // file a second time; no file is marked before a save made after its
    // message was received, and a failing save does not hold the marks back.
    void longBatchOnceAndMarkedAfterItsSave()
    {
        const int count = 3000;
        QStringList expected;
        QHash<QString, QString> pathOf;
        for (int i = 0; i < count; ++i) {
            expected << u"<%1>"_s.arg(i);
            pathOf[expected.last()] = write(i, expected.last());
        }
        int markedTooEarly = 0, saves = 0;
        qsizetype saved = 0;
        m_onSave = [&] {
            for (qsizetype i = saved; i < m_entries.size(); ++i)
                markedTooEarly +=
                    !dosAttributes(pathOf.value(m_entries.at(i).message.text)).isEmpty();
            saved = m_entries.size();
            ++saves;
        };
        startSession();
        QSignalSpy slices(m_session.get(), &ChatSession::received);
        QTRY_VERIFY(m_session->isDispatching());
        for (int i = count; i < count + 20; ++i) {
            expected << u"<%1>"_s.arg(i);
            pathOf[expected.last()] = write(i, expected.last());
            QVERIFY(QFile(pathOf.value(expected.at(2 * count - 1 - i)))
                        .setPermissions(QFile::ReadOwner));
        }
        QVERIFY(batches(1) && saved == count && saves > 1 && slices.size() > 1);
        QVERIFY(batches(2) && settle());
        QCOMPARE(markedTooEarly, 0);
        for (const QString &path : std::as_const(pathOf))
            QCOMPARE(dosAttributes(path), QByteArray("0x2"));
        const QStringList texts = takeTexts(); // the late files after the first batch
        QCOMPARE(texts.mid(0, count), expected.mid(0, count));
        QVERIFY(texts.size() == expected.size() &&
                QSet(texts.begin(), texts.end()) == QSet(expected.begin(), expected.end()));
    }

    // A writer still at work: UTF-16 cut inside the text parses as nine fields,
    // which would pass for one's own message; it waits for the close, and then
    // shows whole. Present before the start, cut and fresh, its content and age
    // tell. One that stops half way and never closes is shown, once, when quiet
    // by the program's clock: unchanged for a while, or modified long ago.
    void unfinishedWritersAndTheLedger()
    {
        Clock::setFixedUtc(QDateTime::currentDateTimeUtc());
        QStringEncoder utf16(QStringEncoder::Utf16LE);
        QString fields = u"2026|12|5|10|0|0|0|гость|начало и конец|{OTHER}"_s;
        const QByteArray whole = "\xFF\xFE" + QByteArray(utf16(fields.replace('|'_L1, QChar(0))));
        const qsizetype cut = whole.indexOf(QByteArray(utf16(u" и "_s)));
        const auto open = [&](const char *name) {
            const QString path = m_folder + u"/2026-12-05 "_s + QLatin1String(name);
            return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
        };
        const int early = open("09-00-00-00-000 {EARLY}.QLIM");
        QVERIFY(::write(early, whole.constData(), cut) == cut);
        startSession();
        const int slow = open("10-00-00-00-000 {SLOW}.QLIM");
        QVERIFY(::write(slow, whole.constData(), cut) == cut);
        QVERIFY(ticks(3));
        for (int fd : {early, slow})
            QVERIFY(::write(fd, whole.constData() + cut, whole.size() - cut) == whole.size() - cut);
        QVERIFY(ticks(3));
        QCOMPARE(m_entries.size(), 0);
        ::close(slow);
        ::close(early);
        QTRY_COMPARE(m_entries.size(), 2);
        QCOMPARE(takeTexts(), (QStringList{u"начало и конец"_s, u"начало и конец"_s}));

        const int stuck = open("11-00-00-00-000 {STUCK}.QLIM");
        QVERIFY(::write(stuck, whole.constData(), 10) == 10);
        QVERIFY(ticks(3));
        Clock::advanceMs(ChatSession::QuietMs - 1);
        QVERIFY(ticks(2));
        QCOMPARE(m_entries.size(), 0);
        Clock::advanceMs(1);
        QVERIFY(ticks(2));
        QCOMPARE(takeTexts(), QStringList{u"!error"_s});
        const int old = open("12-00-00-00-000 {OLD}.QLIM");
        QVERIFY(::write(old, whole.constData(), 10) == 10);
        Clock::advanceMs(60000);
        QVERIFY(ticks(2));
        QCOMPARE(takeTexts(), QStringList{u"!error"_s});
        for (int fd : {stuck, old})
            ::close(fd); // the late close is a change, and nothing more
        QVERIFY(settle());
        QCOMPARE(m_entries.size(), 0);

        // On a file system that refuses user extended attributes (ramfs, mounted in
        // this test's own mount namespace) the marks go to this computer's ledger.
        // Mounted over the folder of a running chat that takes it for a network
        // folder, it holds changes that inotify never reports, as a file server's
        // are: the folder is listed again and again all the same.
        m_folder = m_env->path(u"ramfs"_s);
        const QByteArray mountPoint = QFile::encodeName(m_folder);
        QVERIFY(QDir().mkpath(m_folder));
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
            QSKIP("no mount namespace of our own here (needs root)");
        setForcedNetworkFileSystemForTests(true);
        startSession();
        QVERIFY(settle() && m_session->isPolling());
        QCOMPARE(::mount("none", mountPoint.constData(), "ramfs", 0, nullptr), 0);
        const auto unmount = qScopeGuard([&] { ::umount2(mountPoint.constData(), MNT_DETACH); });
        QVERIFY(!setDosAttributeText(m_env->touch(u"ramfs/probe"_s), "0x2"));
        const QString first = write(0, u"first"_s);
        QVERIFY(batches(1));
        setForcedNetworkFileSystemForTests(false);
        QVERIFY(TestEnvironment::readAll(ShownLedger::filePathFor(m_folder))
                    .contains(QFileInfo(first).fileName()));
        startSession(); // a restart shows nothing again
        QVERIFY(settle());
        write(1, u"second"_s);
        QVERIFY(batches(1));
        QCOMPARE(takeTexts(), (QStringList{u"first"_s, u"second"_s}));
    }
};

QTEST_GUILESS_MAIN(tst_ChatSession)
#include "tst_chatsession.moc"
