#include "core/messagetime.h"
#include "core/support.h"

#include <ctime>

#include <QScopeGuard>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(quillet::MessageTime)

namespace {

// The local time zone set for one scope; the one before comes back however
// the scope is left.
class LocalZone
{
public:
    explicit LocalZone(const char *zone)
        : m_saved(qgetenv("TZ")), m_wasSet(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone()
    {
        if (m_wasSet)
            qputenv("TZ", m_saved);
        else
            qunsetenv("TZ");
        tzset();
    }
    Q_DISABLE_COPY_MOVE(LocalZone)

private:
    QByteArray m_saved;
    bool m_wasSet;
};

} // namespace

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

    // A message time is shifted by the offset in force at its own moment, not
    // today's (a winter day here): summer and winter, either side of the spring
    // switch. A record that names no real moment is refused and leaves the
    // result alone.
    void utcToLocal_data()
    {
        QTest::addColumn<MessageTime>("utc");
        QTest::addColumn<MessageTime>("local"); // the result afterwards
        QTest::addColumn<bool>("ok");
        const MessageTime untouched{1, 1, 1, 1, 1, 1, 1, 1};
        QTest::newRow("summer") << MessageTime{2026, 7, 0, 1, 23, 30, 0, 5}
                                << MessageTime{2026, 7, 4, 2, 1, 30, 0, 5} << true;
        QTest::newRow("winter") << MessageTime{2026, 1, 0, 15, 23, 30, 0, 0}
                                << MessageTime{2026, 1, 5, 16, 0, 30, 0, 0} << true;
        QTest::newRow("before the switch") << MessageTime{2026, 3, 0, 29, 0, 59, 59, 999}
                                           << MessageTime{2026, 3, 0, 29, 1, 59, 59, 999} << true;
        QTest::newRow("after the switch") << MessageTime{2026, 3, 0, 29, 1, 0, 0, 0}
                                          << MessageTime{2026, 3, 0, 29, 3, 0, 0, 0} << true;
        QTest::newRow("30 February")
            << MessageTime{2012, 2, 0, 30, 0, 0, 0, 0} << untouched << false;
        QTest::newRow("millisecond 1000")
            << MessageTime{2012, 3, 0, 3, 9, 5, 7, 1000} << untouched << false;
    }
    void utcToLocal()
    {
        QFETCH(MessageTime, utc);
        QFETCH(MessageTime, local);
        QFETCH(bool, ok);
        const LocalZone berlin("Europe/Berlin");
        Clock::setFixedUtc(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
        const auto realClock = qScopeGuard([] { Clock::reset(); });
        MessageTime result{1, 1, 1, 1, 1, 1, 1, 1};
        const Status converted = quillet::utcToLocal(utc, result);
        QCOMPARE(converted.ok(), ok);
        if (!ok)
            QCOMPARE(converted.error().number, int(ErrorCode::BadTime));
        QCOMPARE(result, local);
    }

    // Russian counts take the singular after 1 (not 11), the paucal after 2
    // to 4 (not 12 to 14), the plural otherwise.
    void newMessagesText_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        for (int count : {1, 21, 101, 1001})
            QTest::addRow("%d", count) << count << QString::number(count) + u" новое сообщение"_s;
        for (int count : {2, 3, 4, 22, 104})
            QTest::addRow("%d", count) << count << QString::number(count) + u" новых сообщения"_s;
        for (int count : {5, 11, 12, 14, 20, 111, 112, 1000})
            QTest::addRow("%d", count) << count << QString::number(count) + u" новых сообщений"_s;
    }
    void newMessagesText()
    {
        QFETCH(int, count);
        QTEST(quillet::newMessagesText(count), "text");
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
