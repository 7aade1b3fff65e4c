#include "core/links.h"
#include "core/messagetime.h"
#include "core/support.h"

#include <ctime>

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(quillet::MessageTime)

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
        QTest::newRow("controls") << u"\x01 {ID}\x7f\r\n"_s << int(TrimAll) << u"{ID}"_s;
    }
    void trimText()
    {
        QFETCH(QString, text);
        QFETCH(int, options);
        QTEST(quillet::trimText(text, TrimOptions::fromInt(options)), "expected");
    }

    // The links of a message text: where each ends, as its text, followed by
    // " => the URL opened" where that differs.
    void findsLinks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("every scheme, ends of text and sentence")
            << u"https://example.org/a?b=1&c#d ftp://f.org/x.gz mailto:a@b.ru. www.e.org/путь"_s
            << QStringList{u"https://example.org/a?b=1&c#d"_s, u"ftp://f.org/x.gz"_s,
                           u"mailto:a@b.ru"_s, u"www.e.org/путь => http://www.e.org/путь"_s};
        QTest::newRow("trailing punctuation")
            << u"http://a.org/x... http://b.org/y?! 'http://c.org/z', http://d.org/q…; "
               u"http://e.org/?a=1:"_s
            << QStringList{u"http://a.org/x"_s, u"http://b.org/y"_s, u"http://c.org/z"_s,
                           u"http://d.org/q"_s, u"http://e.org/?a=1"_s};
        QTest::newRow("Cyrillic around")
            << u"ссылка:https://ru.wikipedia.org/wiki/Москва. Смотриhttp://пример.рф/а"_s
            << QStringList{u"https://ru.wikipedia.org/wiki/Москва"_s, u"http://пример.рф/а"_s};
        QTest::newRow("other schemes, glued, bare")
            << u"file:///etc/passwd javascript:alert(1) data:text/html,x quillet://x "
               u"xhttp://a.org svn+http://b.org 2ftp://c.org mywww.d.org a@www.e.org x.www.f.org "
               u"http:// https://. mailto: www. ftp://) http://:80"_s
            << QStringList();
    }
    void findsLinks()
    {
        QFETCH(QString, text);
        QStringList links;
        for (const Link &link : quillet::findLinks(text)) {
            const QString found = text.mid(link.start, link.length);
            links.append(found == link.url.toString() ? found
                                                      : found + u" => "_s + link.url.toString());
            QVERIFY(isOpenableLink(link.url));
        }
        QTEST(links, "links");
    }

    // Only web and mail addresses are ever opened.
    void opensOnlyWebAndMail()
    {
        for (const char *url : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,x",
                                "quillet://a", "http:", "http:/path", "mailto:", "", "a.org"})
            QVERIFY2(!isOpenableLink(QUrl(QString::fromLatin1(url))), url);
        for (const char *url : {"file:///tmp/a%20b.png", "file:///%D1%84"})
            QVERIFY2(isFileLink(QUrl(QString::fromLatin1(url))), url);
        for (const char *url :
             {"file://host/etc/passwd", "file:relative", "file:///a%0Ab", "https://a.org"})
            QVERIFY2(!isFileLink(QUrl(QString::fromLatin1(url))), url);
    }

    // A received file is opened only when it cannot run: by its bits, its name,
    // its content or what it is.
    void mightRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("kind"); // 0 file, 1 executable file, 2 link to a text, 3 folder
        QTest::addColumn<bool>("runs");
        QTest::newRow("text") << u"notes.txt"_s << QByteArray("notes") << 0 << false;
        QTest::newRow("execute bit") << u"notes.txt"_s << QByteArray("notes") << 1 << true;
        QTest::newRow("desktop entry by name") << u"a.desktop"_s << QByteArray("x") << 0 << true;
        QTest::newRow("Windows program by name") << u"SETUP.EXE"_s << QByteArray("x") << 0 << true;
        QTest::newRow("script by name") << u"a.py"_s << QByteArray("x") << 0 << true;
        QTest::newRow("program by content")
            << u"a.txt"_s << QByteArray("\177ELF\2\1\1") << 0 << true;
        QTest::newRow("any interpreter") << u"a.txt"_s << QByteArray("#!/opt/tool\n") << 0 << true;
        QTest::newRow("link") << u"a.txt"_s << QByteArray("notes") << 2 << true;
        QTest::newRow("folder") << u"a.txt"_s << QByteArray() << 3 << true;
    }
    void mightRun()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(name), target = dir.filePath(u"target"_s);
        QFile file(kind == 2 ? target : path);
        if (kind == 3) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
            file.close();
        }
        if (kind == 1)
            QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
        if (kind == 2)
            QVERIFY(QFile::link(target, path));
        QTEST(quillet::mightRun(path), "runs");
    }

    // A message time is shifted by the offset in force at its own moment, not
    // today's (a winter day here): either side of the spring switch. A record that
    // names no real moment is refused and leaves the result alone.
    void utcToLocal_data()
    {
        QTest::addColumn<MessageTime>("utc");
        QTest::addColumn<MessageTime>("local"); // the result afterwards
        QTest::addColumn<bool>("ok");
        const MessageTime untouched{1, 1, 1, 1, 1, 1, 1, 1};
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
        QFETCH(bool, ok);
        qputenv("TZ", "Europe/Berlin"); // for this process only: no other test reads it
        tzset();
        Clock::setFixedUtc(QDateTime(QDate(2026, 1, 15), QTime(12, 0), Qt::UTC));
        const auto realClock = qScopeGuard([] { Clock::reset(); });
        MessageTime result{1, 1, 1, 1, 1, 1, 1, 1};
        QCOMPARE(quillet::utcToLocal(utc, result).ok(), ok);
        QTEST(result, "local");
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
