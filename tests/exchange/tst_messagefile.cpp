#include "exchange/messagefile.h"
#include "testenv.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QTest>

#include "core/support.h"
#include "core/textfile.h"

using namespace quillet;

namespace {

const QString MyGuid = QStringLiteral("{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}");
const QChar Nul = QChar(0);

QString join(const QStringList &fields)
{
    return fields.join(Nul);
}

QStringList timeFields()
{
    return {QStringLiteral("2012"), QStringLiteral("3"), QStringLiteral("3"), QStringLiteral("9"),
            QStringLiteral("5"),    QStringLiteral("7"), QStringLiteral("45")};
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
                 QStringLiteral("2012-03-03 09-05-07-07-045 ") + MyGuid + QStringLiteral(".QLIM"));
    }

    void writtenFileCarriesOneClockReading()
    {
        TestEnvironment env;
        Clock::setFixedUtc(QDateTime(QDate(2012, 3, 3), QTime(9, 5, 7, 45), Qt::UTC));
        const Result<QString> path =
            writeMessageFile(env.chats(), QStringLiteral("Иван"), QStringLiteral("Привет"), MyGuid);
        QVERIFY(path.ok());
        const QString name = fileNameOf(path.value());
        QVERIFY2(QRegularExpression(QStringLiteral("^2012-03-03 09-05-07-07-045 "
                                                   "\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}"
                                                   "\\.QLIM$"))
                     .match(name)
                     .hasMatch(),
                 qPrintable(name));
        QCOMPARE(parentFolder(path.value()), env.chats());

        // Unpadded time fields, then name, text and the sender's identity.
        const Result<QString> raw = TextFile::readText(path.value());
        QVERIFY(raw.ok());
        const QStringList expected =
            timeFields() + QStringList{QStringLiteral("Иван"), QStringLiteral("Привет"), MyGuid};
        QCOMPARE(raw.value().split(Nul), expected);
        QVERIFY(fileBytes(path.value()).startsWith("\xFF\xFE"));
        // Nothing but the message itself is left behind.
        QCOMPARE(QDir(env.chats()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    }

    void sameMillisecondGivesDistinctNames()
    {
        TestEnvironment env;
        Clock::setFixedUtc(QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC));
        const Result<QString> first =
            writeMessageFile(env.chats(), QStringLiteral("A"), QStringLiteral("1"), MyGuid);
        const Result<QString> second =
            writeMessageFile(env.chats(), QStringLiteral("A"), QStringLiteral("2"), MyGuid);
        QVERIFY(first.ok() && second.ok());
        QVERIFY(first.value() != second.value());
        QCOMPARE(readMessageFile(first.value(), MyGuid).value().text, QStringLiteral("1"));
        QCOMPARE(readMessageFile(second.value(), MyGuid).value().text, QStringLiteral("2"));
    }

    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("received");
        QTest::newRow("crlf kept")
            << QStringLiteral("a\r\nb\r\n\r\nc") << QStringLiteral("a\r\nb\r\n\r\nc");
        QTest::newRow("lf sent as crlf") << QStringLiteral("a\nb") << QStringLiteral("a\r\nb");
        QTest::newRow("cr sent as crlf") << QStringLiteral("a\rb") << QStringLiteral("a\r\nb");
        QTest::newRow("paragraph separator")
            << QStringLiteral("a") + QChar::ParagraphSeparator + QStringLiteral("b")
            << QStringLiteral("a\r\nb");
        QTest::newRow("unicode") << QStringLiteral("Съешь ещё 😀\t«»")
                                 << QStringLiteral("Съешь ещё 😀\t«»");
        QTest::newRow("nul removed")
            << QStringLiteral("a") + Nul + QStringLiteral("b") << QStringLiteral("ab");
    }

    void textRoundTrip()
    {
        QFETCH(QString, typed);
        QFETCH(QString, received);
        TestEnvironment env;
        const Result<QString> path =
            writeMessageFile(env.chats(), QStringLiteral("Иван"), typed, MyGuid);
        QVERIFY(path.ok());
        const Result<ReceivedMessage> message = readMessageFile(path.value(), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().text, received);
        QCOMPARE(message.value().senderName, QStringLiteral("Иван"));
        QCOMPARE(message.value().kind, MessageKind::Own);
    }

    void nulInNameCannotShiftFields()
    {
        const QString text = buildMessageContent(
            sample(), QStringLiteral("a") + Nul + QStringLiteral("b"), QStringLiteral("t"), MyGuid);
        const Result<ReceivedMessage> message = parseMessageContent(text, MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().senderName, QStringLiteral("ab"));
        QCOMPARE(message.value().kind, MessageKind::Own);
    }

    void receivedLineBreaksOfAnyForm_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("crlf") << QStringLiteral("x\r\ny");
        QTest::newRow("lf") << QStringLiteral("x\ny");
        QTest::newRow("cr") << QStringLiteral("x\ry");
    }

    void receivedLineBreaksOfAnyForm()
    {
        QFETCH(QString, stored);
        const Result<ReceivedMessage> message =
            parseMessageContent(content({QStringLiteral("N"), stored, MyGuid}), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().text, QStringLiteral("x\r\ny"));
    }

    void kind_data()
    {
        QTest::addColumn<QStringList>("tail");
        QTest::addColumn<MessageKind>("kind");
        QTest::newRow("own guid") << QStringList{QStringLiteral("N"), QStringLiteral("T"), MyGuid}
                                  << MessageKind::Own;
        QTest::newRow("other guid")
            << QStringList{QStringLiteral("N"), QStringLiteral("T"),
                           QStringLiteral("{11111111-2222-3333-4444-555555555555}")}
            << MessageKind::Other;
        QTest::newRow("guid differs in case")
            << QStringList{QStringLiteral("N"), QStringLiteral("T"), MyGuid.toLower()}
            << MessageKind::Other;
        QTest::newRow("guid with trailing blank")
            << QStringList{QStringLiteral("N"), QStringLiteral("T"), MyGuid + QLatin1Char(' ')}
            << MessageKind::Other;
        QTest::newRow("empty guid")
            << QStringList{QStringLiteral("N"), QStringLiteral("T"), {}} << MessageKind::Other;
        QTest::newRow("nine fields")
            << QStringList{QStringLiteral("N"), QStringLiteral("T")} << MessageKind::Own;
        QTest::newRow("eleven fields, own")
            << QStringList{QStringLiteral("N"), QStringLiteral("T"), MyGuid, QStringLiteral("x")}
            << MessageKind::Own;
        QTest::newRow("twelve fields, other")
            << QStringList{QStringLiteral("N"), QStringLiteral("T"), QStringLiteral("g"), {}, {}}
            << MessageKind::Other;
    }

    void kind()
    {
        QFETCH(QStringList, tail);
        QFETCH(MessageKind, kind);
        const Result<ReceivedMessage> message = parseMessageContent(content(tail), MyGuid);
        QVERIFY(message.ok());
        QCOMPARE(message.value().kind, kind);
        QCOMPARE(message.value().senderName, QStringLiteral("N"));
        QCOMPARE(message.value().text, QStringLiteral("T"));
        QCOMPARE(message.value().utcTime, sample());
    }

    void numbersAsDecimalTextAllows_data()
    {
        QTest::addColumn<QString>("year");
        QTest::newRow("plus sign") << QStringLiteral("+2012");
        QTest::newRow("leading blank") << QStringLiteral(" 2012");
        QTest::newRow("trailing blank") << QStringLiteral("2012 ");
        QTest::newRow("tab") << QStringLiteral("\t2012");
        QTest::newRow("leading zeros") << QStringLiteral("0002012");
    }

    void numbersAsDecimalTextAllows()
    {
        QFETCH(QString, year);
        QStringList fields = timeFields();
        fields[0] = year;
        const Result<ReceivedMessage> message = parseMessageContent(
            join(fields + QStringList{QStringLiteral("N"), QStringLiteral("T")}), MyGuid);
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
            return join(fields + QStringList{QStringLiteral("N"), QStringLiteral("T"), MyGuid});
        };
        QTest::newRow("empty") << QString() << int(ErrorCode::EmptyMessage);
        QTest::newRow("one field") << QStringLiteral("hello") << int(ErrorCode::TooFewFields);
        QTest::newRow("eight fields")
            << content({QStringLiteral("N")}) << int(ErrorCode::TooFewFields);
        QTest::newRow("empty year") << withField(0, {}) << int(ErrorCode::BadNumber);
        QTest::newRow("year 12abc")
            << withField(0, QStringLiteral("12abc")) << int(ErrorCode::BadNumber);
        QTest::newRow("year 70000")
            << withField(0, QStringLiteral("70000")) << int(ErrorCode::BadNumber);
        QTest::newRow("year 32768")
            << withField(0, QStringLiteral("32768")) << int(ErrorCode::BadNumber);
        QTest::newRow("huge digits")
            << withField(0, QStringLiteral("99999999999999999999")) << int(ErrorCode::BadNumber);
        QTest::newRow("sign only")
            << withField(1, QStringLiteral("-")) << int(ErrorCode::BadNumber);
        QTest::newRow("hex") << withField(1, QStringLiteral("0x3")) << int(ErrorCode::BadNumber);
        QTest::newRow("exponent") << withField(1, QStringLiteral("1e1"))
                                  << int(ErrorCode::BadNumber);
        QTest::newRow("inner blank")
            << withField(0, QStringLiteral("20 12")) << int(ErrorCode::BadNumber);
        QTest::newRow("arabic-indic digits")
            << withField(1, QString(QChar(0x0663))) << int(ErrorCode::BadNumber);
        QTest::newRow("month 13") << withField(1, QStringLiteral("13")) << int(ErrorCode::BadTime);
        QTest::newRow("month 0") << withField(1, QStringLiteral("0")) << int(ErrorCode::BadTime);
        QTest::newRow("month -1") << withField(1, QStringLiteral("-1")) << int(ErrorCode::BadTime);
        QTest::newRow("30 february")
            << join(QStringList{QStringLiteral("2012"), QStringLiteral("2"), QStringLiteral("30"),
                                QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                QStringLiteral("0"), QStringLiteral("N"), QStringLiteral("T")})
            << int(ErrorCode::BadTime);
        QTest::newRow("hour 24") << withField(3, QStringLiteral("24")) << int(ErrorCode::BadTime);
        QTest::newRow("minute 60") << withField(4, QStringLiteral("60")) << int(ErrorCode::BadTime);
        QTest::newRow("millisecond 1000")
            << withField(6, QStringLiteral("1000")) << int(ErrorCode::BadTime);
        QTest::newRow("year 1600")
            << withField(0, QStringLiteral("1600")) << int(ErrorCode::BadTime);
        QTest::newRow("year 32767")
            << withField(0, QStringLiteral("32767")) << int(ErrorCode::BadTime);
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
            << content({QStringLiteral("N"), QStringLiteral("T")})
                   .replace(0, 4, QStringLiteral("x"))
                   .toUtf8()
            << int(ErrorCode::BadNumber);
    }

    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        TestEnvironment env;
        const QString path = env.touch(QStringLiteral("chats/bad.QLIM"), bytes);
        const Result<ReceivedMessage> message = readMessageFile(path, MyGuid);
        QVERIFY(!message.ok());
        QCOMPARE(message.error().number, error);
        QVERIFY(!message.error().description.isEmpty());
        QCOMPARE(fileBytes(path), bytes);
    }

    void readsUtf8AndBigEndianFiles()
    {
        TestEnvironment env;
        const QString text = content({QStringLiteral("Пётр"), QStringLiteral("да"), MyGuid});
        QByteArray be("\xFE\xFF");
        for (QChar c : text) {
            be.append(char(c.unicode() >> 8));
            be.append(char(c.unicode() & 0xFF));
        }
        for (const QByteArray &bytes :
             {text.toUtf8(), QByteArray("\xEF\xBB\xBF") + text.toUtf8(), be}) {
            const Result<ReceivedMessage> message =
                readMessageFile(env.touch(QStringLiteral("m.QLIM"), bytes), MyGuid);
            QVERIFY(message.ok());
            QCOMPARE(message.value().senderName, QStringLiteral("Пётр"));
            QCOMPARE(message.value().kind, MessageKind::Own);
        }
    }

    void unreadableFiles()
    {
        TestEnvironment env;
        const QString folder = env.chats();
        // Removed between listing and reading.
        QCOMPARE(readMessageFile(folder + QStringLiteral("/gone.QLIM"), MyGuid).error().number,
                 ENOENT);
        // A link pointing outside the folder is not followed.
        const QString outside = env.touch(
            QStringLiteral("secret"), content({QStringLiteral("N"), QStringLiteral("T")}).toUtf8());
        const QString link = folder + QStringLiteral("/x.QLIM");
        QCOMPARE(
            ::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(link).constData()),
            0);
        QVERIFY(!readMessageFile(link, MyGuid).ok());
        // A named pipe is refused at once instead of waiting for a writer.
        const QString pipe = folder + QStringLiteral("/y.QLIM");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QCOMPARE(readMessageFile(pipe, MyGuid).error().number, int(ErrorCode::NotRegularFile));
        QVERIFY(QDir().mkdir(folder + QStringLiteral("/z.QLIM")));
        QVERIFY(!readMessageFile(folder + QStringLiteral("/z.QLIM"), MyGuid).ok());
    }

    void writeFailures()
    {
        TestEnvironment env;
        QCOMPARE(
            writeMessageFile({}, QStringLiteral("A"), QStringLiteral("t"), MyGuid).error().number,
            int(ErrorCode::EmptyPath));
        QCOMPARE(writeMessageFile(env.path(QStringLiteral("missing")), QStringLiteral("A"),
                                  QStringLiteral("t"), MyGuid)
                     .error()
                     .number,
                 ENOENT);
        const QString file = env.touch(QStringLiteral("plain"));
        QCOMPARE(
            writeMessageFile(file, QStringLiteral("A"), QStringLiteral("t"), MyGuid).error().number,
            ENOTDIR);
    }
};

QTEST_GUILESS_MAIN(TestMessageFile)
#include "tst_messagefile.moc"
