#include "exchange/folderwatcher.h"
#include "testsupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>

#include "platform/fileattributes.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

int openDescriptorCount()
{
    return int(QDir(u"/proc/self/fd"_s).entryList(QDir::System | QDir::NoDotAndDotDot).size());
}

bool rename(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

class TestFSWatcher : public QObject
{
    Q_OBJECT

private slots:
    void createdFileMakesOnePollTrue()
    {
        TestEnvironment env;
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.chats()));
        QVERIFY(!watcher.hasChanged());
        env.touch(u"chats/a.QLIM"_s, "x");
        QVERIFY(watcher.hasChanged());
        QVERIFY(!watcher.hasChanged());
    }

    void manyChangesBetweenPollsGiveOneTrue()
    {
        TestEnvironment env;
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.chats()));
        for (int i = 0; i < 10; ++i)
            env.touch(u"chats/%1.QLIM"_s.arg(i), "x");
        QVERIFY(watcher.hasChanged());
        QVERIFY(!watcher.hasChanged());
        QCOMPARE(watcher.takeChangedNames().size(), 10);
    }

    // What the events say of a file's writer: open and written, closed, or
    // renamed into place; a file the watch never saw is unknown.
    void writeStateFollowsTheWriter()
    {
        TestEnvironment env;
        env.touch(u"chats/before.QLIM"_s, "x");
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.chats()));
        const QString path = env.path(u"chats/slow.QLIM"_s);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        QVERIFY(::write(fd, "part", 4) == 4);
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("slow.QLIM"), FolderWatcher::WriteState::Writing);
        QCOMPARE(watcher.writeState("before.QLIM"), FolderWatcher::WriteState::Unknown);
        ::close(fd);
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("slow.QLIM"), FolderWatcher::WriteState::Finished);

        env.touch(u"chats/.moved.tmp"_s, "whole");
        QVERIFY(rename(env.path(u"chats/.moved.tmp"_s), env.path(u"chats/moved.QLIM"_s)));
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("moved.QLIM"), FolderWatcher::WriteState::Finished);

        // Marking it shown is no writing.
        QVERIFY(setDosAttributes(path, DosAttribute::Hidden).ok());
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("slow.QLIM"), FolderWatcher::WriteState::Finished);
        QVERIFY(QFile::remove(path));
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("slow.QLIM"), FolderWatcher::WriteState::Unknown);
    }

    // Every kind of change to a file of the folder counts, and names the file.
    void eachKindOfChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("hidden mark") << u"hide"_s << QByteArray("old.QLIM");
        QTest::newRow("mark removed") << u"unhide"_s << QByteArray("old.QLIM");
        QTest::newRow("contents") << u"append"_s << QByteArray("old.QLIM");
        QTest::newRow("deleted") << u"delete"_s << QByteArray("old.QLIM");
        QTest::newRow("renamed away") << u"move out"_s << QByteArray("old.QLIM");
        QTest::newRow("renamed in") << u"move in"_s << QByteArray("in.QLIM");
        QTest::newRow("permissions") << u"chmod"_s << QByteArray("old.QLIM");
    }

    void eachKindOfChange()
    {
        QFETCH(QString, change);
        QFETCH(QByteArray, name);
        TestEnvironment env;
        const QString old = env.touch(u"chats/old.QLIM"_s, "x");
        QVERIFY(setDosAttributes(old, DosAttribute::Hidden).ok());
        const QString outside = env.touch(u"outside.QLIM"_s, "y");
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.chats()));
        if (change == "hide"_L1) {
            QVERIFY(setDosAttributes(old, DosAttribute::Hidden).ok());
        } else if (change == "unhide"_L1) {
            QVERIFY(clearDosAttributes(old).ok());
        } else if (change == "append"_L1) {
            QFile file(old);
            QVERIFY(file.open(QIODevice::Append));
            file.write("more");
        } else if (change == "delete"_L1) {
            QVERIFY(QFile::remove(old));
        } else if (change == "move out"_L1) {
            QVERIFY(rename(old, env.path(u"gone.QLIM"_s)));
        } else if (change == "move in"_L1) {
            QVERIFY(rename(outside, env.path(u"chats/in.QLIM"_s)));
        } else if (change == "chmod"_L1) {
            QCOMPARE(::chmod(QFile::encodeName(old).constData(), 0600), 0);
        }
        QVERIFY(watcher.hasChanged());
        QVERIFY(watcher.takeChangedNames().contains(name));
        QVERIFY(!watcher.hasChanged());
    }

    void subfoldersAreOutsideTheWatch()
    {
        TestEnvironment env;
        QVERIFY(QDir().mkpath(env.path(u"chats/sub"_s)));
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.chats()));
        env.touch(u"chats/sub/a.QLIM"_s, "x");
        QVERIFY(!watcher.hasChanged());
        // Folder-name changes are not watched either.
        QVERIFY(QDir().mkdir(env.path(u"chats/other"_s)));
        QVERIFY(!watcher.hasChanged());
    }

    void failedStartAnswersFalseAndClosesNothing_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("missing folder") << u"missing"_s;
        QTest::newRow("a file") << u"file"_s;
        QTest::newRow("empty path") << QString();
    }

    void failedStartAnswersFalseAndClosesNothing()
    {
        QFETCH(QString, relative);
        TestEnvironment env;
        env.touch(u"file"_s);
        const QString path = relative.isEmpty() ? QString() : env.path(relative);
        int pipe[2];
        QCOMPARE(::pipe(pipe), 0);
        const int before = openDescriptorCount();
        {
            FolderWatcher watcher;
            QVERIFY(!watcher.start(path));
            QCOMPARE(openDescriptorCount(), before);
            QVERIFY(!watcher.hasChanged());
            if (relative == "missing"_L1) {
                // Creating the folder later does not start a watch that never started.
                QVERIFY(QDir().mkdir(path));
                env.touch(relative + u"/a.QLIM"_s, "x");
            }
            QVERIFY(!watcher.hasChanged());
            QVERIFY(!watcher.isWatching());
        }
        QCOMPARE(openDescriptorCount(), before);
        QVERIFY(::fcntl(pipe[0], F_GETFD) >= 0);
        QVERIFY(::fcntl(pipe[1], F_GETFD) >= 0);
        ::close(pipe[0]);
        ::close(pipe[1]);
    }

    void destructionReleasesTheDescriptor()
    {
        TestEnvironment env;
        const int before = openDescriptorCount();
        {
            FolderWatcher watcher;
            QVERIFY(watcher.start(env.chats()));
            QCOMPARE(openDescriptorCount(), before + 1);
        }
        QCOMPARE(openDescriptorCount(), before);
    }

    void watchComesBackAfterFolderReturns_data()
    {
        QTest::addColumn<bool>("moveAway");
        QTest::newRow("removed") << false;
        QTest::newRow("renamed away") << true;
    }

    void watchComesBackAfterFolderReturns()
    {
        QFETCH(bool, moveAway);
        TestEnvironment env;
        const QString folder = env.chats();
        FolderWatcher watcher;
        watcher.setRetryInterval(20);
        QVERIFY(watcher.start(folder));
        const quint64 epoch = watcher.epoch();
        if (moveAway)
            QVERIFY(rename(folder, env.path(u"moved"_s)));
        else
            QVERIFY(QDir(folder).removeRecursively());
        // Losing the watch is a change; then silence while the folder is away.
        QVERIFY(watcher.hasChanged());
        QVERIFY(!watcher.isWatching());
        QTest::qWait(50);
        QVERIFY(!watcher.hasChanged());

        QVERIFY(QDir().mkdir(folder));
        // QTRY_VERIFY evaluates once more after success: keep the first true.
        bool changed = false;
        QTRY_VERIFY(changed = changed || watcher.hasChanged());
        QVERIFY(watcher.isWatching());
        QVERIFY(watcher.epoch() != epoch);
        QVERIFY(!watcher.hasChanged());
        env.touch(u"chats/back.QLIM"_s, "x");
        QVERIFY(watcher.hasChanged());
        if (moveAway) {
            // The folder that went away is no longer watched.
            env.touch(u"moved/old.QLIM"_s, "x");
            QVERIFY(!watcher.hasChanged());
        }
    }
};

QTEST_GUILESS_MAIN(TestFSWatcher)
#include "tst_fswatcher.moc"
