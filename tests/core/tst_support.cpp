#include "core/messagetime.h"
#include "core/support.h"

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
        const int both = int(TrimBlanksAndBreaks);
        QTest::newRow("both kinds, inner kept")
            << u" \t\u00A0a\r\n\r\nb \r\n"_s << both << u"a\r\n\r\nb"_s;
        QTest::newRow("nothing left") << u" \r\n\t \n\r "_s << both << QString();
        QTest::newRow("breaks keep blanks")
            << u"\r\n  hi  \r\n"_s << int(TrimBreaks) << u"  hi  "_s;
        QTest::newRow("blanks keep breaks")
            << u" \r\nhi\r\n "_s << int(TrimBlanks) << u"\r\nhi\r\n"_s;
        QTest::newRow("controls") << u"\x01 {ID}\x7f\r\n"_s << int(TrimAll) << u"{ID}"_s;
        QTest::newRow("controls kept") << u"\x01x"_s << both << u"\x01x"_s;
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

    // Message times are shifted by today's offset, whatever their date; a record
    // that names no real moment is refused and leaves the result alone.
    void utcToLocalUsesTodaysOffset()
    {
        qputenv("TZ", "Europe/Berlin");
        Clock::setFixedUtc(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC)); // winter, +1
        MessageTime local;
        QVERIFY(utcToLocal(MessageTime{2026, 7, 0, 1, 23, 30, 0, 5}, local).ok());
        QCOMPARE(local, (MessageTime{2026, 7, 4, 2, 0, 30, 0, 5}));
        for (const MessageTime &bad :
             {MessageTime{2012, 2, 0, 30, 0, 0, 0, 0}, MessageTime{2012, 3, 0, 3, 9, 5, 7, 1000}}) {
            MessageTime untouched{1, 1, 1, 1, 1, 1, 1, 1};
            const Status refused = utcToLocal(bad, untouched);
            QVERIFY(!refused.ok());
            QCOMPARE(refused.error().number, int(ErrorCode::BadTime));
            QCOMPARE(untouched, (MessageTime{1, 1, 1, 1, 1, 1, 1, 1}));
        }
        Clock::reset();
        qunsetenv("TZ");
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
