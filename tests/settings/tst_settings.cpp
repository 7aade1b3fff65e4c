#include "settings.h"
#include "settingsstore.h"
#include "testenv.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT

private:
    static void restart()
    {
        Settings = SettingsRecord{};
        Settings.SendOnEnter = true; // anything LoadSettings must overwrite
        Settings.MessageColor = 12345;
        MyGUID.clear();
        InitMyGUID();
        LoadSettings();
    }

private slots:
    void firstRunDefaults()
    {
        TestEnvironment env;
        restart();
        QCOMPARE(Settings.SendOnEnter, false);
        QCOMPARE(Settings.MessageColor, 0);
        QCOMPARE(Settings.MyNameColor, 32768);
        QCOMPARE(Settings.OtherNameColor, 16711808);
        QCOMPARE(Settings.SystemColor, 255);
        QCOMPARE(Settings.iChatStylePlugin, true);
        QCOMPARE(Settings.NameOnSeparateLine, true);
        QCOMPARE(Settings.SortLogsList, true);
        QCOMPARE(Settings.SortLogsDescending, true);
        QCOMPARE(Settings.ShowDebugMessages, false);
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
        Settings.NameOnSeparateLine = false;
        Settings.SendOnEnter = true;
        Settings.OtherNameColor = 0x123456;
        Settings.SortLogsDescending = false;
        QVERIFY(SaveSettings().ok());
        restart();
        QCOMPARE(Settings.NameOnSeparateLine, false);
        QCOMPARE(Settings.SendOnEnter, true);
        QCOMPARE(Settings.OtherNameColor, 0x123456);
        QCOMPARE(Settings.SortLogsDescending, false);
        QCOMPARE(Settings.iChatStylePlugin, true);
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
                        .SaveValue(QStringLiteral("Nicks"), QStringLiteral("/a/b/Чат.QLIMChat"),
                                   ValueKind::Text, QStringLiteral("Иван = \"x\"\n;y"))
                        .ok());
            QVERIFY(store
                        .SaveValue(QStringLiteral("Nicks"), QStringLiteral("\\a\\b\\Чат.QLIMChat"),
                                   ValueKind::Text, QStringLiteral("другой"))
                        .ok());
            QVERIFY(
                store.SaveValue(QString(), QStringLiteral("Int"), ValueKind::Int32, -2147483647 - 1)
                    .ok());
            QVERIFY(store
                        .SaveValue(QStringLiteral("B"), QStringLiteral("Flag"), ValueKind::Boolean,
                                   true)
                        .ok());
            QVERIFY(store
                        .SaveValue(QStringLiteral("B"), QStringLiteral("Off"), ValueKind::Boolean,
                                   false)
                        .ok());
        }
        SettingsStore store;
        QCOMPARE(store.LoadValue(QStringLiteral("NICKS"), QStringLiteral("/A/B/чат.qlimchat"),
                                 ValueKind::Text),
                 QVariant(QStringLiteral("Иван = \"x\"\n;y")));
        QCOMPARE(store.LoadValue(QStringLiteral("nicks"), QStringLiteral("\\a\\b\\Чат.QLIMChat"),
                                 ValueKind::Text),
                 QVariant(QStringLiteral("другой")));
        QCOMPARE(store.LoadValue(QString(), QStringLiteral("int"), ValueKind::Int32, 5).toInt(),
                 -2147483647 - 1);
        QCOMPARE(
            store.LoadValue(QStringLiteral("b"), QStringLiteral("flag"), ValueKind::Boolean, false)
                .toBool(),
            true);
        QCOMPARE(
            store.LoadValue(QStringLiteral("b"), QStringLiteral("off"), ValueKind::Boolean, true)
                .toBool(),
            false);
        QCOMPARE(store.LoadValue(QStringLiteral("OFN Paths"),
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
        QCOMPARE(Settings.MessageColor, 0);
        QCOMPARE(Settings.MyNameColor, 32768);
        QCOMPARE(Settings.iChatStylePlugin, true);
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
                QCOMPARE(store.LoadValue(QStringLiteral("race"), key, ValueKind::Int32, -1).toInt(),
                         i);
            }
        }
    }

    void logGuidsAndFolders()
    {
        TestEnvironment env;
        ChatFilePath = env.path(QStringLiteral("chats/a/team.QLIMChat"));
        const QString first = GetChatLogGUID();
        QCOMPARE(GetChatLogGUID(), first);
        const QString logs =
            env.path(QStringLiteral("data/Greyhollow Studios/Quillet IM/Logs/")) + first;
        const Result<QString> noCreate = GetLogsFolder(true);
        QVERIFY(noCreate.ok());
        QCOMPARE(noCreate.value(), logs);
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("data"))));
        const Result<QString> created = GetLogsFolder(false);
        QVERIFY(created.ok());
        QVERIFY(QFileInfo(logs).isDir());

        ChatFilePath = env.path(QStringLiteral("chats/b/team.QLIMChat"));
        QVERIFY(GetChatLogGUID() != first);

        // A blank stored GUID is replaced and stored.
        {
            SettingsStore store;
            QVERIFY(store
                        .SaveValue(QStringLiteral("Log GUIDs"), ChatFilePath, ValueKind::Text,
                                   QStringLiteral(" \t\r\n"))
                        .ok());
        }
        const QString replaced = GetChatLogGUID();
        QVERIFY(!replaced.trimmed().isEmpty());
        QCOMPARE(GetChatLogGUID(), replaced);

        // A file where the data folder should be makes the creation fail.
        qputenv("XDG_DATA_HOME", env.touch(QStringLiteral("data-file")).toUtf8());
        const Result<QString> blocked = GetLogsFolder(false);
        QVERIFY(!blocked.ok());
        QCOMPARE(blocked.error().number, ENOTDIR);
        ChatFilePath.clear();
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
