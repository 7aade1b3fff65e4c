#include "core/settingsstore.h"
#include "gui/dialogs.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QScopeGuard>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// Every field, so that a field stored under another's key shows.
QList<qint64> values(const SettingsRecord &r)
{
    QList<qint64> flags{r.sendOnEnter,     r.timeStamps,         r.nameOnSeparateLine,
                        r.sortLogsList,    r.sortLogsDescending, r.showDebugMessages,
                        r.newMessageSound, r.checkSpelling,      r.showEarlierMessages};
    for (const QColor &colour : {r.messageColor, r.myNameColor, r.otherNameColor, r.systemColor})
        flags.append(rgbValueFromColor(colour));
    return flags;
}

QString userId; // this run's identity

// A new start of the program: identity and settings from the store.
void restart()
{
    appSettings() = {.messageColor = QColor(0x39, 0x30, 0)}; // anything loadSettings must overwrite
    userId = loadUserId();
    loadSettings();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    // One log GUID per chat file, kept; its logs folder private to the user. A
    // store that cannot be written (its folder a file) is reported once, however
    // much fails to be saved, and the writer and the viewer of a chat's logs still
    // agree on its folder; once it can be written, this run's GUID is the one kept.
    void theStore()
    {
        TestEnvironment env;
        // A second running copy saving at the same time: no key of either is lost.
        const auto save = [](const QString &prefix) {
            bool saved = true;
            for (int i = 0; i < 300 && saved; ++i)
                saved = SettingsStore()
                            .saveValue(u"Race"_s, prefix + QString::number(i), ValueKind::Int32, i)
                            .ok();
            return saved;
        };
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(save(u"second "_s) ? 0 : 1);
        int status = -1;
        QVERIFY(child > 0 && save(u"first "_s) && ::waitpid(child, &status, 0) == child);
        QCOMPARE(status, 0);
        SettingsStore store;
        for (int i = 0; i < 300; ++i) {
            for (const QString &key : {u"first %1"_s.arg(i), u"second %1"_s.arg(i)})
                QCOMPARE(store.loadValue(u"race"_s, key, ValueKind::Int32, -1).toInt(), i);
        }

        QStringList texts;
        setStoreFailureHandler([&](const QString &text, const Error &) { texts << text; });
        const auto resetHandler = qScopeGuard([] { setStoreFailureHandler(nullptr); });
        QString chat = env.path(u"chats/a/team.QLIMChat"_s);
        const QString first = chatLogGuid(chat);
        const QString logs = env.path(u"data/Greyhollow Studios/Quillet IM/Logs/"_s) + first;
        QCOMPARE(logsFolder(chat, true).value(), logs);
        QVERIFY(!QFileInfo::exists(env.path(u"data"_s)) && logsFolder(chat, false).ok());
        QCOMPARE(QFileInfo(logs).permissions().toInt() & 0x7077, 0x7000); // the owner's alone
        QVERIFY(SettingsStore().saveValue(u"Log GUIDs"_s, chat, ValueKind::Text, u" \t"_s).ok());
        const QString replaced = chatLogGuid(chat); // a blank one is replaced and stored
        QVERIFY(!replaced.trimmed().isEmpty() && replaced != first &&
                chatLogGuid(chat) == replaced);

        qputenv("XDG_CONFIG_HOME", env.touch(u"blocked"_s).toUtf8());
        restart();
        chat = env.path(u"chats/b/team.QLIMChat"_s);
        const QString unsaved = chatLogGuid(chat);
        QCOMPARE(chatLogGuid(chat), unsaved);
        chat = env.path(u"chats/c/team.QLIMChat"_s);
        QVERIFY(chatLogGuid(chat) != unsaved);
        QCOMPARE(texts.size(), 1);
        qputenv("XDG_CONFIG_HOME", env.path(u"config"_s).toUtf8());
        chat = env.path(u"chats/b/team.QLIMChat"_s);
        QCOMPARE(chatLogGuid(chat), unsaved);
        QVERIFY(TestEnvironment::readAll(SettingsStore::filePath()).contains(unsaved));
        QCOMPARE(texts.size(), 1);
        qputenv("XDG_DATA_HOME", env.touch(u"data-file"_s).toUtf8());
        QCOMPARE(logsFolder(chat, false).error().number, ENOTDIR);

        // Saved settings and the identity (stored at once) survive a restart; each
        // save replaces the store whole, never rewriting it in place.
        restart();
        const QString identity = userId;
        // A second name of the first file: what it holds must not change.
        const QByteArray firstStore = QFile::encodeName(env.path(u"first-store"_s));
        QCOMPARE(::link(QFile::encodeName(SettingsStore::filePath()).constData(), firstStore), 0);
        const QString stored = TestEnvironment::readAll(SettingsStore::filePath());
        for (const SettingsRecord &changed :
             {SettingsRecord{true, 1, 2, 3, 4, false, true, false, true, false, false, true, false},
              SettingsRecord{false, 5, 6, 7, 8, true, false, true, false, true, true, false,
                             true}}) {
            appSettings() = changed;
            QVERIFY(saveSettings().ok());
            restart();
            QCOMPARE(values(appSettings()), values(changed));
        }
        QCOMPARE(TestEnvironment::readAll(QFile::decodeName(firstStore)), stored);
        QCOMPARE(userId, identity);

        // Sections and keys are matched whatever their letter case, and "/" and
        // "\" are characters of a key, not groups: each of these is a key of its
        // own. Values INI would misread; a hostile file gives the defaults.
        const QString hostile = u"Иван = \"x\"\n;y [a]\\"_s;
        const QList<std::pair<QString, QString>> keys = {
            {u"Nicks"_s, u"/a/Чат"_s}, {u"Nicks/a"_s, u"Чат"_s}, {u"Nicks"_s, u"\\a\\Чат"_s}};
        for (const auto &[section, key] : keys)
            QVERIFY(SettingsStore().saveValue(section, key, ValueKind::Text, hostile + key).ok());
        QVERIFY(SettingsStore().saveValue({}, u"Int"_s, ValueKind::Int32, -2147483647 - 1).ok());
        SettingsStore reread;
        for (const auto &[section, key] : keys)
            QCOMPARE(reread.loadValue(section.toUpper(), key.toUpper(), ValueKind::Text).toString(),
                     hostile + key);
        QCOMPARE(reread.loadValue({}, u"int"_s, ValueKind::Int32, 5).toInt(), -2147483647 - 1);

        QByteArray garbage("\n[Colors]\nmessage%20color=notanumber\n[=\n\\\\\\\n");
        for (int i = 0; i < 5000; ++i)
            garbage.append(char((i * 7919) % 256));
        env.touch(u"config/Greyhollow Studios/Quillet IM.conf"_s, garbage);
        restart();
        QCOMPARE(values(appSettings()), values(SettingsRecord{}));
        QVERIFY(!userId.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
