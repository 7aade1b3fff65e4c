#include "settings/settingsdialog.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>

#include "core/chatcontext.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "settings/autostartentry.h"
#include "settings/colorbutton.h"
#include "settings/settings.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const char *const Flags[] = {"chkSendOnEnter",     "chkiChatStylePlugin",   "chkNameOnSeparateLine",
                             "chkSortLogsList",    "chkSortLogsDescending", "chkShowDebugMessages",
                             "chkNewMessageSound", "chkShowEarlierMessages"};
constexpr int FlagCount = int(std::size(Flags));
const char *const Colours[] = {"cmdMessageColor", "cmdMyNameColor", "cmdOtherNameColor",
                               "cmdSystemColor"};

QList<qint64> values(const SettingsRecord &r)
{
    QList<qint64> flags{r.sendOnEnter,     r.timeStamps,         r.nameOnSeparateLine,
                        r.sortLogsList,    r.sortLogsDescending, r.showDebugMessages,
                        r.newMessageSound, r.showEarlierMessages};
    for (const QColor &colour : {r.messageColor, r.myNameColor, r.otherNameColor, r.systemColor})
        flags.append(rgbValueFromColor(colour));
    return flags;
}

// Settings as a new start of the program reads them from the store.
QList<qint64> stored()
{
    const SettingsRecord running = appSettings();
    loadSettings();
    return values(std::exchange(appSettings(), running));
}

} // namespace

// The settings dialog driven through its real widgets; boxes and colour
// dialogs are answered through their seams.
class TestSettingsDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QWidget> m_owner;
    QStringList m_answers; // "yes", "no", "cancel" or the text typed into an input box
    QStringList m_boxes;   // "question:<entry>", "input:<offered>", "done" or "error"
    ChatContext m_chat;

    SettingsDialog *open()
    {
        showSettingsDialog(m_owner.get(), m_chat);
        return SettingsDialog::instance();
    }
    template <class W = QAbstractButton> static W *child(const char *name)
    {
        return SettingsDialog::instance()->findChild<W *>(QLatin1String(name));
    }
    static void click(const char *name) { QTest::mouseClick(child(name), Qt::LeftButton); }
    static bool closed()
    {
        return QTest::qWaitFor([] { return !SettingsDialog::instance(); });
    }

    BoxReply answer(const BoxRequest &request)
    {
        const QString next = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
        if (request.kind == BoxRequest::Kind::Input)
            m_boxes << u"input:"_s + request.offered;
        else if (request.style.buttons == BoxButtons::YesNoCancel)
            m_boxes << u"question:"_s + fileNameOf(request.text.section(u"\r\n"_s, 0, 0));
        else
            m_boxes << (request.style.icon == BoxIcon::Information ? u"done"_s : u"error"_s);
        return {next == "yes"_L1  ? BoxAnswer::Yes
                : next == "no"_L1 ? BoxAnswer::No
                                  : BoxAnswer::Cancel,
                next};
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        appSettings() = SettingsRecord{};
        m_owner = std::make_unique<QWidget>();
        m_owner->show();
        m_answers.clear();
        m_boxes.clear();
        Boxes::setHandler([this](const BoxRequest &request) { return answer(request); });
    }

    void cleanup()
    {
        m_owner.reset(); // takes the settings window with it
        QVERIFY(!SettingsDialog::instance());
        QCOMPARE(m_boxes, QStringList()); // no box but those a test expects
        m_chat = {};
    }

    // Each box shows its own setting, and OK stores each one toggled; a store
    // that cannot be written is reported and the window stays.
    void okStoresWhatTheUserChanged()
    {
        appSettings() = {true, Qt::red, QColor(0x060504), QColor(0x090807), Qt::blue, false, true};
        appSettings().sortLogsDescending = appSettings().newMessageSound = false;
        QList<qint64> expected = values(appSettings());
        SettingsDialog *window = open();
        for (int i = 0; i < FlagCount; ++i) {
            QCOMPARE(child<QCheckBox>(Flags[i])->isChecked(), bool(expected[i]));
            expected[i] = !expected[i];
            click(Flags[i]);
        }
        for (int i = 0; i < 4; ++i)
            QCOMPARE(rgbValueFromColor(child<ColorButton>(Colours[i])->color()),
                     expected[FlagCount + i]);
        QVERIFY(QDir().mkpath(SettingsStore::filePath())); // a store that cannot be written:
        click("cmdOk");                                    // reported, the window stays
        QCOMPARE(std::exchange(m_boxes, {}), QStringList{u"error"_s});
        QVERIFY(SettingsDialog::instance() == window && window->isVisible());
        QVERIFY(QDir().rmdir(SettingsStore::filePath()));
        click("cmdOk");
        QVERIFY(closed());
        QCOMPARE(values(appSettings()), expected);
        QCOMPARE(stored(), expected);
    }

    // Enter on a check box is OK, Esc discards the edits, and
    // Cancel keeps what Apply saved; shown again while open, the same window
    // keeps its edits.
    void closing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("saved");
        QTest::newRow("Enter") << u"enter"_s << true;
        QTest::newRow("Esc") << u"esc"_s << false;
        QTest::newRow("Apply, then Cancel") << u"apply"_s << true;
    }
    void closing()
    {
        QFETCH(QString, how);
        QFETCH(bool, saved);
        SettingsDialog *window = open();
        click("chkSortLogsDescending");
        QCOMPARE(open(), window);
        auto *box = child<QCheckBox>("chkSortLogsDescending");
        QVERIFY(!box->isChecked());
        if (how == "apply"_L1) {
            click("cmdApply");
            click("chkShowDebugMessages");
            click("cmdCancel");
        } else {
            QTest::keyClick(box, how == "esc"_L1 ? Qt::Key_Escape : Qt::Key_Return);
        }
        QVERIFY(closed());
        const QList<qint64> expected = values({.sortLogsDescending = !saved});
        QCOMPARE(values(appSettings()), expected);
        QCOMPARE(stored(), expected);
    }

    // The autostart button: the question loop over the entry's name, then the
    // entry that starts this program hidden with the current chat.
    void autostart_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("written");
        const QString chat = u"Беседа.QLIMChat.desktop"_s;
        const QString asked = u"question:"_s + chat;
        const QString offered = u"input:Беседа.QLIMChat"_s;
        QTest::newRow("yes replaces")
            << QStringList{chat} << QStringList{u"yes"_s} << QStringList{asked, u"done"_s} << chat;
        QTest::newRow("no, then a name that exists too")
            << QStringList{chat, u"Семья.desktop"_s}
            << QStringList{u"no"_s, u"Семья"_s, u"no"_s, u"Работа"_s}
            << QStringList{asked, offered, u"question:Семья.desktop"_s, u"input:Семья"_s, u"done"_s}
            << u"Работа.desktop"_s;
        QTest::newRow("a name leading out of the folder")
            << QStringList{chat} << QStringList{u"no"_s, u"../../evil"_s}
            << QStringList{asked, offered, u"error"_s} << QString();
    }
    void autostart()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, answers);
        QFETCH(QString, written);
        const QString folder = m_env->path(u"config/autostart/"_s);
        for (const QString &name : existing)
            m_env->touch(u"config/autostart/"_s + name, "old");
        m_chat.chatFile = m_env->touch(u"chats/Чат \"$HOME\" `id` 100%/Беседа.QLIMChat"_s);
        m_chat.exchangeFolder = parentFolder(m_chat.chatFile);
        m_answers = answers;
        open();
        click("cmdAddToAutorun");
        QTEST(std::exchange(m_boxes, {}), "boxes");
        for (const QString &name : existing)
            QCOMPARE(TestEnvironment::readAll(folder + name) == u"old"_s, name != written);
        QVERIFY(!QFileInfo::exists(m_env->path(u"evil.desktop"_s)));
        if (written.isEmpty())
            return;
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(),
                 existing.size() + !existing.contains(written));
        const AutostartEntry entry{written.chopped(8),    QCoreApplication::applicationFilePath(),
                                   QStringList(u"/H"_s),  m_chat.chatFile,
                                   m_chat.exchangeFolder, u"quillet-im"_s};
        QCOMPARE(TestEnvironment::readAll(folder + written).toUtf8(),
                 desktopEntryText(entry).value());
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
