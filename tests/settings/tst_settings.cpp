#include "settings/settings.h"
#include "core/settingsstore.h"
#include "testenv.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

using namespace quillet;

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
        QVERIFY(
            QRegularExpression(QStringLiteral("^\\{[0-9A-F-]{36}\\}$")).match(first).hasMatch());
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
                    .contains(QStringLiteral("name%20on%20separate%20line=false")));
    }

    void storeKindsAndKeys()
    {
        TestEnvironment env;
        {
            SettingsStore store;
            QVERIFY(store
                        .saveValue(QStringLiteral("Nicks"), QStringLiteral("/a/b/Чат.QLIMChat"),
                                   ValueKind::Text, QStringLiteral("Иван = \"x\"\n;y"))
                        .ok());
            QVERIFY(store
                        .saveValue(QStringLiteral("Nicks"), QStringLiteral("\\a\\b\\Чат.QLIMChat"),
                                   ValueKind::Text, QStringLiteral("другой"))
                        .ok());
            QVERIFY(
                store.saveValue(QString(), QStringLiteral("Int"), ValueKind::Int32, -2147483647 - 1)
                    .ok());
            QVERIFY(store
                        .saveValue(QStringLiteral("B"), QStringLiteral("Flag"), ValueKind::Boolean,
                                   true)
                        .ok());
            QVERIFY(store
                        .saveValue(QStringLiteral("B"), QStringLiteral("Off"), ValueKind::Boolean,
                                   false)
                        .ok());
        }
        SettingsStore store;
        QCOMPARE(store.loadValue(QStringLiteral("NICKS"), QStringLiteral("/A/B/чат.qlimchat"),
                                 ValueKind::Text),
                 QVariant(QStringLiteral("Иван = \"x\"\n;y")));
        QCOMPARE(store.loadValue(QStringLiteral("nicks"), QStringLiteral("\\a\\b\\Чат.QLIMChat"),
                                 ValueKind::Text),
                 QVariant(QStringLiteral("другой")));
        QCOMPARE(store.loadValue(QString(), QStringLiteral("int"), ValueKind::Int32, 5).toInt(),
                 -2147483647 - 1);
        QCOMPARE(
            store.loadValue(QStringLiteral("b"), QStringLiteral("flag"), ValueKind::Boolean, false)
                .toBool(),
            true);
        QCOMPARE(
            store.loadValue(QStringLiteral("b"), QStringLiteral("off"), ValueKind::Boolean, true)
                .toBool(),
            false);
        QCOMPARE(store.loadValue(QStringLiteral("OFN Paths"),
                                 QStringLiteral("Laste Open File Directory"), ValueKind::Text),
                 QVariant(QString()));
    }

    void garbageFileGivesDefaults()
    {
        TestEnvironment env;
        QByteArray garbage;
        for (int i = 0; i < 5000; ++i)
            garbage.append(char((i * 7919) % 256));
        garbage.append("\n[Colors]\nmessage%20color=notanumber\n[=\n\\\\\\\n");
        env.touch(QStringLiteral("config/Greyhollow Studios/Quillet IM.conf"), garbage);
        restart();
        QCOMPARE(appSettings().messageColor, 0);
        QCOMPARE(appSettings().myNameColor, 32768);
        QCOMPARE(appSettings().timeStamps, true);
        QVERIFY(!MyGUID.isEmpty());
    }

    void twoProcessesSavingAtOnceLoseNothing()
    {
        TestEnvironment env;
        const QString writer =
            QCoreApplication::applicationDirPath() + QStringLiteral("/store_writer");
        const int count = 300;
        QProcess a;
        QProcess b;
        a.start(writer, {QStringLiteral("first"), QString::number(count)});
        b.start(writer, {QStringLiteral("second"), QString::number(count)});
        QVERIFY(a.waitForFinished(120'000));
        QVERIFY(b.waitForFinished(120'000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        SettingsStore store;
        for (int i = 0; i < count; ++i) {
            for (const char *prefix : {"first", "second"}) {
                const QString key = QLatin1String(prefix) + QLatin1Char(' ') + QString::number(i);
                QCOMPARE(store.loadValue(QStringLiteral("race"), key, ValueKind::Int32, -1).toInt(),
                         i);
            }
        }
    }

    void logGuidsAndFolders()
    {
        TestEnvironment env;
        ChatFilePath = env.path(QStringLiteral("chats/a/team.QLIMChat"));
        const QString first = chatLogGuid();
        QCOMPARE(chatLogGuid(), first);
        const QString logs =
            env.path(QStringLiteral("data/Greyhollow Studios/Quillet IM/Logs/")) + first;
        const Result<QString> noCreate = logsFolder(true);
        QVERIFY(noCreate.ok());
        QCOMPARE(noCreate.value(), logs);
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("data"))));
        const Result<QString> created = logsFolder(false);
        QVERIFY(created.ok());
        QVERIFY(QFileInfo(logs).isDir());

        ChatFilePath = env.path(QStringLiteral("chats/b/team.QLIMChat"));
        QVERIFY(chatLogGuid() != first);

        // A blank stored GUID is replaced and stored.
        {
            SettingsStore store;
            QVERIFY(store
                        .saveValue(QStringLiteral("Log GUIDs"), ChatFilePath, ValueKind::Text,
                                   QStringLiteral(" \t\r\n"))
                        .ok());
        }
        const QString replaced = chatLogGuid();
        QVERIFY(!replaced.trimmed().isEmpty());
        QCOMPARE(chatLogGuid(), replaced);

        // A file where the data folder should be makes the creation fail.
        qputenv("XDG_DATA_HOME", env.touch(QStringLiteral("data-file")).toUtf8());
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
        QTest::newRow("config folder is a file") << QStringLiteral("config") << false << 1;
        QTest::newRow("store file is a folder")
            << QStringLiteral("config/Greyhollow Studios/Quillet IM.conf") << true << 1;
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
        ChatFilePath = env.path(QStringLiteral("chats/a/team.QLIMChat"));
        const QString logGuid = chatLogGuid();
        QCOMPARE(chatLogGuid(), logGuid);
        QCOMPARE(logsFolder(true).value(),
                 env.path(QStringLiteral("data/Greyhollow Studios/Quillet IM/Logs/")) + logGuid);
        ChatFilePath = env.path(QStringLiteral("chats/b/team.QLIMChat"));
        QVERIFY(chatLogGuid() != logGuid);
        QCOMPARE(texts.size(), reports);
        if (reports) {
            QVERIFY2(texts.first().startsWith(SettingsStore::filePath() +
                                              QStringLiteral("\r\n\r\nНе удалось записать")),
                     qPrintable(texts.first()));
        }

        // Once the store can be written again, the log GUID of this run is the one kept.
        if (!blocker.isEmpty()) {
            QVERIFY(isFolder ? QDir(env.path(blocker)).removeRecursively()
                             : QFile::remove(env.path(blocker)));
            ChatFilePath = env.path(QStringLiteral("chats/a/team.QLIMChat"));
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
        QTest::newRow("config folder is a file") << QStringLiteral("config") << false << 1;
        QTest::newRow("store file is a folder")
            << QStringLiteral("config/Greyhollow Studios/Quillet IM.conf") << true << 1;
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
        const QString chat = env.touch(QStringLiteral("chats/team.QLIMChat"));
        const QString boxLog = env.path(QStringLiteral("boxes.log"));
        const QString input = env.path(QStringLiteral("input.txt"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUILLET_BOX_LOG"), boxLog);
        environment.insert(QStringLiteral("QUILLET_TEST_INPUT"), input);
        program.setProcessEnvironment(environment);
        program.start(TestEnvironment::executable(), {chat});
        QVERIFY(program.waitForStarted());
        const auto type = [&](const QByteArray &line) {
            const QString temporary = env.path(QStringLiteral(".input.tmp"));
            QFile file(temporary);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(line + '\n');
            file.close();
            QVERIFY(QFile::rename(temporary, input));
        };
        // The message comes back and is logged, which asks for the chat's log GUID.
        type("hello");
        const auto logged = [&] {
            QDirIterator logs(env.path(QStringLiteral("data")), {QStringLiteral("*.RTF")},
                              QDir::Files, QDirIterator::Subdirectories);
            return logs.hasNext();
        };
        QTRY_VERIFY_WITH_TIMEOUT(logged(), 20000);
        type(":exit");
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);

        const QStringList lines =
            TestEnvironment::readAll(boxLog).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QStringList boxes = lines.filter(QRegularExpression(QStringLiteral("^\\d+\t")));
        QVERIFY2(boxes.size() == reports, qPrintable(boxes.join(QLatin1Char('\n'))));
        if (reports) {
            QVERIFY2(boxes.first().startsWith(QStringLiteral("48\t") + SettingsStore::filePath() +
                                              QStringLiteral("\\r\\n\\r\\n")),
                     qPrintable(boxes.first()));
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
