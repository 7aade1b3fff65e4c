#include "core/settingsstore.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <sys/stat.h>

#include <QDirIterator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// Every field, so that a field stored under another's key shows.
QList<qint64> values(const SettingsRecord &r)
{
    return {r.sendOnEnter,        r.messageColor,     r.myNameColor,        r.otherNameColor,
            r.systemColor,        r.timeStamps,       r.nameOnSeparateLine, r.sortLogsList,
            r.sortLogsDescending, r.showDebugMessages};
}

// A new start of the program: identity and settings from the store.
void restart()
{
    appSettings() = SettingsRecord{};
    appSettings().messageColor = 12345; // anything loadSettings must overwrite
    MyGUID.clear();
    initMyGuid();
    loadSettings();
}

void openChat(const QString &chatFile)
{
    ChatFilePath = chatFile;
}

ino_t inode(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { openChat({}); }

    // Saved settings and the identity survive a restart; the store is replaced
    // whole by each save, never rewritten in place.
    void savedSettingsSurviveARestart()
    {
        TestEnvironment env;
        restart();
        const QString identity = MyGUID;
        QVERIFY(QFileInfo::exists(SettingsStore::filePath())); // stored at once
        SettingsRecord changed;
        changed.sendOnEnter = true;
        changed.messageColor = 0x010203;
        changed.myNameColor = 0x040506;
        changed.otherNameColor = 0x070809;
        changed.systemColor = 0x0A0B0C;
        changed.timeStamps = changed.nameOnSeparateLine = changed.sortLogsList = false;
        changed.sortLogsDescending = false;
        changed.showDebugMessages = true;
        appSettings() = changed;
        const ino_t before = inode(SettingsStore::filePath());
        QVERIFY(saveSettings().ok());
        QVERIFY(inode(SettingsStore::filePath()) != before);
        restart();
        QCOMPARE(values(appSettings()), values(changed));
        QCOMPARE(MyGUID, identity);
        // Written under one spelling, read under the other.
        QVERIFY(TestEnvironment::readAll(SettingsStore::filePath())
                    .contains(u"name%20on%20separate%20line=false"_s));
    }

    void storeKindsAndKeys()
    {
        TestEnvironment env;
        const QString hostile = u"Иван = \"x\"\n;y [a]\\"_s;
        {
            SettingsStore store;
            QVERIFY(
                store.saveValue(u"Nicks"_s, u"/a/Чат.QLIMChat"_s, ValueKind::Text, hostile).ok());
            QVERIFY(
                store.saveValue(u"Nicks"_s, u"\\a\\Чат.QLIMChat"_s, ValueKind::Text, u"2"_s).ok());
            QVERIFY(store.saveValue({}, u"Int"_s, ValueKind::Int32, -2147483647 - 1).ok());
            QVERIFY(store.saveValue(u"B"_s, u"Off"_s, ValueKind::Boolean, false).ok());
        }
        SettingsStore store;
        QCOMPARE(store.loadValue(u"NICKS"_s, u"/A/чат.qlimchat"_s, ValueKind::Text).toString(),
                 hostile);
        QCOMPARE(store.loadValue(u"nicks"_s, u"\\a\\Чат.QLIMChat"_s, ValueKind::Text).toString(),
                 u"2"_s);
        QCOMPARE(store.loadValue({}, u"int"_s, ValueKind::Int32, 5).toInt(), -2147483647 - 1);
        QCOMPARE(store.loadValue(u"b"_s, u"off"_s, ValueKind::Boolean, true).toBool(), false);
    }

    void hostileFileGivesDefaults()
    {
        TestEnvironment env;
        QByteArray garbage;
        for (int i = 0; i < 5000; ++i)
            garbage.append(char((i * 7919) % 256));
        garbage.append("\n[Colors]\nmessage%20color=notanumber\n[=\n\\\\\\\n");
        env.touch(u"config/Greyhollow Studios/Quillet IM.conf"_s, garbage);
        restart();
        QCOMPARE(values(appSettings()), values(SettingsRecord{}));
        QVERIFY(!MyGUID.isEmpty());
    }

    void twoProcessesSavingAtOnceLoseNothing()
    {
        TestEnvironment env;
        const QString writer = QCoreApplication::applicationDirPath() + u"/store_writer"_s;
        const int count = 300;
        QProcess a;
        QProcess b;
        a.start(writer, {u"first"_s, QString::number(count)});
        b.start(writer, {u"second"_s, QString::number(count)});
        QVERIFY(a.waitForFinished(120'000) && b.waitForFinished(120'000));
        QCOMPARE(a.exitCode() + b.exitCode(), 0);
        SettingsStore store;
        for (int i = 0; i < count; ++i) {
            for (const QString &prefix : {u"first "_s, u"second "_s})
                QCOMPARE(
                    store.loadValue(u"race"_s, prefix + QString::number(i), ValueKind::Int32, -1)
                        .toInt(),
                    i);
        }
    }

    void logGuidsAndFolders()
    {
        TestEnvironment env;
        openChat(env.path(u"chats/a/team.QLIMChat"_s));
        const QString first = chatLogGuid();
        QCOMPARE(chatLogGuid(), first);
        const QString logs = env.path(u"data/Greyhollow Studios/Quillet IM/Logs/"_s) + first;
        QCOMPARE(logsFolder(true).value(), logs);
        QVERIFY(!QFileInfo::exists(env.path(u"data"_s)));
        QVERIFY(logsFolder(false).ok());
        QVERIFY(QFileInfo(logs).isDir());
        openChat(env.path(u"chats/b/team.QLIMChat"_s));
        QVERIFY(chatLogGuid() != first);
        // A blank stored GUID is replaced and stored.
        QVERIFY(SettingsStore()
                    .saveValue(u"Log GUIDs"_s, ChatFilePath, ValueKind::Text, u" \t\r\n"_s)
                    .ok());
        const QString replaced = chatLogGuid();
        QVERIFY(!replaced.trimmed().isEmpty());
        QCOMPARE(chatLogGuid(), replaced);
        // A file where the data folder should be.
        qputenv("XDG_DATA_HOME", env.touch(u"data-file"_s).toUtf8());
        QCOMPARE(logsFolder(false).error().number, ENOTDIR);
    }

    // A store that cannot be written (its folder a file): the user hears of it
    // once, whatever else fails to be saved in the run, and the writer and the
    // viewer of a chat's logs still agree on its folder; once the store can be
    // written again, the log GUID of this run is the one kept.
    void unwritableStore()
    {
        TestEnvironment env;
        env.touch(u"config"_s);
        QStringList texts;
        setStoreFailureHandler([&](const QString &text, const Error &) { texts << text; });
        const auto resetHandler = qScopeGuard([] { setStoreFailureHandler(nullptr); });
        restart();
        openChat(env.path(u"chats/a/team.QLIMChat"_s));
        const QString logGuid = chatLogGuid();
        QCOMPARE(chatLogGuid(), logGuid);
        openChat(env.path(u"chats/b/team.QLIMChat"_s));
        QVERIFY(chatLogGuid() != logGuid);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().startsWith(SettingsStore::filePath()), qPrintable(texts.first()));

        QVERIFY(QFile::remove(env.path(u"config"_s)));
        openChat(env.path(u"chats/a/team.QLIMChat"_s));
        QCOMPARE(chatLogGuid(), logGuid);
        QVERIFY(TestEnvironment::readAll(SettingsStore::filePath()).contains(logGuid));
        QCOMPARE(texts.size(), 1);
    }

    // The real program with such a store: one box, although both the identity
    // and the chat's log GUID fail to be stored; none while the store works.
    void unwritableStoreInTheProgram_data()
    {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("writable") << false;
        QTest::newRow("config folder is a file") << true;
    }
    void unwritableStoreInTheProgram()
    {
        QFETCH(bool, blocked);
        TestEnvironment env;
        if (blocked)
            env.touch(u"config"_s);
        const QString chat = env.touch(u"chats/team.QLIMChat"_s);
        const QString boxLog = env.path(u"boxes.log"_s);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUILLET_TEST_INPUT"_s, env.path(u"input.txt"_s));
        const auto program = startProgram({chat}, boxLog, environment);
        const auto type = [&](const QByteArray &line) {
            QVERIFY(
                QFile::rename(env.touch(u".input.tmp"_s, line + '\n'), env.path(u"input.txt"_s)));
        };
        type("hello"); // sent, received and logged, which asks for the chat's log GUID
        QTRY_VERIFY_WITH_TIMEOUT(QDirIterator(env.path(u"data"_s), {u"*.RTF"_s}, QDir::Files,
                                              QDirIterator::Subdirectories)
                                     .hasNext(),
                                 20000);
        type(":exit");
        QVERIFY(program->waitForFinished(20000));
        QCOMPARE(program->exitCode(), 0);
        const QStringList boxes = TestEnvironment::readAll(boxLog).split('\n'_L1).filter(
            QRegularExpression(u"^\\d+\t"_s));
        QVERIFY2(boxes.size() == int(blocked), qPrintable(boxes.join('\n'_L1)));
        if (blocked)
            QVERIFY(boxes.first().startsWith(u"48\t"_s + SettingsStore::filePath()));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
