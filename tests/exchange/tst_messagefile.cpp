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
                  const QString &type = u"text/plain"_s)
{
    return QStringList{u"Files/"_s + FileGuid + '/'_L1 + name, size, hash, type}.join('\t'_L1);
}

// Field 8 as a copy that knows ten fields reads it: split at NUL, nothing more.
QString oldReaderText(const QString &path)
{
    const Result<QString> text = TextFile::readText(path);
    return text ? text.value().split(Nul).value(8) : QString();
}

QStringList fieldsOf(const Attachment &file)
{
    return {file.path, QString::number(file.size), QString::fromLatin1(file.sha256.toHex()),
            file.type};
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
        QCOMPARE(fileBytes(path.value()), "\xFF\xFE" + expected);
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
        const Attachment photo{u"Files/"_s + FileGuid + u"/фото 1.png"_s, 1536,
                               QByteArray::fromHex(Hash.toLatin1()), u"image/png"_s, Error()};
        const Attachment empty{u"Files/"_s + FileGuid + u"/пусто"_s, 0, photo.sha256, photo.type,
                               Error()};
        for (const QString &caption : {u"Смотри"_s, QString()}) {
            const Result<QString> path =
                writeMessageFile(env.chats(), FileGuid, u"N"_s, caption, MyGuid, {photo, empty});
            QVERIFY(path.ok());
            QVERIFY(fileNameOf(path.value()).endsWith(FileGuid + u".QLIM"_s));
            const Result<ReceivedMessage> read = readMessageFile(path.value(), MyGuid);
            QVERIFY(read.ok());
            const QList<Attachment> &files = read.value().attachments;
            QCOMPARE(files.size(), 2);
            QCOMPARE(fieldsOf(files[0]), fieldsOf(photo));
            QCOMPARE(fieldsOf(files[1]), fieldsOf(empty));
            QVERIFY(files[0].ok() && files[1].ok());
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
        const auto row = [](const char *name, const QString &entry, int error,
                            const QString &head = u"files/1\t1"_s) {
            QTest::newRow(name) << QStringList{head, entry} << error;
        };
        row("sound", fileEntry(u"a.txt"_s), 0);
        QTest::newRow("later values ignored")
            << QStringList{u"files/1\t1"_s, fileEntry(u"a.txt"_s) + u"\tlater"_s, u"later"_s} << 0;
        row("other folder", fileEntry(u"a"_s).replace(u"Files/"_s, u"Logs/"_s),
            ErrorCode::AttachmentOutsideFiles);
        row("deeper", fileEntry(u"sub/a"_s), ErrorCode::AttachmentOutsideFiles);
        row("guid folder of another shape", fileEntry(u"a"_s).replace(FileGuid, FileGuid.toLower()),
            ErrorCode::AttachmentOutsideFiles);
        row("absolute", u"/etc/passwd\t4\t"_s + Hash + u"\ta/b"_s,
            ErrorCode::AttachmentAbsolutePath);
        row("parent step", fileEntry(u"../../../.bashrc"_s), ErrorCode::AttachmentParentStep);
        row("backslash", fileEntry(u"..\\a"_s), ErrorCode::AttachmentBackslash);
        row("control", fileEntry(u"a\u001bb"_s), ErrorCode::AttachmentControlCharacter);
        for (const QString &name : {u".syncthing.a.tmp"_s, u".a.txt.~2f1c"_s,
                                    u"a.sync-conflict-20261207-101010-ABCDEFG.txt"_s,
                                    u"a (conflicted copy 2026-12-07 101010).txt"_s})
            row(qPrintable(name), fileEntry(name), ErrorCode::AttachmentSyncServiceFile);
        row("size over 2 GiB", fileEntry(u"a"_s, u"2147483649"_s), ErrorCode::AttachmentBadSize);
        row("size with sign", fileEntry(u"a"_s, u"+4"_s), ErrorCode::AttachmentBadSize);
        row("hash in capitals", fileEntry(u"a"_s, u"4"_s, Hash.toUpper()),
            ErrorCode::AttachmentBadHash);
        row("type without subtype", fileEntry(u"a"_s, u"4"_s, Hash, u"text"_s),
            ErrorCode::AttachmentBadType);
        row("entry cut short", u"Files/a\t4"_s, ErrorCode::AttachmentRecordBroken);
        row("fewer files than counted", fileEntry(u"a"_s), ErrorCode::AttachmentRecordBroken,
            u"files/1\t2"_s);
        row("newer version", u"anything"_s, ErrorCode::AttachmentNewerVersion, u"files/2\t1"_s);
        row("no record", fileEntry(u"a"_s), -1, u"something later"_s);
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
        const auto badYear = [](const char *name, const QString &year, int error) {
            QTest::newRow(name) << content({u"N"_s, u"T"_s}, year) << error << MessageKind::Own;
        };
        badYear("letters", u"12a"_s, ErrorCode::BadNumber);
        badYear("over 16 bits", u"32768"_s, ErrorCode::BadNumber);
        badYear("negative", u"-1"_s, ErrorCode::BadTime);
        badYear("past file times", u"32767"_s, ErrorCode::BadTime);
        QTest::newRow("30 february")
            << content({u"N"_s, u"T"_s}).replace(u"\0003\0003"_s, u"\0002\00030"_s)
            << int(ErrorCode::BadTime) << own;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, error);
        const Result<ReceivedMessage> message = parseMessageContent(text, MyGuid);
        QCOMPARE(message.ok() ? 0 : message.error().number, error);
        if (error != 0)
            return;
        QTEST(message.value().kind, "kind");
        QCOMPARE(message.value().senderName, u"N"_s);
        QVERIFY(message.value().text.startsWith(u"T"_s));
        QVERIFY(!message.value().text.contains(QRegularExpression(u"[^\r]\n"_s)));
        QCOMPARE(message.value().utcTime, (MessageTime{2012, 3, 0, 3, 9, 5, 7, 45}));
    }
};

QTEST_GUILESS_MAIN(TestMessageFile)
#include "tst_messagefile.moc"
