#include "exchange/folderwatcher.h"
#include "testsupport.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/fileattributes.h"

using namespace quillet;
using namespace Qt::StringLiterals;

class TestFolderWatcher : public QObject
{
    Q_OBJECT

private slots:
    // Every kind of change to a file of the folder counts once and names the
    // file; subfolders and their contents are outside the watch. What the events
    // say of a file's writer: open and written, closed, or renamed into place; a
    // file the watch never saw is unknown.
    void changesAndWriteStates()
    {
        TestEnvironment env;
        const QString old = env.touch(u"chats/old.QLIM"_s);
        env.touch(u"chats/before.QLIM"_s, "x");
        FolderWatcher watcher;
        QVERIFY(watcher.start(env.chats()) && !watcher.hasChanged());
        // Each change tells whether it could be made.
        const QList<std::pair<QByteArray, std::function<bool()>>> changes = {
            {"new.QLIM", [&] { return env.touch(u"chats/new.QLIM"_s), true; }},
            {"old.QLIM", [&] { return setDosAttributes(old, DosAttribute::Hidden) == 0; }},
            {"in.QLIM",
             [&] { return QFile::rename(env.touch(u"in"_s), env.path(u"chats/in.QLIM"_s)); }},
            {"old.QLIM", [&] { return QFile::rename(old, env.path(u"gone.QLIM"_s)); }},
            {{}, [&] { return env.touch(u"chats/sub/a.QLIM"_s), true; }},
        };
        for (const auto &[name, change] : changes) {
            QVERIFY2(change(), name.constData());
            QVERIFY2(watcher.hasChanged() != name.isEmpty() &&
                         watcher.takeChangedNames().contains(name) != name.isEmpty() &&
                         !watcher.hasChanged(),
                     name.constData());
        }
        const QString path = env.path(u"chats/slow.QLIM"_s);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0 && ::write(fd, "part", 4) == 4);
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("slow.QLIM"), FolderWatcher::WriteState::Writing);
        QCOMPARE(watcher.writeState("before.QLIM"), FolderWatcher::WriteState::Unknown);
        ::close(fd);
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("slow.QLIM"), FolderWatcher::WriteState::Finished);
        QVERIFY(QFile::rename(env.touch(u"chats/.m.tmp"_s, "whole"), env.path(u"chats/m.QLIM"_s)));
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("m.QLIM"), FolderWatcher::WriteState::Finished);
        QCOMPARE(setDosAttributes(path, DosAttribute::Hidden), 0); // marking is no writing
        QVERIFY(watcher.hasChanged());
        QCOMPARE(watcher.writeState("slow.QLIM"), FolderWatcher::WriteState::Finished);
    }
};

QTEST_GUILESS_MAIN(TestFolderWatcher)
#include "tst_folderwatcher.moc"
