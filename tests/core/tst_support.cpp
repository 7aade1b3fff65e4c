#include "core/links.h"
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

    // The links of a message text: where each ends, as "its text => the URL opened".
    void findsLinks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("http, query and fragment")
            << u"см. http://example.org/a?b=1&c#d тут"_s
            << QStringList{u"http://example.org/a?b=1&c#d => http://example.org/a?b=1&c#d"_s};
        QTest::newRow("https and ftp at the ends")
            << u"https://example.org\tftp://files.example.org/pub/x.tar.gz"_s
            << QStringList{u"https://example.org => https://example.org"_s,
                           u"ftp://files.example.org/pub/x.tar.gz => "
                           u"ftp://files.example.org/pub/x.tar.gz"_s};
        QTest::newRow("mailto before a full stop")
            << u"пиши mailto:ivan@example.ru."_s
            << QStringList{u"mailto:ivan@example.ru => mailto:ivan@example.ru"_s};
        QTest::newRow("www opens as http")
            << u"зайди на www.example.org/путь, там"_s
            << QStringList{u"www.example.org/путь => http://www.example.org/путь"_s};
        QTest::newRow("letter case")
            << u"HTTPS://Example.ORG/Path и WWW.Example.org MailTo:a@b.ru"_s
            << QStringList{u"HTTPS://Example.ORG/Path => https://example.org/Path"_s,
                           u"WWW.Example.org => http://www.example.org"_s,
                           u"MailTo:a@b.ru => mailto:a@b.ru"_s};
        QTest::newRow("trailing punctuation")
            << u"http://a.org/x... http://b.org/y?! 'http://c.org/z', http://d.org/q…; "
               u"http://e.org/?a=1:"_s
            << QStringList{
                   u"http://a.org/x => http://a.org/x"_s, u"http://b.org/y => http://b.org/y"_s,
                   u"http://c.org/z => http://c.org/z"_s, u"http://d.org/q => http://d.org/q"_s,
                   u"http://e.org/?a=1 => http://e.org/?a=1"_s};
        QTest::newRow("brackets with partners inside")
            << u"(see http://x.org/a_(b)) [http://y.org/[1]/{2}]."_s
            << QStringList{u"http://x.org/a_(b) => http://x.org/a_(b)"_s,
                           u"http://y.org/[1]/{2} => http://y.org/[1]/%7B2%7D"_s};
        QTest::newRow("closing brackets without partners")
            << u"(http://x.org/a), [www.y.org] {http://z.org/c.}"_s
            << QStringList{u"http://x.org/a => http://x.org/a"_s,
                           u"www.y.org => http://www.y.org"_s,
                           u"http://z.org/c => http://z.org/c"_s};
        QTest::newRow("quotes") << u"«http://x.org/a» <http://y.org/b> \"http://z.org/c\""_s
                                << QStringList{u"http://x.org/a => http://x.org/a"_s,
                                               u"http://y.org/b => http://y.org/b"_s,
                                               u"http://z.org/c => http://z.org/c"_s};
        QTest::newRow("other schemes")
            << u"file:///etc/passwd javascript:alert(1) data:text/html,x quillet://x"_s
            << QStringList();
        QTest::newRow("glued to another scheme or name")
            << u"xhttp://a.org svn+http://b.org 2ftp://c.org mywww.d.org a@www.e.org x.www.f.org"_s
            << QStringList();
        QTest::newRow("bare schemes")
            << u"http:// https://. mailto: www. ftp://) http://:80"_s << QStringList();
        QTest::newRow("white space of every kind ends it")
            << u"http://a.org\u00A0x http://b.org\u2028y http://c.org\u200Bz"_s
            << QStringList{u"http://a.org => http://a.org"_s, u"http://b.org => http://b.org"_s,
                           u"http://c.org => http://c.org"_s};
        QTest::newRow("Cyrillic around")
            << u"ссылка:https://ru.wikipedia.org/wiki/Москва. Смотриhttp://пример.рф/а"_s
            << QStringList{u"https://ru.wikipedia.org/wiki/Москва => "
                           u"https://ru.wikipedia.org/wiki/Москва"_s,
                           u"http://пример.рф/а => http://пример.рф/а"_s};
    }
    void findsLinks()
    {
        QFETCH(QString, text);
        QStringList links;
        for (const Link &link : quillet::findLinks(text)) {
            links.append(text.mid(link.start, link.length) + u" => "_s + link.url.toString());
            QVERIFY(isOpenableLink(link.url));
        }
        QTEST(links, "links");
    }

    // Only web and mail addresses are ever opened, however they are written.
    void opensOnlyWebAndMail()
    {
        for (const char *url : {"http://a.org", "HTTPS://a.org", "ftp://a.org/x", "mailto:a@b.ru"})
            QVERIFY2(isOpenableLink(QUrl(QString::fromLatin1(url))), url);
        for (const char *url : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,x",
                                "quillet://a", "http:", "http:/path", "mailto:", "", "a.org"})
            QVERIFY2(!isOpenableLink(QUrl(QString::fromLatin1(url))), url);
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
