#include "exchange/messagefile.h"
#include "testsupport.h"

#include <QStringEncoder>

#include "core/support.h"

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
