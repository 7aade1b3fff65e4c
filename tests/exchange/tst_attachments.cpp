#include "exchange/attachmentcheck.h"
#include "exchange/filesender.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "core/support.h"
#include "exchange/messagefile.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString MyGuid = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;
const QString FileGuid = u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s;
const QByteArray Bytes = "attached bytes";

Attachment entryFor(const QString &name, const QByteArray &bytes = Bytes)
{
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return {attachmentFolder(FileGuid) + '/'_L1 + name, bytes.size(), hash, u"text/plain"_s, {}};
}

AttachmentStatus statusOf(const QString &folder, const Attachment &attachment)
{
    const std::atomic_bool stop = false;
    return checkAttachment(folder, attachment, stop);
}

// Everything below the exchange folder but the files a test put there itself.
QStringList leftovers(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found += QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

} // namespace

class TestAttachments : public QObject
{
    Q_OBJECT

private slots:
    // The file as it lies in the exchange folder of this computer, never
    // reached through a link.
    void states_data()
    {
        QTest::addColumn<AttachmentState>("state");
        QTest::addColumn<int>("error");
        const auto row = [](const char *setup, AttachmentState state, int error = 0) {
            QTest::newRow(setup) << state << error;
        };
        row("whole", AttachmentState::Ready);
        row("not there", AttachmentState::Missing);
        row("no GUID folder", AttachmentState::Missing);
        row("shorter", AttachmentState::Arriving);
        row("other bytes", AttachmentState::Arriving);
        row("linked file", AttachmentState::Refused, ELOOP);
        row("linked Files folder", AttachmentState::Refused, ELOOP);
        row("folder", AttachmentState::Refused, EISDIR);
        row("pipe", AttachmentState::Refused, ErrorCode::NotRegularFile);
        row("file for Files folder", AttachmentState::Refused, ENOTDIR);
    }

    void states()
    {
        QFETCH(AttachmentState, state);
        QFETCH(int, error);
        const QString setup = QString::fromLatin1(QTest::currentDataTag());
        TestEnvironment env;
        const QString folder = env.chats();
        const QString guidFolder = joinPath(folder, attachmentFolder(FileGuid));
        const QString file = guidFolder + u"/a.txt"_s;
        const QMap<QString, QByteArray> contents = {{u"whole"_s, Bytes},
                                                    {u"shorter"_s, Bytes.left(3)},
                                                    {u"other bytes"_s, "attached bites"}};
        if (setup == "file for Files folder"_L1)
            env.touch(u"chats/Files"_s);
        else if (setup == "linked Files folder"_L1)
            QVERIFY(
                QFile::link(parentFolder(env.touch(u"outside/x"_s)), joinPath(folder, u"Files"_s)));
        else if (setup != "no GUID folder"_L1)
            QVERIFY(QDir().mkpath(guidFolder));
        if (contents.contains(setup))
            env.touch(u"chats/Files/"_s + FileGuid + u"/a.txt"_s, contents.value(setup));
        if (setup == "folder"_L1)
            QDir().mkpath(file);
        if (setup == "pipe"_L1)
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        if (setup == "linked file"_L1)
            QVERIFY(QFile::link(env.touch(u"outside/a.txt"_s, Bytes), file));

        const AttachmentStatus status = statusOf(folder, entryFor(u"a.txt"_s));
        QCOMPARE(status.state, state);
        QCOMPARE(status.why.number, error);
    }

    // A file that comes after its message turns from missing to ready by itself.
    void arrivesAfterMessage()
    {
        TestEnvironment env;
        AttachmentChecker checker(env.chats());
        QSignalSpy changes(&checker, &AttachmentChecker::stateChanged);
        const Attachment attachment = entryFor(u"late.txt"_s);
        checker.watch(attachment);
        QTRY_COMPARE(changes.size(), 1);
        QCOMPARE(changes[0][1].value<AttachmentState>(), AttachmentState::Missing);
        env.touch(u"chats/"_s + attachment.path, Bytes);
        QTRY_COMPARE(changes.size(), 2);
        QCOMPARE(changes[1][0].toString(), attachment.path);
        QCOMPARE(changes[1][1].value<AttachmentState>(), AttachmentState::Ready);
    }

    // Sent through the job: the files lie whole under Files/<GUID>/ of the message,
    // the record describes them, and nothing else is left in the folder. The
    // kernel copies within one file system; from another (tmpfs) the job copies.
    void send_data()
    {
        QTest::addColumn<QString>("from");
        QTest::newRow("same file system") << QString();
        QTest::newRow("another file system") << u"/dev/shm"_s;
    }

    void send()
    {
        QFETCH(QString, from);
        TestEnvironment env;
        QTemporaryDir elsewhere(from + u"/quillet-XXXXXX"_s);
        if (!from.isEmpty() && !elsewhere.isValid())
            QSKIP("no tmpfs at /dev/shm");
        const QString mine = from.isEmpty() ? env.path(u"mine"_s) : elsewhere.path();
        QByteArray big(3 * 8 * 1024 * 1024 + 5, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 7 + i / 4099);
        const QString first = mine + u"/отчёт.pdf"_s, second = mine + u"/empty.txt"_s;
        QVERIFY(QDir().mkpath(mine));
        for (const QString &source : {first, second}) {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(source == first ? big : QByteArray()) >= 0);
        }
        FileSendJob job({env.chats(), u"Иван"_s, QString(), MyGuid, {first, second}});
        QSignalSpy finished(&job, &FileSendJob::finished);
        QSignalSpy progressed(&job, &FileSendJob::progressed);
        job.start();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(progressed.last()[0].toLongLong(), big.size());
        QCOMPARE(progressed.last()[1].toLongLong(), big.size());

        const QString path = finished[0][0].toString();
        const Result<ReceivedMessage> message = readMessageFile(path, MyGuid);
        QVERIFY(message.ok());
        const QList<Attachment> &files = message.value().attachments;
        QCOMPARE(files.size(), 2);
        QCOMPARE(files[0].type, u"application/pdf"_s);
        QCOMPARE(files[0].sha256, QCryptographicHash::hash(big, QCryptographicHash::Sha256));
        for (const Attachment &file : files)
            QCOMPARE(statusOf(env.chats(), file).state, AttachmentState::Ready);
        const QString guid = fileNameOf(path).section(' '_L1, 2).chopped(5);
        QCOMPARE(
            leftovers(env.chats()),
            (QStringList{fileNameOf(path), u"Files"_s, u"Files/"_s + guid,
                         u"Files/%1/empty.txt"_s.arg(guid), u"Files/%1/отчёт.pdf"_s.arg(guid)}));
        if (!from.isEmpty())
            return;

        // A failure reaches the event loop too, with its error.
        FileSendJob failing({env.chats(), u"Иван"_s, QString(), MyGuid, {env.path(u"gone"_s)}});
        QSignalSpy failed(&failing, &FileSendJob::failed);
        failing.start();
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(failed[0][0].value<Error>().number, ENOENT);
    }

    // Refused before anything is copied, or undone: no message, no file, no folder.
    void sendLeavesNothing_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("error");
        QTest::newRow("cancelled") << u"cancel"_s << int(ErrorCode::SendCancelled);
        QTest::newRow("source vanishes") << u"vanish"_s << ENOENT;
        QTest::newRow("file for Files folder") << u"files file"_s << ENOTDIR;
        QTest::newRow("over 2 GiB") << u"large"_s << int(ErrorCode::AttachmentTooLarge);
        QTest::newRow("a name receivers refuse")
            << u"sync name"_s << int(ErrorCode::AttachmentSyncServiceFile);
        QTest::newRow("a folder") << u"folder"_s << EISDIR;
        QTest::newRow("source shrinks") << u"shrink"_s << int(ErrorCode::AttachmentSourceChanged);
        QTest::newRow("source rewritten")
            << u"rewrite"_s << int(ErrorCode::AttachmentSourceChanged);
    }

    void sendLeavesNothing()
    {
        QFETCH(QString, failure);
        QFETCH(int, error);
        TestEnvironment env;
        QStringList sources{env.touch(u"mine/a.txt"_s, Bytes),
                            env.touch(u"mine/b.txt"_s, QByteArray(20 * 1024 * 1024, 'b'))};
        const QStringList before = failure == "files file"_L1
                                       ? QStringList{fileNameOf(env.touch(u"chats/Files"_s))}
                                       : QStringList();
        if (failure == "large"_L1)
            QVERIFY(QFile(sources[1]).resize(MaxAttachmentSize + 1));
        if (failure == "sync name"_L1)
            sources += env.touch(u"mine/.syncthing.c.tmp"_s);
        if (failure == "folder"_L1)
            sources += env.path(u"mine"_s);
        std::atomic_bool cancel = false;
        qint64 copied = 0;
        const Result<QString> sent =
            sendFiles({env.chats(), u"Иван"_s, u"подпись"_s, MyGuid, sources}, cancel,
                      [&](qint64 done, qint64) {
                          copied = done;
                          // After the first file is in: the second one goes or the user cancels.
                          if (done > Bytes.size() && failure == "cancel"_L1)
                              cancel = true;
                          if (failure == "vanish"_L1)
                              QFile::remove(sources[1]);
                          // While the second file is copied.
                          if (done > Bytes.size() + 8 * 1024 * 1024 && failure == "shrink"_L1)
                              QFile::resize(sources[1], 1024);
                          if (done > Bytes.size() + 8 * 1024 * 1024 && failure == "rewrite"_L1) {
                              QFile file(sources[1]); // its start, copied already, edited
                              QVERIFY(file.open(QIODevice::ReadWrite) && file.write("x") == 1);
                              QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(9),
                                                       QFileDevice::FileModificationTime));
                          }
                      });
        QVERIFY(!sent.ok());
        QCOMPARE(sent.error().number, error);
        QCOMPARE(leftovers(env.chats()), before);
        // A cancelled copy stops at once, not at the end of its file.
        QVERIFY(failure != "cancel"_L1 || copied < Bytes.size() + 20 * 1024 * 1024);
    }
};

QTEST_GUILESS_MAIN(TestAttachments)
#include "tst_attachments.moc"
