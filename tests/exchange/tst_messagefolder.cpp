#include "exchange/messagefolder.h"
#include "testsupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "exchange/folderwatcher.h"
#include "exchange/shownledger.h"

using namespace quillet;
using namespace Qt::StringLiterals;

using Store = MessageFolder::MarkStore;

class TestMessageFolder : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("QUILLET_SHOWN_MARKS"); }

    void sendOrderAndMarks_data()
    {
        QTest::addColumn<Store>("store");
        QTest::newRow("extended attributes") << Store::Automatic;
        QTest::newRow("ledger") << Store::Ledger;
    }
    // In send order, each marked once and never listed again, also after a
    // restart; a file gone before its mark is not listed either.
    void sendOrderAndMarks()
    {
        QFETCH(Store, store);
        TestEnvironment env;
        const QString folder = env.chats();
        const QStringList sent = {writeForeignMessage(folder, 10, 0, 0, u"Б"_s, u"1"_s),
                                  writeForeignMessage(folder, 10, 0, 1, u"А"_s, u"2"_s),
                                  writeForeignMessage(folder, 10, 0, 2, u"А"_s, u"3"_s)};
        MessageFolder messages(folder, store);
        QCOMPARE(messages.listUnseen(nullptr), sent);
        QVERIFY(messages.markShown(sent[0]).ok() && messages.markShown(sent[1]).ok());
        QVERIFY(QFile::remove(sent[2]));
        QCOMPARE(messages.markShown(sent[2]).error().number, ENOENT);
        QVERIFY(messages.listUnseen(nullptr).isEmpty());
        QVERIFY(MessageFolder(folder, store).listUnseen(nullptr).isEmpty());
        QCOMPARE(::dosAttributes(sent[1]),
                 store == Store::Ledger ? QByteArray() : QByteArray("0x2"));
        QCOMPARE(QFile::exists(ShownLedger::filePathFor(folder)), store == Store::Ledger);
    }

    void listsVisibleRegularFilesAndLedger()
    {
        TestEnvironment env;
        const QString folder = env.chats();
        const auto in = [&](const char *name) { return folder + '/'_L1 + QLatin1String(name); };
        for (const char *name : {"a.QLIM", "b.qlim", "chat.QLIMChat", ".d.QLIM", "f.QLIMx",
                                 "g.QLIM", "h.QLIM", "i.QLIM", "k.QLIM", "sub/l.QLIM"})
            env.touch(u"chats/"_s + QLatin1String(name), "x");
        QVERIFY(setDosAttributeText(in("g.QLIM"), "0x2") &&
                setDosAttributeText(in("h.QLIM"), "0x4"));
        QVERIFY(setDosAttributeText(in("i.QLIM"), "0x21")); // read-only and archive
        // Samba's form: the text, a NUL, then a binary record.
        QVERIFY(setDosAttributeText(in("k.QLIM"), QByteArray("0x22\0\x03\x00\x01\xFF", 9)));
        QVERIFY(QFile::link(env.touch(u"outside.QLIM"_s), in("x.QLIM")));
        QCOMPARE(::mkfifo(QFile::encodeName(in("y.QLIM")).constData(), 0600), 0);
        QVERIFY(QDir().mkdir(in("z.QLIM")));
        // A name that is not valid text could be neither read nor marked by its path.
        ::close(::open(QFile::encodeName(folder) + "/bad\xFF.QLIM", O_CREAT | O_WRONLY, 0600));
        MessageFolder messages(folder);
        QCOMPARE(messages.listUnseen(nullptr),
                 (QStringList{in("a.QLIM"), in("b.qlim"), in("i.QLIM")}));
        QVERIFY(messages.markShown(in("i.QLIM")).ok());
        QCOMPARE(::dosAttributes(in("i.QLIM")),
                 QByteArray("0x2")); // exactly hidden, nothing else kept

        // Percent-encoded names, outside the folder; a torn last line from a crash
        // is ignored, and the marks before it hold in either mode.
        qputenv("QUILLET_SHOWN_MARKS", "ledger");
        const QString away = env.path(u"ledger"_s);
        const auto fullListing = [&] { return MessageFolder(away).listUnseen(nullptr); };
        const QString odd = env.touch(u"ledger/line\nbreak %41#.QLIM"_s);
        const QString plain = env.touch(u"ledger/plain.QLIM"_s);
        QVERIFY(MessageFolder(away).markShown(odd).ok());
        QCOMPARE(fullListing(), QStringList{plain});
        QCOMPARE(QDir(away).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QFile ledger(ShownLedger::filePathFor(away));
        QVERIFY(ledger.open(QIODevice::Append) && ledger.write("plain.QL") == 8);
        ledger.close();
        qunsetenv("QUILLET_SHOWN_MARKS");
        QCOMPARE(fullListing(), QStringList{plain});
        QVERIFY(MessageFolder(away, Store::Ledger).markShown(plain).ok());
        QVERIFY(fullListing().isEmpty());

        // A watch lost (its folder renamed away) or events lost (the kernel's queue
        // overflowed): the next listing reads the whole folder again.
        const QString watchedFolder = env.path(u"watched"_s);
        QVERIFY(QDir().mkpath(watchedFolder));
        FolderWatcher watcher;
        watcher.setRetryInterval(20);
        QVERIFY(watcher.start(watchedFolder));
        MessageFolder watched(watchedFolder);
        QVERIFY(watched.listUnseen(&watcher).isEmpty());
        QVERIFY(QFile::rename(watchedFolder, env.path(u"moved"_s)));
        QVERIFY(watcher.hasChanged() && watched.listUnseen(&watcher).isEmpty());
        const QString back = env.touch(u"watched/back.QLIM"_s);
        bool changed = false; // QTRY_VERIFY evaluates once more after success
        QTRY_VERIFY(changed = changed || watcher.hasChanged());
        QCOMPARE(watched.listUnseen(&watcher), QStringList{back});
        env.touch(u"moved/old.QLIM"_s); // the folder that went away is not watched
        QVERIFY(!watcher.hasChanged());
        QFile limits(u"/proc/sys/fs/inotify/max_queued_events"_s);
        const int files =
            limits.open(QIODevice::ReadOnly) ? limits.readAll().trimmed().toInt() / 2 + 64 : 0;
        if (files <= 64 || files > 100000)
            QSKIP("the inotify queue is too long to overflow here");
        for (int i = 0; i < files; ++i) // a creation and a close each: more than the queue holds
            env.touch(u"watched/%1.QLIM"_s.arg(i));
        QVERIFY(watcher.hasChanged() && watcher.overflowCount() == 1);
        QCOMPARE(watched.listUnseen(&watcher).size(), files + 1);
        QCOMPARE(watched.fullListings(), 4);
    }
};

QTEST_GUILESS_MAIN(TestMessageFolder)
#include "tst_messagefolder.moc"
