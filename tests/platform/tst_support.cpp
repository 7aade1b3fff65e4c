#include "core/support.h"
#include "core/messagetime.h"
#include "testenv.h"

#include <QRegularExpression>
#include <QTest>

using namespace quillet;

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
        QTest::newRow("names") << QStringLiteral(" \t\u00A0Иван\r\n ") << names
                               << QStringLiteral("Иван");
        QTest::newRow("mixed ends")
            << QStringLiteral("\r\n  \r\n x y \r\n\t") << names << QStringLiteral("x y");
        QTest::newRow("breaks only keep blanks") << QStringLiteral("\r\n  hello  \r\n")
                                                 << int(TrimBreaks) << QStringLiteral("  hello  ");
        QTest::newRow("blanks only keep breaks")
            << QStringLiteral(" \r\nhi\r\n ") << int(TrimBlanks) << QStringLiteral("\r\nhi\r\n");
        QTest::newRow("only blanks and breaks")
            << QStringLiteral(" \r\n\t \n\r ") << names << QString();
        QTest::newRow("inner kept")
            << QStringLiteral("a\r\n\r\nb") << names << QStringLiteral("a\r\n\r\nb");
        QTest::newRow("controls") << QStringLiteral("\x01 {GUID}\x7f\r\n") << int(TrimAll)
                                  << QStringLiteral("{GUID}");
        QTest::newRow("controls off")
            << QStringLiteral("\x01x") << names << QStringLiteral("\x01x");
        QTest::newRow("leading only")
            << QStringLiteral("  x  ") << int(TrimOptions(TrimOption::LeadingBlanks))
            << QStringLiteral("x  ");
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
        QCOMPARE(parentFolder(QStringLiteral("/home/u/Chat/team.QLIMChat")),
                 QStringLiteral("/home/u/Chat"));
        QCOMPARE(parentFolder(QStringLiteral("/team.QLIMChat")), QStringLiteral("/"));
        QCOMPARE(parentFolder(QStringLiteral("team.QLIMChat")), QString());
        QCOMPARE(fileNameOf(QStringLiteral("/a/b/Беседа.QLIMChat")),
                 QStringLiteral("Беседа.QLIMChat"));
        QCOMPARE(fileExtension(QStringLiteral("Беседа.QLIMChat.desktop")),
                 QStringLiteral("desktop"));
        QCOMPARE(fileExtension(QStringLiteral("/a.b/Семья")), QString());
        QCOMPARE(dropRight(QStringLiteral("abc"), 5), QString());
        QCOMPARE(joinPath(QStringLiteral("/data/"), QStringLiteral("/x")),
                 QStringLiteral("/data/x"));
        QCOMPARE(joinPath(QStringLiteral("/data"),
                                 QStringLiteral("Greyhollow Studios\\Quillet IM\\Logs")),
                 QStringLiteral("/data/Greyhollow Studios/Quillet IM/Logs"));
        const QString cwd = QDir::currentPath();
        QCOMPARE(absolutePath(QStringLiteral("sub/../chat.QLIMChat")),
                 cwd + QStringLiteral("/chat.QLIMChat"));
        QCOMPARE(absolutePath(QString()), QString());
    }

    void specialFoldersFollowXdg()
    {
        TestEnvironment env;
        QCOMPARE(dataHomeFolder(), env.path(QStringLiteral("data")));
        QCOMPARE(autostartFolder(), env.path(QStringLiteral("config/autostart")));
        qputenv("XDG_DATA_HOME", "relative/is/ignored");
        QCOMPARE(dataHomeFolder(), env.path(QStringLiteral("home/.local/share")));
    }

    void createComplexDirectory()
    {
        TestEnvironment env;
        const QString deep = env.path(QStringLiteral("a/b/c/d"));
        QVERIFY(makePath(deep).ok());
        QVERIFY(QFileInfo(deep).isDir());
        QVERIFY(makePath(deep).ok()); // already there
        env.touch(QStringLiteral("file"));
        const Status blocked = makePath(env.path(QStringLiteral("file/sub")));
        QVERIFY(!blocked.ok());
        QCOMPARE(blocked.error().number, ENOTDIR);
        QVERIFY(!blocked.error().description.isEmpty());
        QVERIFY(!makePath(QString()).ok());
    }

    void fileExistence()
    {
        TestEnvironment env;
        QVERIFY(fileExists(env.touch(QStringLiteral("x.QLIMChat"))));
        QVERIFY(!fileExists(env.chats()));
        QVERIFY(!fileExists(env.path(QStringLiteral("missing"))));
        QVERIFY(!fileExists(QString()));
    }

    void guidText()
    {
        const QRegularExpression form(
            QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
        const QString a = newGuid();
        QVERIFY2(form.match(a).hasMatch(), qPrintable(a));
        QVERIFY(a != newGuid());
    }

    void byteSizes_data()
    {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << QStringLiteral("0 байт");
        QTest::newRow("512") << 512.0 << QStringLiteral("512 байт");
        QTest::newRow("1023") << 1023.0 << QStringLiteral("1023 байт");
        QTest::newRow("1 KiB") << 1024.0 << QStringLiteral("1,00 КБ");
        QTest::newRow("15.2 MiB") << 15.2 * 1024 * 1024 << QStringLiteral("15,2 МБ");
        QTest::newRow("3.41 GiB") << 3.41 * 1024 * 1024 * 1024 << QStringLiteral("3,41 ГБ");
        QTest::newRow("999.9 KiB rounds up") << 999.9 * 1024 << QStringLiteral("0,98 МБ");
        QTest::newRow("120 KiB") << 120.0 * 1024 << QStringLiteral("120 КБ");
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
        QCOMPARE(formatTime(t), QStringLiteral("09:03:04"));
        QCOMPARE(formatDate(t, 0), QStringLiteral("05.12.2026"));
        QCOMPARE(formatClockTime(QDateTime(QDate(2026, 1, 2), QTime(23, 5, 0))),
                 QStringLiteral("23:05:00"));
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
        QCOMPARE(e.description, QStringLiteral("Файл или папка не найдены."));
        QVERIFY(!Error::fromErrno(12345).description.isEmpty());
        QCOMPARE(Error::make(ErrorCode::FileTooLarge).number, 1001);
    }
};

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
