#include "desktopentryreader.h"
#include "settings/autostartentry.h"
#include "testsupport.h"

#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

// The autostart entry must start exactly the executable with /H and the chat
// file, whatever characters the paths hold, and pass desktop-file-validate.
class TestAutostartEntry : public QObject
{
    Q_OBJECT

private:
    static AutostartEntry entryFor(const QString &executable, const QString &chat)
    {
        const qsizetype slash = chat.lastIndexOf('/'_L1);
        return {u"Беседа"_s, executable, {u"/H"_s}, chat, chat.left(slash), autostartIconName()};
    }

private slots:
    void execGivesBackEveryArgument_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("chat");
        const QString exe = u"/usr/bin/quillet-im"_s;
        QTest::newRow("plain") << exe << u"/srv/chat/team.QLIMChat"_s;
        QTest::newRow("blanks") << exe << u"/srv/my chats/  two  blanks .QLIMChat"_s;
        QTest::newRow("double quotes") << exe << u"/srv/\"q\"/say \"hi\".QLIMChat"_s;
        QTest::newRow("single quotes") << exe << u"/srv/it's/o'clock.QLIMChat"_s;
        QTest::newRow("dollar") << exe << u"/srv/$HOME/${x}$(id).QLIMChat"_s;
        QTest::newRow("backslash") << exe << u"/srv/a\\b/c\\\\d\\.QLIMChat"_s;
        QTest::newRow("backslash before quote") << exe << u"/srv/x\\\"y\\.QLIMChat"_s;
        QTest::newRow("backtick") << exe << u"/srv/`rm -rf x`/a.QLIMChat"_s;
        QTest::newRow("percent") << exe << u"/srv/100%/%f %U %%.QLIMChat"_s;
        QTest::newRow("cyrillic") << exe << u"/srv/Чат с семьёй/Беседа.QLIMChat"_s;
        QTest::newRow("shell specials") << exe << u"/srv/a&b|c;d<e>f~g*h?i#j(k).QLIMChat"_s;
        QTest::newRow("tab and newline") << exe << u"/srv/a\tb/c\nd.QLIMChat"_s;
        QTest::newRow("leading blank") << exe << u"/srv/ x/ y.QLIMChat"_s;
        QTest::newRow("trailing blank and odd spaces")
            << exe << u"/srv/x /y\u00a0\u2028.QLIMChat "_s;
        QTest::newRow("everything") << u"/opt/Quillet IM $1/bin/quillet \"im\""_s
                                    << u"/srv/\"`$\\%' Чат\\\\\"/Б $x \\n.QLIMChat"_s;
        QTest::newRow("executable with percent")
            << u"/opt/100%/quillet-im"_s << u"/srv/a.QLIMChat"_s;
    }

    void execGivesBackEveryArgument()
    {
        QFETCH(QString, executable);
        QFETCH(QString, chat);
        TestEnvironment env;
        const QString path = env.path(u"autostart/Беседа.QLIMChat.desktop"_s);
        const AutostartEntry entry = entryFor(executable, chat);
        QVERIFY(writeAutostartEntry(path, entry).ok());

        const auto keys = DesktopEntryReader::readEntry(path);
        QVERIFY(keys.has_value());
        QCOMPARE(keys->value(u"Type"_s), u"Application"_s);
        QCOMPARE(keys->value(u"Icon"_s), u"quillet-im"_s);
        QCOMPARE(keys->value(u"Name"_s), u"Беседа"_s);
        QCOMPARE(keys->value(u"Path"_s), entry.workingDirectory);
        const auto arguments = DesktopEntryReader::splitExec(keys->value(u"Exec"_s));
        QVERIFY2(arguments.has_value(), qPrintable(keys->value(u"Exec"_s)));
        QCOMPARE(*arguments, (QStringList{executable, u"/H"_s, chat}));

        const QString complaints = DesktopEntryReader::validate(path);
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints));
    }

    // The chat file is always quoted, even when it needs no quoting.
    void chatFileIsQuoted()
    {
        const Result<QByteArray> text =
            desktopEntryText(entryFor(u"/usr/bin/quillet-im"_s, u"/srv/chat/team.QLIMChat"_s));
        QVERIFY(text.ok());
        QVERIFY(
            text.value().contains("\nExec=/usr/bin/quillet-im /H \"/srv/chat/team.QLIMChat\"\n"));
    }

    void uncarriedCharactersAreRefused_data()
    {
        QTest::addColumn<QString>("chat");
        QTest::newRow("NUL") << u"/srv/a"_s + QChar(0) + u"b.QLIMChat"_s;
        QTest::newRow("escape") << u"/srv/a\x1b[31m.QLIMChat"_s;
        QTest::newRow("bell") << u"/srv/\x07.QLIMChat"_s;
    }

    void uncarriedCharactersAreRefused()
    {
        QFETCH(QString, chat);
        TestEnvironment env;
        const QString path = env.path(u"autostart/x.desktop"_s);
        const Status written = writeAutostartEntry(path, entryFor(u"/bin/q"_s, chat));
        QVERIFY(!written.ok());
        QVERIFY(!written.error().description.isEmpty());
        QVERIFY(!QFileInfo::exists(path));
    }

    // A backslash is an ordinary character of a file name here.
    void backslashInTheEntryName()
    {
        TestEnvironment env;
        const QString path = env.path(u"autostart/a\\b.QLIMChat.desktop"_s);
        QVERIFY(writeAutostartEntry(path, entryFor(u"/bin/q"_s, u"/s/a\\b.QLIMChat"_s)).ok());
        QCOMPARE(QDir(env.path(u"autostart"_s)).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"a\\b.QLIMChat.desktop"_s});
    }

    void missingFolderIsCreated()
    {
        TestEnvironment env;
        const QString path = env.path(u"config/autostart/deep/x.desktop"_s);
        QVERIFY(writeAutostartEntry(path, entryFor(u"/bin/q"_s, u"/srv/a.QLIMChat"_s)).ok());
        QVERIFY(QFileInfo(path).isFile());
    }

    void fileInPlaceOfFolderFails()
    {
        TestEnvironment env;
        env.touch(u"config/autostart"_s, "not a folder");
        const Status written = writeAutostartEntry(env.path(u"config/autostart/x.desktop"_s),
                                                   entryFor(u"/bin/q"_s, u"/s/a.QLIMChat"_s));
        QVERIFY(!written.ok());
        QCOMPARE(TestEnvironment::readAll(env.path(u"config/autostart"_s)), u"not a folder"_s);
    }

    // Replacing an entry leaves no temporary file behind and replaces it whole.
    void replacingIsAtomic()
    {
        TestEnvironment env;
        const QString path = env.touch(u"autostart/a.desktop"_s, QByteArray(10000, 'x'));
        QVERIFY(writeAutostartEntry(path, entryFor(u"/bin/q"_s, u"/s/a.QLIMChat"_s)).ok());
        QVERIFY(TestEnvironment::readAll(path).startsWith("[Desktop Entry]\n"_L1));
        QCOMPARE(QDir(env.path(u"autostart"_s)).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void stripExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stripped");
        QTest::newRow("entry") << u"Беседа.QLIMChat.desktop"_s << u"Беседа.QLIMChat"_s;
        QTest::newRow("no dot") << u"Семья"_s << u"Семья"_s;
        QTest::newRow("trailing dot") << u"Семья."_s << u"Семья."_s;
        QTest::newRow("one extension") << u"a.b"_s << u"a"_s;
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
