#include "exchange/messagefile.h"
#include "testsupport.h"

#include <QStringEncoder>

#include "core/support.h"
#include "core/textfile.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString MyGuid = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;
const QChar Nul = QChar(0);

// "2012 3 3 9 5 7 45" and the given fields, NUL-joined; `year` replaces the first.
QString content(const QStringList &tail, const QString &year = u"2012"_s)
{
    return (QStringList{year, u"3"_s, u"3"_s, u"9"_s, u"5"_s, u"7"_s, u"45"_s} + tail).join(Nul);
}

const QString FileGuid = u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s;
const QString Hash = u"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"_s;

// A file's entry of the record: path, size, SHA-256, type.
QString fileEntry(const QString &name, const QString &size = u"4"_s, const QString &hash = Hash,
                  const QString &type = u"text/plain"_s, const QString &folder = u"Files/"_s)
{
    return QStringList{folder + FileGuid + '/'_L1 + name, size, hash, type}.join('\t'_L1);
}

// Field 8 as a copy that knows ten fields reads it: split at NUL, nothing more.
QString oldReaderText(const QString &path)
{
    const Result<QString> text = TextFile::readText(path);
    return text ? text.value().split(Nul).value(8) : QString();
}

} // namespace

class TestMessageFile : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Clock::reset(); }

    // Name and bytes as every other copy reads them: one clock reading for both,
    // the seconds twice in the name, UTF-16LE with its mark, unpadded numbers,
    // NUL removed from every field, line breaks as CR LF, the sender's identity last.
    void bytesOnDisk()
    {
        TestEnvironment env;
        Clock::setFixedUtc(QDateTime(QDate(2012, 3, 3), QTime(9, 5, 7, 45), Qt::UTC));
        const Result<QString> path =
            writeMessageFile(env.chats(), u"Ив"_s + Nul + u"ан"_s, u"a\rb\u2029c"_s + Nul, MyGuid);
        QVERIFY(path.ok());
        const QString name = fileNameOf(path.value());
        QVERIFY2(name.startsWith(u"2012-03-03 09-05-07-07-045 {"_s) && name.endsWith(u"}.QLIM"_s),
                 qPrintable(name));
        QStringEncoder utf16(QStringEncoder::Utf16LE);
        const QByteArray expected = utf16(content({u"Иван"_s, u"a\r\nb\r\nc"_s, MyGuid}));
        QFile file(path.value());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "\xFF\xFE" + expected);
        QCOMPARE(QDir(env.chats()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        // The same millisecond twice still gives two files.
        const Result<QString> second = writeMessageFile(env.chats(), u"A"_s, u"2"_s, MyGuid);
        QVERIFY(second.ok() && second.value() != path.value());

        QCOMPARE(writeMessageFile({}, u"A"_s, u"t"_s, MyGuid).error().number,
                 int(ErrorCode::EmptyPath));
        QCOMPARE(writeMessageFile(env.touch(u"plain"_s), u"A"_s, u"t"_s, MyGuid).error().number,
                 ENOTDIR);
    }

    // Written with files, read back by this version and by one that knows ten
    // fields only: the latter shows the caption, or the summary of the files.
    void attachmentRoundTrip()
    {
        TestEnvironment env;
        Attachment photo;
        photo.path = u"Files/"_s + FileGuid + u"/фото 1.png"_s;
        photo.size = 1536;
        photo.sha256 = QByteArray::fromHex(Hash.toLatin1());
        photo.type = u"image/png"_s;
        Attachment empty = photo;
        empty.path = u"Files/"_s + FileGuid + u"/пусто"_s;
        empty.size = 0;
        for (const QString &caption : {u"Смотри"_s, QString()}) {
            const Result<QString> path =
                writeMessageFile(env.chats(), FileGuid, u"N"_s, caption, MyGuid, {photo, empty});
            QVERIFY(path.ok());
            QVERIFY(fileNameOf(path.value()).endsWith(FileGuid + u".QLIM"_s));
            const Result<ReceivedMessage> read = readMessageFile(path.value(), MyGuid);
            QVERIFY(read.ok());
            const QList<Attachment> &files = read.value().attachments;
            QCOMPARE(files.size(), 2);
            QCOMPARE(files[0].path, photo.path);
            QCOMPARE(files[0].size, photo.size);
            QCOMPARE(files[0].sha256, photo.sha256);
            QCOMPARE(files[0].type, photo.type);
            QVERIFY(files[0].ok() && files[1].ok());
            QCOMPARE(files[1].size, 0);
            QCOMPARE(captionOf(read.value()), caption);
            QCOMPARE(oldReaderText(path.value()),
                     caption.isEmpty() ? u"Файл: фото 1.png (1,50 КБ)\r\nФайл: пусто (0 байт)"_s
                                       : caption);
        }
    }

    // Hostile records: each refusal is the file's error, the message itself stays.
    void attachmentRecord_data()
    {
        QTest::addColumn<QStringList>("record");
        QTest::addColumn<int>("error");
        const QString one = u"files/1\t1"_s;
        QTest::newRow("sound") << QStringList{one, fileEntry(u"a.txt"_s)} << 0;
        QTest::newRow("later values ignored")
            << QStringList{one, fileEntry(u"a.txt"_s) + u"\tlater"_s, u"later field"_s} << 0;
        QTest::newRow("other folder")
            << QStringList{one, fileEntry(u"a"_s, u"4"_s, Hash, u"text/plain"_s, u"Logs/"_s)}
            << int(ErrorCode::AttachmentOutsideFiles);
        QTest::newRow("deeper") << QStringList{one, fileEntry(u"sub/a"_s)}
                                << int(ErrorCode::AttachmentOutsideFiles);
        QTest::newRow("guid folder of another shape")
            << QStringList{one, fileEntry(u"a"_s).replace(FileGuid, FileGuid.toLower())}
            << int(ErrorCode::AttachmentOutsideFiles);
        QTest::newRow("absolute") << QStringList{one, u"/etc/passwd\t4\t"_s + Hash + u"\ta/b"_s}
                                  << int(ErrorCode::AttachmentAbsolutePath);
        QTest::newRow("parent step") << QStringList{one, fileEntry(u"../../../.bashrc"_s)}
                                     << int(ErrorCode::AttachmentParentStep);
        QTest::newRow("backslash")
            << QStringList{one, fileEntry(u"..\\a"_s)} << int(ErrorCode::AttachmentBackslash);
        QTest::newRow("control") << QStringList{one, fileEntry(u"a\u001bb"_s)}
                                 << int(ErrorCode::AttachmentControlCharacter);
        QTest::newRow("syncthing temporary") << QStringList{one, fileEntry(u".syncthing.a.tmp"_s)}
                                             << int(ErrorCode::AttachmentSyncServiceFile);
        QTest::newRow("nextcloud download") << QStringList{one, fileEntry(u".a.txt.~2f1c"_s)}
                                            << int(ErrorCode::AttachmentSyncServiceFile);
        QTest::newRow("sync conflict")
            << QStringList{one, fileEntry(u"a.sync-conflict-20261207-101010-ABCDEFG.txt"_s)}
            << int(ErrorCode::AttachmentSyncServiceFile);
        QTest::newRow("conflicted copy")
            << QStringList{one, fileEntry(u"a (conflicted copy 2026-12-07 101010).txt"_s)}
            << int(ErrorCode::AttachmentSyncServiceFile);
        QTest::newRow("size over 2 GiB") << QStringList{one, fileEntry(u"a"_s, u"2147483649"_s)}
                                         << int(ErrorCode::AttachmentBadSize);
        QTest::newRow("size with sign")
            << QStringList{one, fileEntry(u"a"_s, u"+4"_s)} << int(ErrorCode::AttachmentBadSize);
        QTest::newRow("hash in capitals")
            << QStringList{one, fileEntry(u"a"_s, u"4"_s, Hash.toUpper())}
            << int(ErrorCode::AttachmentBadHash);
        QTest::newRow("type without subtype")
            << QStringList{one, fileEntry(u"a"_s, u"4"_s, Hash, u"text"_s)}
            << int(ErrorCode::AttachmentBadType);
        QTest::newRow("entry cut short")
            << QStringList{one, u"Files/a\t4"_s} << int(ErrorCode::AttachmentRecordBroken);
        QTest::newRow("fewer files than counted") << QStringList{u"files/1\t2"_s, fileEntry(u"a"_s)}
                                                  << int(ErrorCode::AttachmentRecordBroken);
        QTest::newRow("newer version") << QStringList{u"files/2\t1"_s, u"anything"_s}
                                       << int(ErrorCode::AttachmentNewerVersion);
        QTest::newRow("no record") << QStringList{u"something later"_s, fileEntry(u"a"_s)} << -1;
    }

    void attachmentRecord()
    {
        QFETCH(QStringList, record);
        QFETCH(int, error);
        const Result<ReceivedMessage> message =
            parseMessageContent(content(QStringList{u"N"_s, u"T"_s, u"{1}"_s} + record), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().text, u"T"_s);
        const QList<Attachment> &files = message.value().attachments;
        QCOMPARE(files.size(), error < 0 ? 0 : 1);
        if (error < 0)
            return;
        QCOMPARE(files[0].error.number, error);
        QCOMPARE(files[0].error.description.isEmpty(), error == 0);
    }

    // One row per way through the parser; must-not-crash inputs live in fuzz/corpus/message.
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("error");
        QTest::addColumn<MessageKind>("kind");
        const auto other = MessageKind::Other;
        const auto own = MessageKind::Own;
        QTest::newRow("own") << content({u"N"_s, u"T"_s, MyGuid}) << 0 << own;
        QTest::newRow("other") << content({u"N"_s, u"T"_s, u"{1}"_s}) << 0 << other;
        QTest::newRow("guid in other case")
            << content({u"N"_s, u"T"_s, MyGuid.toLower()}) << 0 << other;
        QTest::newRow("lf in text") << content({u"N"_s, u"T\n"_s, u"{1}"_s}) << 0 << other;
        QTest::newRow("sign and blanks") << content({u"N"_s, u"T"_s}, u" +2012\t"_s) << 0 << own;
        QTest::newRow("empty") << QString() << int(ErrorCode::EmptyMessage) << own;
        QTest::newRow("eight fields") << content({u"N"_s}) << int(ErrorCode::TooFewFields) << own;
        QTest::newRow("letters") << content({u"N"_s, u"T"_s}, u"12a"_s) << int(ErrorCode::BadNumber)
                                 << own;
        QTest::newRow("over 16 bits")
            << content({u"N"_s, u"T"_s}, u"32768"_s) << int(ErrorCode::BadNumber) << own;
        QTest::newRow("negative") << content({u"N"_s, u"T"_s}, u"-1"_s) << int(ErrorCode::BadTime)
                                  << own;
        QTest::newRow("past file times")
            << content({u"N"_s, u"T"_s}, u"32767"_s) << int(ErrorCode::BadTime) << own;
        QTest::newRow("30 february")
            << content({u"N"_s, u"T"_s}).replace(u"\0003\0003"_s, u"\0002\00030"_s)
            << int(ErrorCode::BadTime) << own;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, error);
        QFETCH(MessageKind, kind);
        const Result<ReceivedMessage> message = parseMessageContent(text, MyGuid);
        QCOMPARE(message.ok() ? 0 : message.error().number, error);
        if (error != 0)
            return;
        QCOMPARE(message.value().kind, kind);
        QCOMPARE(message.value().senderName, u"N"_s);
        QVERIFY(message.value().text.startsWith(u"T"_s));
        QVERIFY(!message.value().text.contains(QRegularExpression(u"[^\r]\n"_s)));
        QCOMPARE(message.value().utcTime, (MessageTime{2012, 3, 0, 3, 9, 5, 7, 45}));
    }
};

QTEST_GUILESS_MAIN(TestMessageFile)
#include "tst_messagefile.moc"
