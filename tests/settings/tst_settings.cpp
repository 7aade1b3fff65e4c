#include "core/settingsstore.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QScopeGuard>

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

QString userId;     // this run's identity
QString openedChat; // the chat file whose logs are asked for

// A new start of the program: identity and settings from the store.
void restart()
{
    appSettings() = {};
    appSettings().messageColor = 12345; // anything loadSettings must overwrite
    userId = loadUserId();
    loadSettings();
}

void openChat(const QString &chatFile)
{
    openedChat = chatFile;
}

struct stat statOf(const QString &path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { openChat({}); }

    // Saved settings and the identity (stored at once) survive a restart; each
    // save replaces the store whole, never rewriting it in place.
    void savedSettingsSurviveARestart()
    {
        TestEnvironment env;
        restart();
        const QString identity = userId;
        // A second name keeps the first file's inode from being reused.
        const QByteArray first = QFile::encodeName(env.path(u"first-store"_s));
        QCOMPARE(::link(QFile::encodeName(SettingsStore::filePath()).constData(), first), 0);
        for (const SettingsRecord &changed :
             {SettingsRecord{true, 1, 2, 3, 4, false, true, false, true, false},
              SettingsRecord{false, 5, 6, 7, 8, true, false, true, false, true}}) {
            appSettings() = changed;
            QVERIFY(saveSettings().ok());
            restart();
            QCOMPARE(values(appSettings()), values(changed));
        }
        QVERIFY(statOf(SettingsStore::filePath()).st_ino != statOf(QFile::decodeName(first)).st_ino);
        QCOMPARE(userId, identity);
        // Written under one spelling, read under the other.
        QVERIFY(TestEnvironment::readAll(SettingsStore::filePath())
                    .contains(u"name%20on%20separate%20line=false"_s));
    }

    // Sections and keys in any letter case, paths as keys, values INI would
    // misread; a hostile file gives the defaults.
    void storeKindsKeysAndHostileFiles()
    {
        TestEnvironment env;
        const QString hostile = u"Иван = \"x\"\n;y [a]\\"_s;
        QVERIFY(SettingsStore().saveValue(u"Nicks"_s, u"/a/Чат"_s, ValueKind::Text, hostile).ok());
        QVERIFY(SettingsStore().saveValue({}, u"Int"_s, ValueKind::Int32, -2147483647 - 1).ok());
        SettingsStore store;
        QCOMPARE(store.loadValue(u"NICKS"_s, u"/A/чат"_s, ValueKind::Text).toString(), hostile);
        QCOMPARE(store.loadValue({}, u"int"_s, ValueKind::Int32, 5).toInt(), -2147483647 - 1);

        QByteArray garbage("\n[Colors]\nmessage%20color=notanumber\n[=\n\\\\\\\n");
        for (int i = 0; i < 5000; ++i)
            garbage.append(char((i * 7919) % 256));
        env.touch(u"config/Greyhollow Studios/Quillet IM.conf"_s, garbage);
        restart();
        QCOMPARE(values(appSettings()), values(SettingsRecord{}));
        QVERIFY(!userId.isEmpty());
    }

    void twoProcessesSavingAtOnceLoseNothing()
    {
        TestEnvironment env;
        const QString writer = QCoreApplication::applicationDirPath() + u"/store_writer"_s;
        QProcess a, b;
        a.start(writer, {u"first"_s, u"300"_s});
        b.start(writer, {u"second"_s, u"300"_s});
        QVERIFY(a.waitForFinished(120'000) && b.waitForFinished(120'000));
        QCOMPARE(a.exitCode() + b.exitCode(), 0);
        SettingsStore store;
        for (int i = 0; i < 300; ++i) {
            for (const QString &key : {u"first %1"_s.arg(i), u"second %1"_s.arg(i)})
                QCOMPARE(store.loadValue(u"race"_s, key, ValueKind::Int32, -1).toInt(), i);
        }
    }

    // One log GUID per chat file, kept; its logs folder private to the user. A
    // store that cannot be written (its folder a file) is reported once, however
    // much fails to be saved, and the writer and the viewer of a chat's logs still
    // agree on its folder; once it can be written, this run's GUID is the one kept.
    void logGuidsAndAnUnwritableStore()
    {
        TestEnvironment env;
        QStringList texts;
        setStoreFailureHandler([&](const QString &text, const Error &) { texts << text; });
        const auto resetHandler = qScopeGuard([] { setStoreFailureHandler(nullptr); });
        openChat(env.path(u"chats/a/team.QLIMChat"_s));
        const QString first = chatLogGuid(openedChat);
        const QString logs = env.path(u"data/Greyhollow Studios/Quillet IM/Logs/"_s) + first;
        QCOMPARE(logsFolder(openedChat, true).value(), logs);
        QVERIFY(!QFileInfo::exists(env.path(u"data"_s)) && logsFolder(openedChat, false).ok());
        QCOMPARE(statOf(logs).st_mode & 0777, 0700u);
        QVERIFY(SettingsStore()
                    .saveValue(u"Log GUIDs"_s, openedChat, ValueKind::Text, u" \t"_s)
                    .ok());
        const QString replaced = chatLogGuid(openedChat); // a blank one is replaced and stored
        QVERIFY(!replaced.trimmed().isEmpty() && replaced != first && chatLogGuid(openedChat) == replaced);

        qputenv("XDG_CONFIG_HOME", env.touch(u"blocked"_s).toUtf8());
        restart();
        openChat(env.path(u"chats/b/team.QLIMChat"_s));
        const QString unsaved = chatLogGuid(openedChat);
        QCOMPARE(chatLogGuid(openedChat), unsaved);
        openChat(env.path(u"chats/c/team.QLIMChat"_s));
        QVERIFY(chatLogGuid(openedChat) != unsaved);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().startsWith(SettingsStore::filePath()), qPrintable(texts.first()));
        qputenv("XDG_CONFIG_HOME", env.path(u"config"_s).toUtf8());
        openChat(env.path(u"chats/b/team.QLIMChat"_s));
        QCOMPARE(chatLogGuid(openedChat), unsaved);
        QVERIFY(TestEnvironment::readAll(SettingsStore::filePath()).contains(unsaved));
        QCOMPARE(texts.size(), 1);
        qputenv("XDG_DATA_HOME", env.touch(u"data-file"_s).toUtf8());
        QCOMPARE(logsFolder(openedChat, false).error().number, ENOTDIR);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
