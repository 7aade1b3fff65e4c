#include "core/settingsstore.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestSettings : public QObject
{
    Q_OBJECT

private:
    static void restart()
    {
        appSettings() = SettingsRecord{};
        appSettings().sendOnEnter = true; // anything loadSettings must overwrite
        appSettings().messageColor = 12345;
        MyGUID.clear();
        initMyGuid();
        loadSettings();
    }

private slots:
    void firstRunDefaults()
    {
        TestEnvironment env;
        restart();
        QCOMPARE(appSettings().sendOnEnter, false);
        QCOMPARE(appSettings().messageColor, 0);
        QCOMPARE(appSettings().myNameColor, 32768);
        QCOMPARE(appSettings().otherNameColor, 16711808);
        QCOMPARE(appSettings().systemColor, 255);
        QCOMPARE(appSettings().timeStamps, true);
        QCOMPARE(appSettings().nameOnSeparateLine, true);
        QCOMPARE(appSettings().sortLogsList, true);
        QCOMPARE(appSettings().sortLogsDescending, true);
        QCOMPARE(appSettings().showDebugMessages, false);
        // The identity is stored at once, and kept by the next start.
        QVERIFY(QFileInfo::exists(SettingsStore::filePath()));
        const QString first = MyGUID;
        QVERIFY(QRegularExpression(u"^\\{[0-9A-F-]{36}\\}$"_s).match(first).hasMatch());
        restart();
        QCOMPARE(MyGUID, first);
    }

    void savedSettingsSurviveARestart()
    {
        TestEnvironment env;
        restart();
        appSettings().nameOnSeparateLine = false;
        appSettings().sendOnEnter = true;
        appSettings().otherNameColor = 0x123456;
        appSettings().sortLogsDescending = false;
        QVERIFY(saveSettings().ok());
        restart();
        QCOMPARE(appSettings().nameOnSeparateLine, false);
        QCOMPARE(appSettings().sendOnEnter, true);
        QCOMPARE(appSettings().otherNameColor, 0x123456);
        QCOMPARE(appSettings().sortLogsDescending, false);
        QCOMPARE(appSettings().timeStamps, true);
        // Written under one spelling, read under the other.
        QVERIFY(TestEnvironment::readAll(SettingsStore::filePath())
                    .contains(u"name%20on%20separate%20line=false"_s));
    }

    void storeKindsAndKeys()
    {
        TestEnvironment env;
        {
            SettingsStore store;
            QVERIFY(store
                        .saveValue(u"Nicks"_s, u"/a/b/Чат.QLIMChat"_s, ValueKind::Text,
                                   u"Иван = \"x\"\n;y"_s)
                        .ok());
            QVERIFY(
                store.saveValue(u"Nicks"_s, u"\\a\\b\\Чат.QLIMChat"_s, ValueKind::Text, u"другой"_s)
                    .ok());
            QVERIFY(store.saveValue(QString(), u"Int"_s, ValueKind::Int32, -2147483647 - 1).ok());
            QVERIFY(store.saveValue(u"B"_s, u"Flag"_s, ValueKind::Boolean, true).ok());
            QVERIFY(store.saveValue(u"B"_s, u"Off"_s, ValueKind::Boolean, false).ok());
        }
        SettingsStore store;
        QCOMPARE(store.loadValue(u"NICKS"_s, u"/A/B/чат.qlimchat"_s, ValueKind::Text),
                 QVariant(u"Иван = \"x\"\n;y"_s));
        QCOMPARE(store.loadValue(u"nicks"_s, u"\\a\\b\\Чат.QLIMChat"_s, ValueKind::Text),
                 QVariant(u"другой"_s));
        QCOMPARE(store.loadValue(QString(), u"int"_s, ValueKind::Int32, 5).toInt(),
                 -2147483647 - 1);
        QCOMPARE(store.loadValue(u"b"_s, u"flag"_s, ValueKind::Boolean, false).toBool(), true);
        QCOMPARE(store.loadValue(u"b"_s, u"off"_s, ValueKind::Boolean, true).toBool(), false);
        QCOMPARE(store.loadValue(u"OFN Paths"_s, u"Laste Open File Directory"_s, ValueKind::Text),
                 QVariant(QString()));
    }

    void garbageFileGivesDefaults()
    {
        TestEnvironment env;
        QByteArray garbage;
        for (int i = 0; i < 5000; ++i)
            garbage.append(char((i * 7919) % 256));
        garbage.append("\n[Colors]\nmessage%20color=notanumber\n[=\n\\\\\\\n");
        env.touch(u"config/Greyhollow Studios/Quillet IM.conf"_s, garbage);
        restart();
        QCOMPARE(appSettings().messageColor, 0);
        QCOMPARE(appSettings().myNameColor, 32768);
        QCOMPARE(appSettings().timeStamps, true);
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
        QVERIFY(a.waitForFinished(120'000));
        QVERIFY(b.waitForFinished(120'000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        SettingsStore store;
        for (int i = 0; i < count; ++i) {
            for (const char *prefix : {"first", "second"}) {
                const QString key = QLatin1String(prefix) + ' '_L1 + QString::number(i);
                QCOMPARE(store.loadValue(u"race"_s, key, ValueKind::Int32, -1).toInt(), i);
            }
        }
    }

    void logGuidsAndFolders()
    {
        TestEnvironment env;
        ChatFilePath = env.path(u"chats/a/team.QLIMChat"_s);
        const QString first = chatLogGuid();
        QCOMPARE(chatLogGuid(), first);
        const QString logs = env.path(u"data/Greyhollow Studios/Quillet IM/Logs/"_s) + first;
        const Result<QString> noCreate = logsFolder(true);
        QVERIFY(noCreate.ok());
        QCOMPARE(noCreate.value(), logs);
        QVERIFY(!QFileInfo::exists(env.path(u"data"_s)));
        const Result<QString> created = logsFolder(false);
        QVERIFY(created.ok());
        QVERIFY(QFileInfo(logs).isDir());

        ChatFilePath = env.path(u"chats/b/team.QLIMChat"_s);
        QVERIFY(chatLogGuid() != first);

        // A blank stored GUID is replaced and stored.
        {
            SettingsStore store;
            QVERIFY(
                store.saveValue(u"Log GUIDs"_s, ChatFilePath, ValueKind::Text, u" \t\r\n"_s).ok());
        }
        const QString replaced = chatLogGuid();
        QVERIFY(!replaced.trimmed().isEmpty());
        QCOMPARE(chatLogGuid(), replaced);

        // A file where the data folder should be makes the creation fail.
        qputenv("XDG_DATA_HOME", env.touch(u"data-file"_s).toUtf8());
        const Result<QString> blocked = logsFolder(false);
        QVERIFY(!blocked.ok());
        QCOMPARE(blocked.error().number, ENOTDIR);
        ChatFilePath.clear();
    }

    // Where the store cannot be written: config folder a file, or the store's file a
    // folder. The user hears of it once, whatever else fails to be saved in the run,
    // and the writer and the viewer of a chat's logs still agree on its folder.
    void unwritableStore_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<int>("reports");
        QTest::newRow("writable") << QString() << false << 0;
        QTest::newRow("config folder is a file") << u"config"_s << false << 1;
        QTest::newRow("store file is a folder")
            << u"config/Greyhollow Studios/Quillet IM.conf"_s << true << 1;
    }
    void unwritableStore()
    {
        QFETCH(QString, blocker);
        QFETCH(bool, isFolder);
        QFETCH(int, reports);
        TestEnvironment env;
        if (isFolder)
            QVERIFY(QDir().mkpath(env.path(blocker)));
        else if (!blocker.isEmpty())
            env.touch(blocker);
        QStringList texts;
        setStoreFailureHandler([&](const QString &text, const Error &error) {
            texts << text;
            QCOMPARE(error.number, int(ErrorCode::StoreAccess));
        });
        const auto resetHandler = qScopeGuard([] { setStoreFailureHandler(nullptr); });

        restart();
        ChatFilePath = env.path(u"chats/a/team.QLIMChat"_s);
        const QString logGuid = chatLogGuid();
        QCOMPARE(chatLogGuid(), logGuid);
        QCOMPARE(logsFolder(true).value(),
                 env.path(u"data/Greyhollow Studios/Quillet IM/Logs/"_s) + logGuid);
        ChatFilePath = env.path(u"chats/b/team.QLIMChat"_s);
        QVERIFY(chatLogGuid() != logGuid);
        QCOMPARE(texts.size(), reports);
        if (reports) {
            QVERIFY2(texts.first().startsWith(SettingsStore::filePath() +
                                              u"\r\n\r\nНе удалось записать"_s),
                     qPrintable(texts.first()));
        }

        // Once the store can be written again, the log GUID of this run is the one kept.
        if (!blocker.isEmpty()) {
            QVERIFY(isFolder ? QDir(env.path(blocker)).removeRecursively()
                             : QFile::remove(env.path(blocker)));
            ChatFilePath = env.path(u"chats/a/team.QLIMChat"_s);
            QCOMPARE(chatLogGuid(), logGuid);
            QVERIFY(TestEnvironment::readAll(SettingsStore::filePath()).contains(logGuid));
            QCOMPARE(texts.size(), reports);
        }
        ChatFilePath.clear();
    }

    // The real program with such a store: one box, naming the store's file, although
    // both the identity and the chat's log GUID fail to be stored.
    void unwritableStoreInTheProgram_data()
    {
        QTest::addColumn<QString>("blocker");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<int>("reports");
        QTest::newRow("writable") << QString() << false << 0;
        QTest::newRow("config folder is a file") << u"config"_s << false << 1;
        QTest::newRow("store file is a folder")
            << u"config/Greyhollow Studios/Quillet IM.conf"_s << true << 1;
    }
    void unwritableStoreInTheProgram()
    {
        QFETCH(QString, blocker);
        QFETCH(bool, isFolder);
        QFETCH(int, reports);
        TestEnvironment env;
        if (isFolder)
            QVERIFY(QDir().mkpath(env.path(blocker)));
        else if (!blocker.isEmpty())
            env.touch(blocker);
        const QString chat = env.touch(u"chats/team.QLIMChat"_s);
        const QString boxLog = env.path(u"boxes.log"_s);
        const QString input = env.path(u"input.txt"_s);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUILLET_BOX_LOG"_s, boxLog);
        environment.insert(u"QUILLET_TEST_INPUT"_s, input);
        program.setProcessEnvironment(environment);
        program.start(TestEnvironment::executable(), {chat});
        QVERIFY(program.waitForStarted());
        const auto type = [&](const QByteArray &line) {
            const QString temporary = env.path(u".input.tmp"_s);
            QFile file(temporary);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(line + '\n');
            file.close();
            QVERIFY(QFile::rename(temporary, input));
        };
        // The message comes back and is logged, which asks for the chat's log GUID.
        type("hello");
        const auto logged = [&] {
            QDirIterator logs(env.path(u"data"_s), {u"*.RTF"_s}, QDir::Files,
                              QDirIterator::Subdirectories);
            return logs.hasNext();
        };
        QTRY_VERIFY_WITH_TIMEOUT(logged(), 20000);
        type(":exit");
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);

        const QStringList lines =
            TestEnvironment::readAll(boxLog).split('\n'_L1, Qt::SkipEmptyParts);
        const QStringList boxes = lines.filter(QRegularExpression(u"^\\d+\t"_s));
        QVERIFY2(boxes.size() == reports, qPrintable(boxes.join('\n'_L1)));
        if (reports) {
            QVERIFY2(
                boxes.first().startsWith(u"48\t"_s + SettingsStore::filePath() + u"\\r\\n\\r\\n"_s),
                qPrintable(boxes.first()));
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
