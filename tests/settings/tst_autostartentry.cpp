#include "settings/autostartentry.h"
#include "desktopentryreader.h"
#include "testenv.h"

#include <QTest>

using namespace quillet;

// The autostart entry must start exactly the executable with /H and the chat
// file, whatever characters the paths hold, and pass desktop-file-validate.
class TestAutostartEntry : public QObject
{
    Q_OBJECT

private:
    static AutostartEntry entryFor(const QString &executable, const QString &chat)
    {
        const qsizetype slash = chat.lastIndexOf(QLatin1Char('/'));
        return {QStringLiteral("Беседа"), executable,         {QStringLiteral("/H")}, chat,
                chat.left(slash),         autostartIconName()};
    }

private slots:
    void execGivesBackEveryArgument_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("chat");
        const QString exe = QStringLiteral("/usr/bin/quillet-im");
        QTest::newRow("plain") << exe << QStringLiteral("/srv/chat/team.QLIMChat");
        QTest::newRow("blanks") << exe << QStringLiteral("/srv/my chats/  two  blanks .QLIMChat");
        QTest::newRow("double quotes") << exe << QStringLiteral("/srv/\"q\"/say \"hi\".QLIMChat");
        QTest::newRow("single quotes") << exe << QStringLiteral("/srv/it's/o'clock.QLIMChat");
        QTest::newRow("dollar") << exe << QStringLiteral("/srv/$HOME/${x}$(id).QLIMChat");
        QTest::newRow("backslash") << exe << QStringLiteral("/srv/a\\b/c\\\\d\\.QLIMChat");
        QTest::newRow("backslash before quote") << exe << QStringLiteral("/srv/x\\\"y\\.QLIMChat");
        QTest::newRow("backtick") << exe << QStringLiteral("/srv/`rm -rf x`/a.QLIMChat");
        QTest::newRow("percent") << exe << QStringLiteral("/srv/100%/%f %U %%.QLIMChat");
        QTest::newRow("cyrillic") << exe << QStringLiteral("/srv/Чат с семьёй/Беседа.QLIMChat");
        QTest::newRow("shell specials")
            << exe << QStringLiteral("/srv/a&b|c;d<e>f~g*h?i#j(k).QLIMChat");
        QTest::newRow("tab and newline") << exe << QStringLiteral("/srv/a\tb/c\nd.QLIMChat");
        QTest::newRow("leading blank") << exe << QStringLiteral("/srv/ x/ y.QLIMChat");
        QTest::newRow("trailing blank and odd spaces")
            << exe << QStringLiteral("/srv/x /y\u00a0\u2028.QLIMChat ");
        QTest::newRow("everything") << QStringLiteral("/opt/Quillet IM $1/bin/quillet \"im\"")
                                    << QStringLiteral("/srv/\"`$\\%' Чат\\\\\"/Б $x \\n.QLIMChat");
        QTest::newRow("executable with percent")
            << QStringLiteral("/opt/100%/quillet-im") << QStringLiteral("/srv/a.QLIMChat");
    }

    void execGivesBackEveryArgument()
    {
        QFETCH(QString, executable);
        QFETCH(QString, chat);
        TestEnvironment env;
        const QString path = env.path(QStringLiteral("autostart/Беседа.QLIMChat.desktop"));
        const AutostartEntry entry = entryFor(executable, chat);
        QVERIFY(writeAutostartEntry(path, entry).ok());

        const auto keys = DesktopEntryReader::readEntry(path);
        QVERIFY(keys.has_value());
        QCOMPARE(keys->value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(keys->value(QStringLiteral("Icon")), QStringLiteral("quillet-im"));
        QCOMPARE(keys->value(QStringLiteral("Name")), QStringLiteral("Беседа"));
        QCOMPARE(keys->value(QStringLiteral("Path")), entry.workingDirectory);
        const auto arguments = DesktopEntryReader::splitExec(keys->value(QStringLiteral("Exec")));
        QVERIFY2(arguments.has_value(), qPrintable(keys->value(QStringLiteral("Exec"))));
        QCOMPARE(*arguments, (QStringList{executable, QStringLiteral("/H"), chat}));

        const QString complaints = DesktopEntryReader::validate(path);
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
    }

    // The chat file is always quoted, even when it needs no quoting.
    void chatFileIsQuoted()
    {
        const Result<QByteArray> text = desktopEntryText(entryFor(
            QStringLiteral("/usr/bin/quillet-im"), QStringLiteral("/srv/chat/team.QLIMChat")));
        QVERIFY(text.ok());
        QVERIFY(
            text.value().contains("\nExec=/usr/bin/quillet-im /H \"/srv/chat/team.QLIMChat\"\n"));
    }

    void uncarriedCharactersAreRefused_data()
    {
        QTest::addColumn<QString>("chat");
        QTest::newRow("NUL") << QStringLiteral("/srv/a") + QChar(0) + QStringLiteral("b.QLIMChat");
        QTest::newRow("escape") << QStringLiteral("/srv/a\x1b[31m.QLIMChat");
        QTest::newRow("bell") << QStringLiteral("/srv/\x07.QLIMChat");
    }

    void uncarriedCharactersAreRefused()
    {
        QFETCH(QString, chat);
        TestEnvironment env;
        const QString path = env.path(QStringLiteral("autostart/x.desktop"));
        const Status written = writeAutostartEntry(path, entryFor(QStringLiteral("/bin/q"), chat));
        QVERIFY(!written.ok());
        QVERIFY(!written.error().description.isEmpty());
        QVERIFY(!QFileInfo::exists(path));
    }

    // A backslash is an ordinary character of a file name here.
    void backslashInTheEntryName()
    {
        TestEnvironment env;
        const QString path = env.path(QStringLiteral("autostart/a\\b.QLIMChat.desktop"));
        QVERIFY(writeAutostartEntry(
                    path, entryFor(QStringLiteral("/bin/q"), QStringLiteral("/s/a\\b.QLIMChat")))
                    .ok());
        QCOMPARE(QDir(env.path(QStringLiteral("autostart"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("a\\b.QLIMChat.desktop")});
    }

    void missingFolderIsCreated()
    {
        TestEnvironment env;
        const QString path = env.path(QStringLiteral("config/autostart/deep/x.desktop"));
        QVERIFY(writeAutostartEntry(
                    path, entryFor(QStringLiteral("/bin/q"), QStringLiteral("/srv/a.QLIMChat")))
                    .ok());
        QVERIFY(QFileInfo(path).isFile());
    }

    void fileInPlaceOfFolderFails()
    {
        TestEnvironment env;
        env.touch(QStringLiteral("config/autostart"), "not a folder");
        const Status written = writeAutostartEntry(
            env.path(QStringLiteral("config/autostart/x.desktop")),
            entryFor(QStringLiteral("/bin/q"), QStringLiteral("/s/a.QLIMChat")));
        QVERIFY(!written.ok());
        QCOMPARE(TestEnvironment::readAll(env.path(QStringLiteral("config/autostart"))),
                 QStringLiteral("not a folder"));
    }

    // Replacing an entry leaves no temporary file behind and replaces it whole.
    void replacingIsAtomic()
    {
        TestEnvironment env;
        const QString path =
            env.touch(QStringLiteral("autostart/a.desktop"), QByteArray(10000, 'x'));
        QVERIFY(writeAutostartEntry(
                    path, entryFor(QStringLiteral("/bin/q"), QStringLiteral("/s/a.QLIMChat")))
                    .ok());
        QVERIFY(TestEnvironment::readAll(path).startsWith(QLatin1String("[Desktop Entry]\n")));
        QCOMPARE(QDir(env.path(QStringLiteral("autostart")))
                     .entryList(QDir::Files | QDir::Hidden)
                     .size(),
                 1);
    }

    void stripExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stripped");
        QTest::newRow("entry") << QStringLiteral("Беседа.QLIMChat.desktop")
                               << QStringLiteral("Беседа.QLIMChat");
        QTest::newRow("no dot") << QStringLiteral("Семья") << QStringLiteral("Семья");
        QTest::newRow("trailing dot") << QStringLiteral("Семья.") << QStringLiteral("Семья.");
        QTest::newRow("one extension") << QStringLiteral("a.b") << QStringLiteral("a");
        QTest::newRow("empty") << QString() << QString();
    }

    void stripExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, stripped);
        QCOMPARE(quillet::stripExtension(name), stripped);
    }
};

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "tst_autostartentry.moc"
