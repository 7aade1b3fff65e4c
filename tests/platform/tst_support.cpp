#include "core/messagetime.h"
#include "core/support.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestSupport : public QObject
{
    Q_OBJECT

private slots:
    void trimEx2_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("options");
        QTest::addColumn<QString>("expected");
        const int names = int(TrimBlanksAndBreaks);
        QTest::newRow("names") << u" \t\u00A0Иван\r\n "_s << names << u"Иван"_s;
        QTest::newRow("mixed ends") << u"\r\n  \r\n x y \r\n\t"_s << names << u"x y"_s;
        QTest::newRow("breaks only keep blanks")
            << u"\r\n  hello  \r\n"_s << int(TrimBreaks) << u"  hello  "_s;
        QTest::newRow("blanks only keep breaks")
            << u" \r\nhi\r\n "_s << int(TrimBlanks) << u"\r\nhi\r\n"_s;
        QTest::newRow("only blanks and breaks") << u" \r\n\t \n\r "_s << names << QString();
        QTest::newRow("inner kept") << u"a\r\n\r\nb"_s << names << u"a\r\n\r\nb"_s;
        QTest::newRow("controls") << u"\x01 {GUID}\x7f\r\n"_s << int(TrimAll) << u"{GUID}"_s;
        QTest::newRow("controls off") << u"\x01x"_s << names << u"\x01x"_s;
        QTest::newRow("leading only")
            << u"  x  "_s << int(TrimOptions(TrimOption::LeadingBlanks)) << u"x  "_s;
    }

    void trimEx2()
    {
        QFETCH(QString, text);
        QFETCH(int, options);
        QFETCH(QString, expected);
        QCOMPARE(trimText(text, TrimOptions::fromInt(options)), expected);
    }

    void pathParts()
    {
        QCOMPARE(parentFolder(u"/home/u/Chat/team.QLIMChat"_s), u"/home/u/Chat"_s);
        QCOMPARE(parentFolder(u"/team.QLIMChat"_s), u"/"_s);
        QCOMPARE(parentFolder(u"team.QLIMChat"_s), QString());
        QCOMPARE(fileNameOf(u"/a/b/Беседа.QLIMChat"_s), u"Беседа.QLIMChat"_s);
        QCOMPARE(fileExtension(u"Беседа.QLIMChat.desktop"_s), u"desktop"_s);
        QCOMPARE(fileExtension(u"/a.b/Семья"_s), QString());
        QCOMPARE(dropRight(u"abc"_s, 5), QString());
        QCOMPARE(joinPath(u"/data/"_s, u"/x"_s), u"/data/x"_s);
        QCOMPARE(joinPath(u"/data"_s, u"Greyhollow Studios\\Quillet IM\\Logs"_s),
                 u"/data/Greyhollow Studios/Quillet IM/Logs"_s);
        const QString cwd = QDir::currentPath();
        QCOMPARE(absolutePath(u"sub/../chat.QLIMChat"_s), cwd + u"/chat.QLIMChat"_s);
        QCOMPARE(absolutePath(QString()), QString());
    }

    void specialFoldersFollowXdg()
    {
        TestEnvironment env;
        QCOMPARE(dataHomeFolder(), env.path(u"data"_s));
        QCOMPARE(autostartFolder(), env.path(u"config/autostart"_s));
        qputenv("XDG_DATA_HOME", "relative/is/ignored");
        QCOMPARE(dataHomeFolder(), env.path(u"home/.local/share"_s));
    }

    void createComplexDirectory()
    {
        TestEnvironment env;
        const QString deep = env.path(u"a/b/c/d"_s);
        QVERIFY(makePath(deep).ok());
        QVERIFY(QFileInfo(deep).isDir());
        QVERIFY(makePath(deep).ok()); // already there
        env.touch(u"file"_s);
        const Status blocked = makePath(env.path(u"file/sub"_s));
        QVERIFY(!blocked.ok());
        QCOMPARE(blocked.error().number, ENOTDIR);
        QVERIFY(!blocked.error().description.isEmpty());
        QVERIFY(!makePath(QString()).ok());
    }

    void fileExistence()
    {
        TestEnvironment env;
        QVERIFY(fileExists(env.touch(u"x.QLIMChat"_s)));
        QVERIFY(!fileExists(env.chats()));
        QVERIFY(!fileExists(env.path(u"missing"_s)));
        QVERIFY(!fileExists(QString()));
    }

    void guidText()
    {
        const QRegularExpression form(
            u"^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"_s);
        const QString a = newGuid();
        QVERIFY2(form.match(a).hasMatch(), qPrintable(a));
        QVERIFY(a != newGuid());
    }

    void byteSizes_data()
    {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << u"0 байт"_s;
        QTest::newRow("512") << 512.0 << u"512 байт"_s;
        QTest::newRow("1023") << 1023.0 << u"1023 байт"_s;
        QTest::newRow("1 KiB") << 1024.0 << u"1,00 КБ"_s;
        QTest::newRow("15.2 MiB") << 15.2 * 1024 * 1024 << u"15,2 МБ"_s;
        QTest::newRow("3.41 GiB") << 3.41 * 1024 * 1024 * 1024 << u"3,41 ГБ"_s;
        QTest::newRow("999.9 KiB rounds up") << 999.9 * 1024 << u"0,98 МБ"_s;
        QTest::newRow("120 KiB") << 120.0 * 1024 << u"120 КБ"_s;
    }

    void byteSizes()
    {
        QFETCH(double, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatByteSize(bytes), text);
    }

    void timeTexts()
    {
        MessageTime t;
        t.year = 2026;
        t.month = 12;
        t.day = 5;
        t.hour = 9;
        t.minute = 3;
        t.second = 4;
        QCOMPARE(formatTime(t), u"09:03:04"_s);
        QCOMPARE(formatDate(t, 0), u"05.12.2026"_s);
        QCOMPARE(formatClockTime(QDateTime(QDate(2026, 1, 2), QTime(23, 5, 0))), u"23:05:00"_s);
    }

    void utcToLocalUsesTheCurrentOffset()
    {
        qputenv("TZ", "Europe/Berlin");
        // Winter now (+1): a summer date is still shifted by one hour.
        Clock::setFixedUtc(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
        MessageTime summer{2026, 7, 0, 1, 23, 30, 0, 5};
        MessageTime local;
        QVERIFY(utcToLocal(summer, local).ok());
        QCOMPARE(local, (MessageTime{2026, 7, 4, 2, 0, 30, 0, 5}));

        for (const MessageTime &bad :
             {MessageTime{2012, 13, 0, 1, 0, 0, 0, 0}, MessageTime{2012, 2, 0, 30, 0, 0, 0, 0},
              MessageTime{2012, 3, 0, 3, 24, 0, 0, 0}, MessageTime{2012, 3, 0, 3, 9, 5, 7, 1000}}) {
            MessageTime untouched{1, 1, 1, 1, 1, 1, 1, 1};
            const Status status = utcToLocal(bad, untouched);
            QVERIFY(!status.ok());
            QCOMPARE(status.error().number, int(ErrorCode::BadTime));
            QCOMPARE(untouched, (MessageTime{1, 1, 1, 1, 1, 1, 1, 1}));
        }
        Clock::reset();
        qunsetenv("TZ");
    }

    void errorsHaveRussianDescriptions()
    {
        const Error e = Error::fromErrno(ENOENT);
        QCOMPARE(e.number, ENOENT);
        QCOMPARE(e.description, u"Файл или папка не найдены."_s);
        QVERIFY(!Error::fromErrno(12345).description.isEmpty());
        QCOMPARE(Error::make(ErrorCode::FileTooLarge).number, 1001);
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
