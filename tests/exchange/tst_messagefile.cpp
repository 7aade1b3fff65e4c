#include "exchange/messagefile.h"
#include "testsupport.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QTest>

#include "core/support.h"
#include "core/textfile.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString MyGuid = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;
const QChar Nul = QChar(0);

QString join(const QStringList &fields)
{
    return fields.join(Nul);
}

QStringList timeFields()
{
    return {u"2012"_s, u"3"_s, u"3"_s, u"9"_s, u"5"_s, u"7"_s, u"45"_s};
}

QString content(const QStringList &tail)
{
    return join(timeFields() + tail);
}

MessageTime sample()
{
    MessageTime t;
    t.year = 2012;
    t.month = 3;
    t.day = 3;
    t.hour = 9;
    t.minute = 5;
    t.second = 7;
    t.millisecond = 45;
    return t;
}

QByteArray fileBytes(const QString &path)
{
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

} // namespace

class TestMessageFile : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Clock::reset(); }

    void nameHasEightPiecesWithSecondsTwice()
    {
        QCOMPARE(messageFileName(sample(), MyGuid),
                 u"2012-03-03 09-05-07-07-045 "_s + MyGuid + u".QLIM"_s);
    }

    void writtenFileCarriesOneClockReading()
    {
        TestEnvironment env;
        Clock::setFixedUtc(QDateTime(QDate(2012, 3, 3), QTime(9, 5, 7, 45), Qt::UTC));
        const Result<QString> path = writeMessageFile(env.chats(), u"Иван"_s, u"Привет"_s, MyGuid);
        QVERIFY(path.ok());
        const QString name = fileNameOf(path.value());
        QVERIFY2(QRegularExpression(u"^2012-03-03 09-05-07-07-045 "
                                    "\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}"
                                    "\\.QLIM$"_s)
                     .match(name)
                     .hasMatch(),
                 qPrintable(name));
        QCOMPARE(parentFolder(path.value()), env.chats());

        // Unpadded time fields, then name, text and the sender's identity.
        const Result<QString> raw = TextFile::readText(path.value());
        QVERIFY(raw.ok());
        const QStringList expected = timeFields() + QStringList{u"Иван"_s, u"Привет"_s, MyGuid};
        QCOMPARE(raw.value().split(Nul), expected);
        QVERIFY(fileBytes(path.value()).startsWith("\xFF\xFE"));
        // Nothing but the message itself is left behind.
        QCOMPARE(QDir(env.chats()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    void sameMillisecondGivesDistinctNames()
    {
        TestEnvironment env;
        Clock::setFixedUtc(QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC));
        const Result<QString> first = writeMessageFile(env.chats(), u"A"_s, u"1"_s, MyGuid);
        const Result<QString> second = writeMessageFile(env.chats(), u"A"_s, u"2"_s, MyGuid);
        QVERIFY(first.ok() && second.ok());
        QVERIFY(first.value() != second.value());
        QCOMPARE(readMessageFile(first.value(), MyGuid).value().text, u"1"_s);
        QCOMPARE(readMessageFile(second.value(), MyGuid).value().text, u"2"_s);
    }

    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("received");
        QTest::newRow("crlf kept") << u"a\r\nb\r\n\r\nc"_s << u"a\r\nb\r\n\r\nc"_s;
        QTest::newRow("lf sent as crlf") << u"a\nb"_s << u"a\r\nb"_s;
        QTest::newRow("cr sent as crlf") << u"a\rb"_s << u"a\r\nb"_s;
        QTest::newRow("paragraph separator")
            << u"a"_s + QChar::ParagraphSeparator + u"b"_s << u"a\r\nb"_s;
        QTest::newRow("unicode") << u"Съешь ещё 😀\t«»"_s << u"Съешь ещё 😀\t«»"_s;
        QTest::newRow("nul removed") << u"a"_s + Nul + u"b"_s << u"ab"_s;
    }

    void textRoundTrip()
    {
        QFETCH(QString, typed);
        QFETCH(QString, received);
        TestEnvironment env;
        const Result<QString> path = writeMessageFile(env.chats(), u"Иван"_s, typed, MyGuid);
        QVERIFY(path.ok());
        const Result<ReceivedMessage> message = readMessageFile(path.value(), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().text, received);
        QCOMPARE(message.value().senderName, u"Иван"_s);
        QCOMPARE(message.value().kind, MessageKind::Own);
    }

    void nulInNameCannotShiftFields()
    {
        const QString text = buildMessageContent(sample(), u"a"_s + Nul + u"b"_s, u"t"_s, MyGuid);
        const Result<ReceivedMessage> message = parseMessageContent(text, MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().senderName, u"ab"_s);
        QCOMPARE(message.value().kind, MessageKind::Own);
    }

    void receivedLineBreaksOfAnyForm_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("crlf") << u"x\r\ny"_s;
        QTest::newRow("lf") << u"x\ny"_s;
        QTest::newRow("cr") << u"x\ry"_s;
    }

    void receivedLineBreaksOfAnyForm()
    {
        QFETCH(QString, stored);
        const Result<ReceivedMessage> message =
            parseMessageContent(content({u"N"_s, stored, MyGuid}), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().text, u"x\r\ny"_s);
    }

    void kind_data()
    {
        QTest::addColumn<QStringList>("tail");
        QTest::addColumn<MessageKind>("kind");
        QTest::newRow("own guid") << QStringList{u"N"_s, u"T"_s, MyGuid} << MessageKind::Own;
        QTest::newRow("other guid")
            << QStringList{u"N"_s, u"T"_s, u"{11111111-2222-3333-4444-555555555555}"_s}
            << MessageKind::Other;
        QTest::newRow("guid differs in case")
            << QStringList{u"N"_s, u"T"_s, MyGuid.toLower()} << MessageKind::Other;
        QTest::newRow("guid with trailing blank")
            << QStringList{u"N"_s, u"T"_s, MyGuid + ' '_L1} << MessageKind::Other;
        QTest::newRow("empty guid") << QStringList{u"N"_s, u"T"_s, {}} << MessageKind::Other;
        QTest::newRow("nine fields") << QStringList{u"N"_s, u"T"_s} << MessageKind::Own;
        QTest::newRow("eleven fields, own")
            << QStringList{u"N"_s, u"T"_s, MyGuid, u"x"_s} << MessageKind::Own;
        QTest::newRow("twelve fields, other")
            << QStringList{u"N"_s, u"T"_s, u"g"_s, {}, {}} << MessageKind::Other;
    }

    void kind()
    {
        QFETCH(QStringList, tail);
        QFETCH(MessageKind, kind);
        const Result<ReceivedMessage> message = parseMessageContent(content(tail), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().kind, kind);
        QCOMPARE(message.value().senderName, u"N"_s);
        QCOMPARE(message.value().text, u"T"_s);
        QCOMPARE(message.value().utcTime, sample());
    }

    void numbersAsDecimalTextAllows_data()
    {
        QTest::addColumn<QString>("year");
        QTest::newRow("plus sign") << u"+2012"_s;
        QTest::newRow("leading blank") << u" 2012"_s;
        QTest::newRow("trailing blank") << u"2012 "_s;
        QTest::newRow("tab") << u"\t2012"_s;
        QTest::newRow("leading zeros") << u"0002012"_s;
    }

    void numbersAsDecimalTextAllows()
    {
        QFETCH(QString, year);
        QStringList fields = timeFields();
        fields[0] = year;
        const Result<ReceivedMessage> message =
            parseMessageContent(join(fields + QStringList{u"N"_s, u"T"_s}), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().utcTime.year, quint16(2012));
    }

    void badContent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("error");
        auto withField = [](int index, const QString &value) {
            QStringList fields = timeFields();
            fields[index] = value;
            return join(fields + QStringList{u"N"_s, u"T"_s, MyGuid});
        };
        QTest::newRow("empty") << QString() << int(ErrorCode::EmptyMessage);
        QTest::newRow("one field") << u"hello"_s << int(ErrorCode::TooFewFields);
        QTest::newRow("eight fields") << content({u"N"_s}) << int(ErrorCode::TooFewFields);
        QTest::newRow("empty year") << withField(0, {}) << int(ErrorCode::BadNumber);
        QTest::newRow("year 12abc") << withField(0, u"12abc"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("year 70000") << withField(0, u"70000"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("year 32768") << withField(0, u"32768"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("huge digits")
            << withField(0, u"99999999999999999999"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("sign only") << withField(1, u"-"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("hex") << withField(1, u"0x3"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("exponent") << withField(1, u"1e1"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("inner blank") << withField(0, u"20 12"_s) << int(ErrorCode::BadNumber);
        QTest::newRow("arabic-indic digits")
            << withField(1, QString(QChar(0x0663))) << int(ErrorCode::BadNumber);
        QTest::newRow("month 13") << withField(1, u"13"_s) << int(ErrorCode::BadTime);
        QTest::newRow("month 0") << withField(1, u"0"_s) << int(ErrorCode::BadTime);
        QTest::newRow("month -1") << withField(1, u"-1"_s) << int(ErrorCode::BadTime);
        QTest::newRow("30 february") << join(QStringList{u"2012"_s, u"2"_s, u"30"_s, u"0"_s, u"0"_s,
                                                         u"0"_s, u"0"_s, u"N"_s, u"T"_s})
                                     << int(ErrorCode::BadTime);
        QTest::newRow("hour 24") << withField(3, u"24"_s) << int(ErrorCode::BadTime);
        QTest::newRow("minute 60") << withField(4, u"60"_s) << int(ErrorCode::BadTime);
        QTest::newRow("millisecond 1000") << withField(6, u"1000"_s) << int(ErrorCode::BadTime);
        QTest::newRow("year 1600") << withField(0, u"1600"_s) << int(ErrorCode::BadTime);
        QTest::newRow("year 32767") << withField(0, u"32767"_s) << int(ErrorCode::BadTime);
        QTest::newRow("only separators") << QString(20, Nul) << int(ErrorCode::BadNumber);
    }

    void badContent()
    {
        QFETCH(QString, text);
        QFETCH(int, error);
        const Result<ReceivedMessage> message = parseMessageContent(text, MyGuid);
        QVERIFY(!message.ok());
        QCOMPARE(message.error().number, error);
        QCOMPARE(message.error().description, errorDescription(error));
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("error");
        QTest::newRow("empty file") << QByteArray() << int(ErrorCode::EmptyMessage);
        QTest::newRow("invalid utf-8")
            << QByteArray("2012\0\xC3\x28\0", 8) << int(ErrorCode::InvalidEncoding);
        QTest::newRow("utf-16 odd bytes")
            << QByteArray("\xFF\xFE\x32\x00\x30", 5) << int(ErrorCode::InvalidEncoding);
        QTest::newRow("5 MiB") << QByteArray(5 * 1024 * 1024, 'a') << int(ErrorCode::FileTooLarge);
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 7919 + 13) & 0xFF));
        QTest::newRow("binary garbage") << garbage << int(ErrorCode::InvalidEncoding);
        QTest::newRow("utf-8 nine fields, bad year")
            << content({u"N"_s, u"T"_s}).replace(0, 4, u"x"_s).toUtf8()
            << int(ErrorCode::BadNumber);
    }

    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        TestEnvironment env;
        const QString path = env.touch(u"chats/bad.QLIM"_s, bytes);
        const Result<ReceivedMessage> message = readMessageFile(path, MyGuid);
        QVERIFY(!message.ok());
        QCOMPARE(message.error().number, error);
        QVERIFY(!message.error().description.isEmpty());
        QCOMPARE(fileBytes(path), bytes);
    }

    void readsUtf8AndBigEndianFiles()
    {
        TestEnvironment env;
        const QString text = content({u"Пётр"_s, u"да"_s, MyGuid});
        QByteArray be("\xFE\xFF");
        for (QChar c : text) {
            be.append(char(c.unicode() >> 8));
            be.append(char(c.unicode() & 0xFF));
        }
        for (const QByteArray &bytes :
             {text.toUtf8(), QByteArray("\xEF\xBB\xBF") + text.toUtf8(), be}) {
            const Result<ReceivedMessage> message =
                readMessageFile(env.touch(u"m.QLIM"_s, bytes), MyGuid);
            QVERIFY(message.ok());
            QCOMPARE(message.value().senderName, u"Пётр"_s);
            QCOMPARE(message.value().kind, MessageKind::Own);
        }
    }

    void unreadableFiles()
    {
        TestEnvironment env;
        const QString folder = env.chats();
        // Removed between listing and reading.
        QCOMPARE(readMessageFile(folder + u"/gone.QLIM"_s, MyGuid).error().number, ENOENT);
        // A link pointing outside the folder is not followed.
        const QString outside = env.touch(u"secret"_s, content({u"N"_s, u"T"_s}).toUtf8());
        const QString link = folder + u"/x.QLIM"_s;
        QCOMPARE(
            ::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(link).constData()),
            0);
        QVERIFY(!readMessageFile(link, MyGuid).ok());
        // A named pipe is refused at once instead of waiting for a writer.
        const QString pipe = folder + u"/y.QLIM"_s;
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QCOMPARE(readMessageFile(pipe, MyGuid).error().number, int(ErrorCode::NotRegularFile));
        QVERIFY(QDir().mkdir(folder + u"/z.QLIM"_s));
        QVERIFY(!readMessageFile(folder + u"/z.QLIM"_s, MyGuid).ok());
    }

    void writeFailures()
    {
        TestEnvironment env;
        QCOMPARE(writeMessageFile({}, u"A"_s, u"t"_s, MyGuid).error().number,
                 int(ErrorCode::EmptyPath));
        QCOMPARE(writeMessageFile(env.path(u"missing"_s), u"A"_s, u"t"_s, MyGuid).error().number,
                 ENOENT);
        const QString file = env.touch(u"plain"_s);
        QCOMPARE(writeMessageFile(file, u"A"_s, u"t"_s, MyGuid).error().number, ENOTDIR);
    }
};

QTEST_GUILESS_MAIN(TestMessageFile)
#include "tst_messagefile.moc"
