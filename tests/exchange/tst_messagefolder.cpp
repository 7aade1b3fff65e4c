#include "exchange/messagefolder.h"
#include "testsupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>

#include "core/support.h"
#include "exchange/folderwatcher.h"
#include "exchange/shownledger.h"
#include "platform/fileattributes.h"

using namespace quillet;
using namespace Qt::StringLiterals;

using Store = MessageFolder::MarkStore;

namespace {

bool rename(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// What a fresh folder object, reading the whole folder, finds.
QStringList fullListing(const QString &folder, Store store = Store::Automatic)
{
    MessageFolder fresh(folder, store);
    return fresh.listUnseen(nullptr);
}

void addStores()
{
    QTest::addColumn<Store>("store");
    QTest::newRow("extended attributes") << Store::Automatic;
    QTest::newRow("ledger") << Store::Ledger;
}

} // namespace

class TestMessageFolder : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("QUILLET_SHOWN_MARKS"); }

    void batchComesInSendOrder_data() { addStores(); }
    void batchComesInSendOrder()
    {
        QFETCH(Store, store);
        TestEnvironment env;
        const QString folder = env.chats();
        const QStringList sent = {writeForeignMessage(folder, 10, 0, 0, u"Б"_s, u"1"_s),
                                  writeForeignMessage(folder, 10, 0, 1, u"А"_s, u"2"_s),
                                  writeForeignMessage(folder, 10, 0, 2, u"А"_s, u"3"_s)};
        MessageFolder messages(folder, store);
        QCOMPARE(messages.listUnseen(nullptr), sent);
        for (const QString &path : sent)
            QVERIFY(messages.markShown(path).ok());
        QVERIFY(messages.listUnseen(nullptr).isEmpty());
        QVERIFY(fullListing(folder, store).isEmpty()); // a restart shows nothing again
        for (const QString &path : sent)
            QCOMPARE(::dosAttributes(path), store == Store::Ledger ? QByteArray() : QByteArray("0x2"));
        QCOMPARE(QFile::exists(ShownLedger::filePathFor(folder)), store == Store::Ledger);
    }

    void listsOnlyVisibleRegularMessageFiles()
    {
        TestEnvironment env;
        const QString folder = env.chats();
        const QString outside = env.touch(u"secret.QLIM"_s, "outside");
        for (const char *name : {"a.QLIM", "b.qlim", "chat.QLIMChat", ".d.QLIM", "f.QLIMx", "g.QLIM",
                                 "h.QLIM", "i.QLIM", "k.QLIM", "sub/l.QLIM"})
            env.touch(u"chats/"_s + QLatin1String(name), "x");
        const auto in = [&](const char *name) { return folder + '/'_L1 + QLatin1String(name); };
        QVERIFY(setDosAttributeText(in("g.QLIM"), "0x2"));
        QVERIFY(setDosAttributeText(in("h.QLIM"), "0x4"));
        QVERIFY(setDosAttributeText(in("i.QLIM"), "0x21")); // read-only and archive
        // Samba's form: the text, a NUL, then a binary record.
        QVERIFY(setDosAttributeText(in("k.QLIM"), QByteArray("0x22\0\x03\x00\x01\xFF", 9)));
        QVERIFY(QFile::link(outside, in("x.QLIM")));
        QCOMPARE(::mkfifo(QFile::encodeName(in("y.QLIM")).constData(), 0600), 0);
        QVERIFY(QDir().mkdir(in("z.QLIM")));
        // A name that is not valid text could be neither read nor marked by its path.
        const int fd = ::open(QFile::encodeName(folder) + "/bad\xFF.QLIM", O_CREAT | O_WRONLY, 0600);
        QVERIFY(fd >= 0);
        ::close(fd);

        MessageFolder messages(folder);
        const QStringList batch = messages.listUnseen(nullptr);
        QCOMPARE(batch, (QStringList{in("a.QLIM"), in("b.qlim"), in("i.QLIM")}));
        for (const QString &path : batch)
            QVERIFY(messages.markShown(path).ok());
        QCOMPARE(::dosAttributes(in("i.QLIM")), QByteArray("0x2")); // exactly hidden, nothing kept
        QVERIFY(fullListing(folder).isEmpty());
        QCOMPARE(::dosAttributes(outside), QByteArray());
    }

    void markingAMissingFileFails_data() { addStores(); }
    void markingAMissingFileFails()
    {
        QFETCH(Store, store);
        TestEnvironment env;
        const QString path = env.touch(u"chats/m.QLIM"_s, "x");
        MessageFolder messages(env.chats(), store);
        QCOMPARE(messages.listUnseen(nullptr), QStringList{path});
        QVERIFY(QFile::remove(path));
        QCOMPARE(messages.markShown(path).error().number, ENOENT);
        QVERIFY(messages.listUnseen(nullptr).isEmpty());
    }

    // Every kind of change, each followed by a poll: what the watcher's names
    // give must be exactly what reading the whole folder gives.
    void incrementalListingMatchesFull()
    {
        TestEnvironment env;
        const QString folder = env.chats();
        const auto in = [&](const char *name) { return folder + '/'_L1 + QLatin1String(name); };
        env.touch(u"chats/old1.QLIM"_s, "x");
        env.touch(u"chats/old2.QLIM"_s, "x");
        env.touch(u"chats/c.txt"_s, "x");
        QVERIFY(setDosAttributeText(in("old2.QLIM"), "0x2"));
        FolderWatcher watcher;
        QVERIFY(watcher.start(folder));
        MessageFolder messages(folder);
        QCOMPARE(messages.listUnseen(&watcher), fullListing(folder));

        QString written;
        const QList<std::pair<const char *, std::function<void()>>> steps = {
            {"created", [&] { env.touch(u"chats/a.QLIM"_s, "x"); }},
            {"renamed in", [&] { QVERIFY(rename(env.touch(u"b.QLIM"_s, "x"), in("b.QLIM"))); }},
            {"renamed away", [&] { QVERIFY(rename(in("a.QLIM"), in("a.txt"))); }},
            {"renamed to a message", [&] { QVERIFY(rename(in("c.txt"), in("c.QLIM"))); }},
            {"marked", [&] { QVERIFY(messages.markShown(in("old1.QLIM")).ok()); }},
            {"hidden by hand", [&] { QVERIFY(setDosAttributeText(in("b.QLIM"), "0x2")); }},
            {"shown again", [&] { QVERIFY(clearDosAttributes(in("old1.QLIM")).ok()); }},
            {"archive only", [&] { QVERIFY(setDosAttributeText(in("old2.QLIM"), "0x20")); }},
            {"hidden by a dot", [&] { QVERIFY(rename(in("old2.QLIM"), in(".old2.QLIM"))); }},
            {"deleted", [&] { QVERIFY(QFile::remove(in("c.QLIM"))); }},
            {"moved out", [&] { QVERIFY(rename(in("old1.QLIM"), env.path(u"out.QLIM"_s))); }},
            {"became a link", [&] { QVERIFY(QFile::link(u"/etc/hostname"_s, in("l.QLIM"))); }},
            {"became a folder", [&] { QVERIFY(QDir().mkdir(in("d.QLIM"))); }},
            {"written", [&] { written = writeForeignMessage(folder, 1, 2, 3, u"A"_s, u"t"_s); }},
        };
        for (const auto &[what, step] : steps) {
            step();
            watcher.hasChanged();
            QVERIFY2(messages.listUnseen(&watcher) == fullListing(folder), what);
        }
        QCOMPARE(messages.listUnseen(&watcher), QStringList{written});
        QCOMPARE(messages.fullListings(), 1);
    }

    void queueOverflowLeadsToOneFullListing()
    {
        QFile limits(u"/proc/sys/fs/inotify/max_queued_events"_s);
        QVERIFY(limits.open(QIODevice::ReadOnly));
        const int queueLimit = limits.readAll().trimmed().toInt();
        if (queueLimit <= 0 || queueLimit > 200000)
            QSKIP("the inotify queue is too long to overflow here");
        TestEnvironment env;
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.chats()));
        MessageFolder messages(env.chats());
        QVERIFY(messages.listUnseen(&watcher).isEmpty());
        // Each new file queues a creation and a close: more than the queue holds.
        for (int i = 0; i <= queueLimit / 2 + 64; ++i)
            env.touch(u"chats/%1.QLIM"_s.arg(i, 6, 10, '0'_L1));
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.overflowCount(), 1);
        QCOMPARE(messages.listUnseen(&watcher).size(), queueLimit / 2 + 65);
        QCOMPARE(messages.fullListings(), 2);
    }

    // The folder goes away (removed, or renamed with the watch on it) and comes back.
    void folderGoneAndBack_data()
    {
        QTest::addColumn<bool>("renamed");
        QTest::newRow("removed") << false;
        QTest::newRow("renamed away") << true;
    }
    void folderGoneAndBack()
    {
        QFETCH(bool, renamed);
        TestEnvironment env;
        const QString folder = env.chats();
        const QString first = env.touch(u"chats/a.QLIM"_s, "x");
        FolderWatcher watcher;
        watcher.setRetryInterval(20);
        QVERIFY(watcher.start(folder));
        MessageFolder messages(folder);
        QCOMPARE(messages.listUnseen(&watcher), QStringList{first});
        QVERIFY(renamed ? rename(folder, env.path(u"moved"_s)) : QDir(folder).removeRecursively());
        QVERIFY(watcher.hasChanged());
        QVERIFY(messages.listUnseen(&watcher).isEmpty());

        const QString second = env.touch(u"chats/b.QLIM"_s, "x");
        bool changed = false; // QTRY_VERIFY evaluates once more after success
        QTRY_VERIFY(changed = changed || watcher.hasChanged());
        QCOMPARE(messages.listUnseen(&watcher), QStringList{second});
        const QString third = env.touch(u"chats/c.QLIM"_s, "x");
        QVERIFY(watcher.hasChanged());
        QCOMPARE(messages.listUnseen(&watcher), (QStringList{second, third}));
        env.touch(u"moved/old.QLIM"_s, "x"); // the folder that went away is not watched
        QVERIFY(!watcher.hasChanged());
    }

    void watcherOfAnotherFolderIsNotTrusted()
    {
        TestEnvironment env;
        QVERIFY(QDir().mkdir(env.path(u"other"_s)));
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.path(u"other"_s)));
        MessageFolder messages(env.chats());
        QVERIFY(messages.listUnseen(&watcher).isEmpty());
        const QString path = env.touch(u"chats/a.QLIM"_s, "x");
        QCOMPARE(messages.listUnseen(&watcher), QStringList{path});
    }

    void ledgerKeepsMarksOutsideTheFolder()
    {
        TestEnvironment env;
        qputenv("QUILLET_SHOWN_MARKS", "ledger");
        const QString folder = env.chats();
        const QString odd = env.touch(u"chats/line\nbreak %41#.QLIM"_s, "x");
        const QString plain = env.touch(u"chats/plain.QLIM"_s, "x");
        QVERIFY(MessageFolder(folder).markShown(odd).ok());
        QCOMPARE(fullListing(folder), QStringList{plain});
        QCOMPARE(::dosAttributes(odd), QByteArray());
        const QString ledger = ShownLedger::filePathFor(folder);
        QVERIFY(ledger.startsWith(env.path(u"state/quillet-im/shown/"_s)));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // A torn last line from a crash is ignored; the marks before it hold,
        // also for a folder object that would use extended attributes.
        QFile file(ledger);
        QVERIFY(file.open(QIODevice::Append));
        file.write("plain.QL");
        file.close();
        qunsetenv("QUILLET_SHOWN_MARKS");
        QCOMPARE(fullListing(folder), QStringList{plain});
        QVERIFY(MessageFolder(folder, Store::Ledger).markShown(plain).ok());
        QVERIFY(fullListing(folder).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMessageFolder)
#include "tst_messagefolder.moc"
