#include "core/messagetime.h"
#include "core/support.h"
#include "testsupport.h"

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
        QTest::newRow("breaks only") << u"\r\n  hi\r\n"_s << int(TrimBreaks) << u"  hi"_s;
        QTest::newRow("inner kept") << u"a\r\n\r\nb"_s << int(TrimAll) << u"a\r\n\r\nb"_s;
        QTest::newRow("controls") << u"\x01 {GUID}\x7f"_s << int(TrimAll) << u"{GUID}"_s;
        QTest::newRow("leading only")
            << u" x "_s << int(TrimOptions(TrimOption::LeadingBlanks)) << u"x "_s;
    }
    void trimText()
    {
        QFETCH(QString, text);
        QFETCH(int, options);
        QFETCH(QString, expected);
        QCOMPARE(quillet::trimText(text, TrimOptions::fromInt(options)), expected);
    }

    // Paths and folders; a file where a folder is expected.
    void paths()
    {
        TestEnvironment env;
        QCOMPARE(joinPath(u"/data/"_s, u"\\Greyhollow Studios\\Logs"_s),
                 u"/data/Greyhollow Studios/Logs"_s);
        QCOMPARE(parentFolder(u"/team.QLIMChat"_s), u"/"_s);
        QCOMPARE(absolutePath(u"sub/../chat"_s), QDir::currentPath() + u"/chat"_s);
        QCOMPARE(autostartFolder(), env.path(u"config/autostart"_s));
        qputenv("XDG_DATA_HOME", "relative/is/ignored");
        QCOMPARE(dataHomeFolder(), env.path(u"home/.local/share"_s));
        QVERIFY(fileExists(env.touch(u"x"_s)) && !fileExists(env.chats()));
        QVERIFY(makePath(env.path(u"a/b"_s)).ok() && makePath(env.path(u"a/b"_s)).ok());
        QCOMPARE(makePath(env.path(u"x/sub"_s)).error().number, ENOTDIR);
    }

    void byteSizes()
    {
        QCOMPARE(formatByteSize(1023), u"1023 байт"_s);
        QCOMPARE(formatByteSize(1024), u"1,00 КБ"_s);
        QCOMPARE(formatByteSize(15.2 * 1024 * 1024), u"15,2 МБ"_s);
        QCOMPARE(formatByteSize(999.9 * 1024), u"0,98 МБ"_s);
    }

    // A summer time is shifted by the offset in force now; a record that is no
    // real moment is refused and left alone.
    void utcToLocalUsesTheCurrentOffset()
    {
        qputenv("TZ", "Europe/Berlin");
        Clock::setFixedUtc(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
        MessageTime local;
        QVERIFY(utcToLocal(MessageTime{2026, 7, 0, 1, 23, 30, 0, 5}, local).ok());
        QCOMPARE(local, (MessageTime{2026, 7, 4, 2, 0, 30, 0, 5}));
        QCOMPARE(utcToLocal(MessageTime{2012, 2, 0, 30, 0, 0, 0, 0}, local).error().number,
                 int(ErrorCode::BadTime));
        QCOMPARE(local, (MessageTime{2026, 7, 4, 2, 0, 30, 0, 5}));
        Clock::reset();
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
