#include "settings/settingsdialog.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QLineEdit>
#include <QTimer>

#include "core/appstate.h"
#include "core/support.h"
#include "core/settingsstore.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "settings/autostartentry.h"
#include "settings/colorbutton.h"
#include "settings/settings.h"

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const char *const Flags[] = {"chkSendOnEnter",  "chkiChatStylePlugin",   "chkNameOnSeparateLine",
                             "chkSortLogsList", "chkSortLogsDescending", "chkShowDebugMessages"};
const char *const Colours[] = {"cmdMessageColor", "cmdMyNameColor", "cmdOtherNameColor",
                               "cmdSystemColor"};

QList<qint64> values(const SettingsRecord &r)
{
    return {r.sendOnEnter,  r.timeStamps,         r.nameOnSeparateLine, r.sortLogsList,
            r.sortLogsDescending, r.showDebugMessages, r.messageColor,  r.myNameColor,
            r.otherNameColor,     r.systemColor};
}

// Settings as a new start of the program reads them from the store.
SettingsRecord stored()
{
    const SettingsRecord running = appSettings();
    loadSettings();
    return std::exchange(appSettings(), running);
}

QString storedCustomColors()
{
    return SettingsStore().loadValue(u"Colors"_s, u"Custom Colors"_s, ValueKind::Text).toString();
}

void openChat(const QString &chatFile)
{
    ChatFilePath = chatFile;
    ExchangeFolderPath = chatFile.isEmpty() ? QString() : parentFolder(chatFile);
}

} // namespace

// The settings dialog driven through its real widgets; boxes and, but for the
// modality test, colour dialogs are answered through their seams.
class TestSettingsDialog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QWidget> m_owner;
    QStringList m_answers; // scripted box answers: "yes", "no", "cancel", "input:<text>"
    QStringList m_boxes;   // "question:<entry name>", "input:<offered>", "done" or "error"
    bool m_boxesExpected = false;

    SettingsDialog *open()
    {
        showSettingsDialog(m_owner.get());
        return SettingsDialog::instance();
    }
    template <class W = QAbstractButton> static W *child(const char *name)
    {
        return SettingsDialog::instance()->findChild<W *>(QLatin1String(name));
    }
    static void click(const char *name) { QTest::mouseClick(child(name), Qt::LeftButton); }
    static void waitClosed()
    {
        QTRY_VERIFY(!SettingsDialog::instance());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    BoxReply answer(const BoxRequest &request)
    {
        if (!m_boxesExpected)
            QTest::qFail(qPrintable(u"unexpected box: "_s + request.text), __FILE__, __LINE__);
        if (request.kind == BoxRequest::Kind::Input) {
            m_boxes.append(u"input:"_s + request.offered);
            const QString next = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
            return {BoxAnswer::Ok, next.mid(next.indexOf(':'_L1) + 1)};
        }
        if (request.style == BoxStyle{BoxButtons::YesNoCancel, BoxIcon::Warning}) {
            m_boxes.append(u"question:"_s + fileNameOf(request.text.section(u"\r\n"_s, 0, 0)));
            const QString next = m_answers.isEmpty() ? u"cancel"_s : m_answers.takeFirst();
            return {next == "yes"_L1 ? BoxAnswer::Yes
                                     : (next == "no"_L1 ? BoxAnswer::No : BoxAnswer::Cancel),
                    {}};
        }
        const bool done = request.style == BoxStyle{BoxButtons::Ok, BoxIcon::Information};
        m_boxes.append(done ? u"done"_s : u"error"_s);
        return {BoxAnswer::Ok, {}};
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
        m_boxesExpected = false;
        Boxes::setHandler([this](const BoxRequest &request) { return answer(request); });
    }

    void cleanup()
    {
        m_owner.reset(); // takes the settings window with it
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!SettingsDialog::instance());
        ColorDialog::resetHandler();
        Boxes::resetHandler();
        openChat({});
        m_env.reset();
    }

    // Each box shows its own setting, and OK stores each toggled one.
    void okStoresWhatTheUserChanged()
    {
        const SettingsRecord shown{true,     0x0000FF, 0x040506, 0x070809, 0xFF0000,
                                   false,    true,     false,    true,     false};
        appSettings() = shown;
        SettingsDialog *window = open();
        QCOMPARE(window->parentWidget(), m_owner.get());
        QVERIFY(!window->isModal());
        QList<qint64> expected = values(shown);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(qint64(child<QCheckBox>(Flags[i])->isChecked()), expected[i]);
            expected[i] = !expected[i];
            click(Flags[i]);
        }
        for (int i = 0; i < 4; ++i)
            QCOMPARE(child<ColorButton>(Colours[i])->color(), expected[6 + i]);
        const QImage face = child<ColorButton>("cmdMessageColor")->grab().toImage();
        QCOMPARE(face.pixelColor(face.rect().center()), QColor(255, 0, 0)); // 0x0000FF is red
        click("cmdOk");
        waitClosed();
        QCOMPARE(values(appSettings()), expected);
        QCOMPARE(values(stored()), expected);
    }

    void applyThenCancelKeepsTheAppliedValues()
    {
        open();
        click("chkSendOnEnter");
        click("cmdApply");
        QVERIFY(SettingsDialog::instance());
        click("chkShowDebugMessages");
        click("cmdCancel");
        waitClosed();
        SettingsRecord expected;
        expected.sendOnEnter = true;
        QCOMPARE(values(appSettings()), values(expected));
        QCOMPARE(values(stored()), values(expected));
    }

    // Enter on a check box is OK; Esc and the close box discard the edits.
    void keysAndCloseBox_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("saved");
        QTest::newRow("Enter") << int(Qt::Key_Return) << true;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << false;
        QTest::newRow("close box") << 0 << false;
    }
    void keysAndCloseBox()
    {
        QFETCH(int, key);
        QFETCH(bool, saved);
        SettingsDialog *window = open();
        click("chkSortLogsDescending");
        auto *box = child<QCheckBox>("chkSortLogsDescending");
        box->setFocus();
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else
            QVERIFY(window->close());
        waitClosed();
        QCOMPARE(appSettings().sortLogsDescending, !saved);
        QCOMPARE(stored().sortLogsDescending, !saved);
    }

    // Shown again while open: the same window, edits kept; after Cancel: fresh.
    void showingAgain()
    {
        SettingsDialog *window = open();
        click("chkSendOnEnter");
        QCOMPARE(open(), window);
        QVERIFY(child<QCheckBox>("chkSendOnEnter")->isChecked());
        click("cmdCancel");
        waitClosed();
        QVERIFY(!open()->findChild<QCheckBox *>(u"chkSendOnEnter"_s)->isChecked());
    }

    // A confirmed colour stores the custom colours at once and the colour only
    // with OK; the next dialog is offered them; a cancelled one changes nothing.
    void colourDialogs()
    {
        QList<ColorDialog::Request> requests;
        ColorDialog::setHandler([&](const ColorDialog::Request &request) {
            requests.append(request);
            return ColorDialog::Reply{requests.size() == 1, 0x00123456, u"1,2,%1"_s.arg(requests.size())};
        });
        SettingsDialog *window = open();
        click("cmdMyNameColor");
        QCOMPARE(requests.at(0).color, SettingsRecord{}.myNameColor);
        QCOMPARE(requests.at(0).owner, window);
        QCOMPARE(child<ColorButton>("cmdMyNameColor")->color(), 0x00123456);
        QCOMPARE(storedCustomColors(), u"1,2,1"_s);
        click("cmdSystemColor");
        QCOMPARE(requests.at(1).customColors, u"1,2,1"_s);
        QCOMPARE(child<ColorButton>("cmdSystemColor")->color(), SettingsRecord{}.systemColor);
        QCOMPARE(storedCustomColors(), u"1,2,1"_s);
        click("cmdCancel");
        waitClosed();
        QCOMPARE(values(stored()), values(SettingsRecord{}));
        QCOMPARE(storedCustomColors(), u"1,2,1"_s);
    }

    // A screen reader tells the four captionless colour buttons apart.
    void colourButtonsHaveNames()
    {
        open();
        QStringList names;
        for (const char *name : Colours)
            names << QAccessible::queryAccessibleInterface(child(name))->text(QAccessible::Name);
        names.removeAll(QString());
        names.removeDuplicates();
        QCOMPARE(names.size(), 4);
    }

    // A store that cannot be written: OK reports it and leaves the window open.
    void failedSaveIsReportedAndWindowStays()
    {
        m_boxesExpected = true;
        SettingsDialog *window = open();
        click("chkSendOnEnter");
        QVERIFY(QDir().mkpath(SettingsStore::filePath())); // a folder where the file belongs
        click("cmdOk");
        QCOMPARE(m_boxes, QStringList{u"error"_s});
        QCOMPARE(SettingsDialog::instance(), window);
        QVERIFY(window->isVisible());
    }

    // The real colour dialog blocks the settings window, not the chat window
    // below it; a click or a key on the settings window changes nothing there.
    void colourDialogBlocksOnlyItsOwner()
    {
        auto *typing = new QLineEdit(m_owner.get());
        typing->show();
        SettingsDialog *window = open();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCheckBox *box = child<QCheckBox>("chkSendOnEnter");
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = window->findChild<QColorDialog *>();
            shown = dialog && dialog->isVisible();
            typing->setFocus();
            for (char key : {'a', 'b', 'c'})
                QTest::keyClick(m_owner->windowHandle(), key);
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                              box->mapTo(window, box->rect().center()));
            QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
            if (dialog) {
                dialog->setCurrentColor(QColor(0x12, 0x34, 0x56));
                dialog->accept();
            }
        });
        click("cmdMessageColor");
        QVERIFY(shown);
        QCOMPARE(typing->text(), u"abc"_s);
        QVERIFY(!box->isChecked());
        QCOMPARE(SettingsDialog::instance(), window);
        QCOMPARE(child<ColorButton>("cmdMessageColor")->color(), 0x563412);
        click("chkSendOnEnter"); // the settings window takes input again
        QVERIFY(box->isChecked());
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
        const QString done = u"done"_s;
        QTest::newRow("free name") << QStringList{} << QStringList{} << QStringList{done} << chat;
        QTest::newRow("yes replaces") << QStringList{chat} << QStringList{u"yes"_s}
                                      << QStringList{asked, done} << chat;
        QTest::newRow("no, then a name that exists too")
            << QStringList{chat, u"Семья.desktop"_s}
            << QStringList{u"no"_s, u"input:Семья"_s, u"no"_s, u"input:Работа"_s}
            << QStringList{asked, offered, u"question:Семья.desktop"_s, u"input:Семья"_s, done}
            << u"Работа.desktop"_s;
        QTest::newRow("no, then nothing") << QStringList{chat} << QStringList{u"no"_s, u"input:"_s}
                                          << QStringList{asked, offered} << QString();
        QTest::newRow("cancel") << QStringList{chat} << QStringList{u"cancel"_s}
                                << QStringList{asked} << QString();
        QTest::newRow("a name leading out of the folder")
            << QStringList{chat} << QStringList{u"no"_s, u"input:../../evil"_s}
            << QStringList{asked, offered, u"error"_s} << QString();
        QTest::newRow("autostart folder is a file")
            << QStringList{QString()} << QStringList{} << QStringList{u"error"_s} << QString();
    }

    void autostart()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, boxes);
        QFETCH(QString, written);
        m_boxesExpected = true;
        const QString folder = m_env->path(u"config/autostart"_s);
        for (const QString &name : existing)
            m_env->touch(u"config/autostart"_s + (name.isEmpty() ? name : '/'_L1 + name), "old");
        openChat(m_env->touch(u"chats/Чат \"$HOME\" `id` 100%/Беседа.QLIMChat"_s));
        m_answers = answers;
        open();
        click("cmdAddToAutorun");
        QCOMPARE(m_boxes, boxes);
        QVERIFY(SettingsDialog::instance());
        QStringList expected = existing;
        if (!written.isEmpty() && !existing.contains(written))
            expected.append(written);
        expected.sort();
        if (QFileInfo(folder).isDir())
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        for (const QString &name : existing) {
            if (name != written)
                QCOMPARE(TestEnvironment::readAll(folder + '/'_L1 + name), u"old"_s);
        }
        QVERIFY(!QFileInfo::exists(m_env->path(u"evil.desktop"_s)));
        if (written.isEmpty())
            return;
        const AutostartEntry entry{written.chopped(8),     QCoreApplication::applicationFilePath(),
                                   {u"/H"_s},              ChatFilePath,
                                   ExchangeFolderPath,     u"quillet-im"_s};
        QCOMPARE(TestEnvironment::readAll(folder + '/'_L1 + written).toUtf8(),
                 desktopEntryText(entry).value());
    }
};

// The colour dialog counts as cancelled on the offscreen platform, where nobody
// could answer it; the minimal platform shows it as a desktop would.
int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "minimal");
    QApplication app(argc, argv);
    TestSettingsDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsdialog.moc"
