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
    void trimText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("options");
        QTest::addColumn<QString>("expected");
        QTest::newRow("names") << u" \t\u00A0Иван\r\n \r\n"_s << int(TrimBlanksAndBreaks)
                               << u"Иван"_s;
        QTest::newRow("breaks only") << u"\r\n  hi  \r\n"_s << int(TrimBreaks) << u"  hi  "_s;
        QTest::newRow("blanks only") << u" \r\nhi\r\n "_s << int(TrimBlanks) << u"\r\nhi\r\n"_s;
        QTest::newRow("inner kept") << u"a\r\n\r\nb"_s << int(TrimAll) << u"a\r\n\r\nb"_s;
        QTest::newRow("controls") << u"\x01 {GUID}\x7f\r\n"_s << int(TrimAll) << u"{GUID}"_s;
        QTest::newRow("controls kept") << u"\x01x"_s << int(TrimBlanksAndBreaks) << u"\x01x"_s;
        QTest::newRow("leading only")
            << u"  x  "_s << int(TrimOptions(TrimOption::LeadingBlanks)) << u"x  "_s;
    }

    void trimText()
    {
        QFETCH(QString, text);
        QFETCH(int, options);
        QFETCH(QString, expected);
        QCOMPARE(quillet::trimText(text, TrimOptions::fromInt(options)), expected);
    }

    void paths()
    {
        QCOMPARE(parentFolder(u"/team.QLIMChat"_s), u"/"_s);
        QCOMPARE(parentFolder(u"team.QLIMChat"_s), QString());
        QCOMPARE(fileExtension(u"/a.b/Семья"_s), QString());
        QCOMPARE(joinPath(u"/data/"_s, u"\\Greyhollow Studios\\Logs"_s),
                 u"/data/Greyhollow Studios/Logs"_s);
        QCOMPARE(absolutePath(u"sub/../chat.QLIMChat"_s),
                 QDir::currentPath() + u"/chat.QLIMChat"_s);
        TestEnvironment env;
        QCOMPARE(autostartFolder(), env.path(u"config/autostart"_s));
        qputenv("XDG_DATA_HOME", "relative/is/ignored");
        QCOMPARE(dataHomeFolder(), env.path(u"home/.local/share"_s));
        QVERIFY(fileExists(env.touch(u"x.QLIMChat"_s)));
        QVERIFY(!fileExists(env.chats()));
        QVERIFY(makePath(env.path(u"a/b/c"_s)).ok());
        QVERIFY(makePath(env.path(u"a/b/c"_s)).ok()); // already there
        QCOMPARE(makePath(env.path(u"x.QLIMChat/sub"_s)).error().number, ENOTDIR);
        QVERIFY(QRegularExpression(u"^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$"_s)
                    .match(newGuid())
                    .hasMatch());
    }

    void byteSizes_data()
    {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << 1023.0 << u"1023 байт"_s;
        QTest::newRow("two decimals") << 1024.0 << u"1,00 КБ"_s;
        QTest::newRow("one decimal") << 15.2 * 1024 * 1024 << u"15,2 МБ"_s;
        QTest::newRow("no decimals") << 120.0 * 1024 << u"120 КБ"_s;
        QTest::newRow("rounds up into the next unit") << 999.9 * 1024 << u"0,98 МБ"_s;
    }

    void byteSizes()
    {
        QFETCH(double, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatByteSize(bytes), text);
    }

    // A summer time is shifted by the offset in force now, as the program
    // always has; a record that is no real moment is refused and left alone.
    void utcToLocalUsesTheCurrentOffset()
    {
        qputenv("TZ", "Europe/Berlin");
        Clock::setFixedUtc(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
        MessageTime local;
        QVERIFY(utcToLocal(MessageTime{2026, 7, 0, 1, 23, 30, 0, 5}, local).ok());
        QCOMPARE(local, (MessageTime{2026, 7, 4, 2, 0, 30, 0, 5}));
        MessageTime untouched{1, 1, 1, 1, 1, 1, 1, 1};
        QCOMPARE(utcToLocal(MessageTime{2012, 2, 0, 30, 0, 0, 0, 0}, untouched).error().number,
                 int(ErrorCode::BadTime));
        QCOMPARE(untouched, (MessageTime{1, 1, 1, 1, 1, 1, 1, 1}));
        QCOMPARE(formatTime(local), u"00:30:00"_s);
        QCOMPARE(formatDate(local, 0), u"02.07.2026"_s);
        Clock::reset();
        qunsetenv("TZ");
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
