#include "chatwindow/chatwindow.h"

#include "chatwindow/filesending.h"
#include "chatwindow/messagerenderer.h"
#include "chatwindow/spellingmenu.h"
#include "chatwindow/trayavailability.h"
#include "chatwindow/trayblinker.h"
#include "core/chatcontext.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "core/textfile.h"
#include "exchange/messagefile.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/picturebutton.h"
#include "logsviewer/logsviewer.h"
#include "richtext/rtftextscanner.h"
#include "settings/settings.h"
#include "settings/settingsdialog.h"
#include "spelling/spellinghighlighter.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDBusConnection>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString MyGuid = u"{11111111-2222-3333-4444-555555555555}"_s;
const QString FalseAlarm = u"dispatchAll() ==> Ложное срабатывание."_s;

// The chat that the windows of this test open.
ChatContext chat;

QStringList messageFiles()
{
    return QDir(chat.exchangeFolder).entryList({u"*.QLIM"_s}, QDir::Files, QDir::Name);
}

// Files as file managers offer them: their URLs, and their paths as text.
QMimeData *fileUrls(const QStringList &files)
{
    auto *mime = new QMimeData;
    mime->setText(files.join('\n'_L1));
    QList<QUrl> urls;
    for (const QString &file : files)
        urls.append(QUrl::fromLocalFile(file));
    mime->setUrls(urls);
    return mime;
}

// Drags and drops through the window system onto the middle of `target`.
void drop(QWidget *target, const QStringList &files)
{
    const std::unique_ptr<QMimeData> mime(fileUrls(files));
    const QPoint at = target->mapTo(target->window(), target->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(target->window()->windowHandle(), &enter);
    QDropEvent dropped(at, Qt::CopyAction, mime.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(target->window()->windowHandle(), &dropped);
}

// The one message sent, once it is there, with each of its files checked
// against its source: name and bytes.
ReceivedMessage sentMessage(const QStringList &sources)
{
    ReceivedMessage message;
    [&] {
        QTRY_COMPARE(messageFiles().size(), 1);
        const Result<ReceivedMessage> read =
            readMessageFile(chat.exchangeFolder + '/'_L1 + messageFiles().at(0), MyGuid);
        QVERIFY(read.ok());
        message = read.value();
        QCOMPARE(message.attachments.size(), sources.size());
        for (qsizetype i = 0; i < sources.size(); ++i) {
            const Attachment &file = message.attachments.at(i);
            QCOMPARE(file.name(), fileNameOf(sources.at(i)));
            QCOMPARE(fileBytes(chat.exchangeFolder + '/'_L1 + file.path), fileBytes(sources.at(i)));
        }
    }();
    return message;
}

// A notification service as desktops run one; every notification is recorded.
class NotificationServer final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Note
    {
        QString summary, body;
    };
    QList<Note> notes;
    QStringList capabilities;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        notes.append({summary, body});
        return uint(notes.size());
    }
    void CloseNotification(uint) {}
    QStringList GetCapabilities() { return capabilities; }
};

} // namespace

class tst_ChatWindow final : public QObject
{
    Q_OBJECT

private:
    QString viewText() const
    {
        return m_window->findChild<QTextEdit *>(u"rtfLog"_s)->toPlainText();
    }
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ChatWindow> m_window;
    QList<BoxRequest> m_boxes;
    QList<BoxAnswer> m_answers;
    QTemporaryDir m_busDir;
    QProcess m_bus; // a session bus of our own, whose configuration activates no service
    QDBusConnection m_serviceBus{QString()};
    NotificationServer m_server;

    ChatWindow *openWindow(bool show = true)
    {
        ChatContext context = chat;
        context.startHidden = !show;
        m_window = std::make_unique<ChatWindow>(context);
        m_window->startSession();
        if (show) {
            m_window->show();
            m_window->activateWindow();
            [&] { QVERIFY(QTest::qWaitForWindowActive(m_window.get())); }();
        }
        return m_window.get();
    }

private slots:
    void cleanup()
    {
        delete SettingsDialog::instance();
        delete LogsViewer::instance();
        m_window.reset();
        Boxes::resetHandler();
        Clock::reset();
        QVERIFY2(std::exchange(m_boxes, {}).isEmpty(), "an unexpected box");
    }

    void initTestCase()
    {
        // The desktop's settings in a file of each test's home, as gsettings keeps
        // them without a session bus.
        qputenv("GSETTINGS_BACKEND", "keyfile");
        // Before anything asks for the session bus: every notifier talks to ours.
        QFile config(m_busDir.filePath(u"bus.conf"_s));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(
            "<busconfig><type>session</type><listen>unix:dir=" +
            QFile::encodeName(m_busDir.path()) + "</listen><auth>EXTERNAL</auth>" +
            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>" +
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        config.close();
        m_bus.start(u"dbus-daemon"_s,
                    {u"--nofork"_s, u"--print-address"_s, u"--config-file="_s + config.fileName()});
        if (!m_bus.waitForReadyRead(10000))
            return;
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        m_serviceBus = QDBusConnection::connectToBus(address, u"notification-service"_s);
        QVERIFY(m_serviceBus.registerService(u"org.freedesktop.Notifications"_s));
        QVERIFY(m_serviceBus.registerObject(u"/org/freedesktop/Notifications"_s, &m_server,
                                            QDBusConnection::ExportAllSlots));
    }

    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        // Sounds play into ALSA's null device: they start as with a sound card.
        m_env->touch(u"home/.asoundrc"_s, "pcm.!default { type null }\n");
        const QString chatFile = m_env->touch(u"chats/team.QLIMChat"_s);
        chat = {chatFile, parentFolder(chatFile), MyGuid};
        appSettings() = SettingsRecord{};
        overrideTrayAvailable(true);
        m_answers.clear();
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{m_answers.isEmpty() ? BoxAnswer::Ok : m_answers.takeFirst(), {}};
        });
    }

    void keyMap_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("sendOnEnter");
        QTest::addColumn<QString>("effect");
        QTest::addColumn<QString>("text"); // of the focused box afterwards; null: not checked
        using M = Qt::KeyboardModifiers;
        const M none, shift(Qt::ShiftModifier), ctrl(Qt::ControlModifier),
            keypad(Qt::KeypadModifier), ctrlShift = ctrl | shift;
        const QString msg = u"txtMessage"_s, name = u"txtUserName"_s, log = u"rtfLog"_s;
        const QString hi = u"hello"_s, broken = u"hello\n"_s, any;
        const int enter = Qt::Key_Return, esc = Qt::Key_Escape, f9 = Qt::Key_F9;
        const int l = Qt::Key_L, zero = Qt::Key_0;
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("Enter sends (on)") << enter << none << msg << true << "sent" << u""_s;
        row("keypad Enter sends (on)")
            << int(Qt::Key_Enter) << keypad << msg << true << "sent" << u""_s;
        row("Shift+Enter breaks (on)") << enter << shift << msg << true << "" << broken;
        row("Ctrl+Enter nothing (on)") << enter << ctrl << msg << true << "" << any;
        row("Ctrl+Enter sends (off)") << enter << ctrl << msg << false << "sent" << u""_s;
        row("Enter breaks (off)") << enter << none << msg << false << "" << broken;
        row("Ctrl+Shift+Enter nothing (off)") << enter << ctrlShift << msg << false << "" << any;
        row("Enter in user name") << enter << none << name << true << "" << hi;
        row("Esc in message box") << esc << none << msg << true << "hidden" << hi;
        row("Shift+Esc exits") << esc << shift << msg << true << "exit" << any;
        row("Ctrl+Esc nothing") << esc << ctrl << msg << true << "" << hi;
        row("F9 settings") << f9 << none << log << true << "settings" << any;
        row("Shift+F9 nothing") << f9 << shift << msg << true << "" << hi;
        row("Ctrl+L logs") << l << ctrl << name << true << "logs" << hi;
        row("Ctrl+Shift+L nothing") << l << ctrlShift << msg << true << "" << hi;
        row("Ctrl+0 transparent") << zero << ctrl << msg << true << "75%" << hi;
        row("Ctrl+keypad 0 nothing") << zero << (ctrl | keypad) << log << true << "" << any;
    }

    // Each key through the window system into the focused widget, as typed.
    void keyMap()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, focus);
        QFETCH(bool, sendOnEnter);
        QFETCH(QString, effect);
        QFETCH(QString, text);
        appSettings().sendOnEnter = sendOnEnter;
        ChatWindow *window = openWindow();
        QSignalSpy ended(window, &ChatWindow::sessionEnded);
        auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
        auto *name = window->findChild<QLineEdit *>(u"txtUserName"_s);
        box->setPlainText(u"hello"_s);
        box->moveCursor(QTextCursor::End);
        name->setText(u"hello"_s);
        window->findChild<QWidget *>(focus)->setFocus();

        QTest::keyClick(window->windowHandle(), Qt::Key(key), modifiers);
        QCOMPARE(messageFiles().size(), effect == "sent"_L1 ? 1 : 0);
        if (!text.isNull())
            QCOMPARE(focus == u"txtUserName"_s ? name->text() : box->toPlainText(), text);
        QCOMPARE(window->isHidden(), effect == "hidden"_L1 || effect == "exit"_L1);
        QCOMPARE(ended.count(), effect == "exit"_L1 ? 1 : 0);
        QCOMPARE(SettingsDialog::instance() != nullptr, effect == "settings"_L1);
        QCOMPARE(LogsViewer::instance() != nullptr, effect == "logs"_L1);
        QCOMPARE(window->opacityPercent(), effect == "75%"_L1 ? 75 : 0);
    }

    void closeDecision_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("logBlocked");
        QTest::addColumn<QList<BoxAnswer>>("answers"); // to the boxes expected
        QTest::addColumn<QString>("outcome");
        const QList<BoxAnswer> none, abort{BoxAnswer::Abort},
            retry{BoxAnswer::Retry, BoxAnswer::Ignore};
        const auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("close box hides to the tray") << "closeBox" << true << false << none << "hidden";
        row("close box minimises without tray")
            << "closeBox" << false << false << none << "minimised";
        row("Shift+close box exits") << "shiftClose" << true << false << none << "exit";
        row("unsaved log, Abort") << "trayExit" << true << true << abort << "running";
        row("unsaved log, Retry asks again") << "exitButton" << true << true << retry << "exit";
        row("end of desktop session") << "quit" << true << false << none << "exit";
        row("end of desktop session asks nothing") << "quit" << true << true << none << "exit";
        row("checkpoint") << "checkpoint" << true << false << none << "running";
        row("checkpoint asks nothing") << "checkpoint" << true << true << none << "running";
    }

    // What each way of closing does: hide, minimise, exit saving log and name, or
    // go on (the user aborted an exit whose log could not be saved).
    void closeDecision()
    {
        QFETCH(QString, action);
        QFETCH(bool, tray);
        QFETCH(bool, logBlocked);
        QFETCH(QList<BoxAnswer>, answers);
        QFETCH(QString, outcome);
        overrideTrayAvailable(tray);
        // The message comes while no log can be saved, as a file stands where the logs belong.
        const QString blocker = m_env->touch(u"data/Greyhollow Studios/Quillet IM/Logs"_s);
        ChatWindow *window = openWindow();
        window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"Пётр"_s);
        writeForeignMessage(chat.exchangeFolder, 10, 0, 0, u"guest"_s, u"kept text"_s);
        QTRY_VERIFY(viewText().contains(u"kept text"_s));
        QSignalSpy ended(window, &ChatWindow::sessionEnded);
        if (!logBlocked) // the save at the close, or none, brings it to disk
            QVERIFY(QFile::remove(blocker));
        m_answers = answers;

        QCloseEvent close; // through the window system, as the desktop sends it
        if (action == "closeBox"_L1) {
            QCoreApplication::sendEvent(window->windowHandle(), &close);
        } else if (action == "shiftClose"_L1) {
            QTest::keyPress(window->windowHandle(), Qt::Key_Shift, Qt::ShiftModifier);
            QCoreApplication::sendEvent(window->windowHandle(), &close);
            QTest::keyRelease(window->windowHandle(), Qt::Key_Shift, Qt::NoModifier);
        } else if (action == "trayExit"_L1) {
            window->findChild<QAction *>(u"mnuContext2"_s)->trigger();
        } else if (action == "exitButton"_L1) {
            window->findChild<PictureButton *>(u"ucbExit"_s)->click();
        } else if (action == "quit"_L1) {
            window->endDesktopSession();
        } else {
            window->saveCheckpoint();
        }
        const bool exited = outcome == "exit"_L1;
        QCOMPARE(ended.count(), exited ? 1 : 0);
        QCOMPARE(m_boxes.size(), answers.size());
        QCOMPARE(window->isHidden(), exited || outcome == "hidden"_L1);
        QTRY_COMPARE(window->isMinimized(), outcome == "minimised"_L1);
        const bool saved = exited || action == "checkpoint"_L1;
        QCOMPARE(TestEnvironment::readAll(window->logFilePath()).contains(u"kept text"_s),
                 saved && !logBlocked);
        if (saved)
            QCOMPARE(SettingsStore().loadValue(u"Nicks"_s, chat.chatFile, ValueKind::Text),
                     u"Пётр"_s);
        if (!exited && !m_boxes.isEmpty()) { // the aborted exit is over: a close box hides
            QCoreApplication::sendEvent(window->windowHandle(), &close);
            QVERIFY(window->isHidden() && m_boxes.size() == 1 && ended.isEmpty());
        }
        m_boxes.clear();
    }

    // The tray icon blinks for messages that arrive while the window is hidden or
    // behind another, and stops when the window is activated.
    void blinkingAndUserName()
    {
        ChatWindow *window = openWindow();
        auto *blinker = window->findChild<TrayBlinker *>();
        auto *tray = window->findChild<QSystemTrayIcon *>();
        const qint64 restIcon = tray->icon().cacheKey();
        QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
        QSignalSpy icons(blinker, &TrayBlinker::iconChanged);
        writeForeignMessage(chat.exchangeFolder, 10, 0, 2, u"guest"_s, u"while hidden"_s);
        QTRY_VERIFY(icons.count() >= 3); // the message and the empty icon in turn
        const auto key = [&](int i) { return icons.at(i).at(0).value<QIcon>().cacheKey(); };
        QVERIFY(key(0) != key(1) && key(0) == key(2) && key(1) != restIcon);

        // The title counts the messages waiting, not the program's own lines.
        const QString title = window->windowTitle().mid(4);
        QCOMPARE(window->windowTitle(), u"(1) "_s + title);
        for (int second = 3; second < 23; ++second) // more than one slice of the batch
            writeForeignMessage(chat.exchangeFolder, 10, 0, second, u"guest"_s, u"batch"_s);
        m_env->touch(u"chats/2026-12-05 10-00-23-00-000 {HUGE}.QLIM"_s, QByteArray(5 << 20, 'x'));
        QTRY_VERIFY(viewText().contains(u"Код"_s)); // the huge file's error line, shown last
        QCOMPARE(window->windowTitle(), u"(21) "_s + title);

        tray->contextMenu()->actions().at(0)->trigger();
        QApplication::setActiveWindow(window); // the desktop would; offscreen leaves it to us
        QTRY_VERIFY(!blinker->isBlinking());
        QCOMPARE(tray->icon().cacheKey(), restIcon);
        QCOMPARE(window->windowTitle(), title);
        // A tray that goes away takes the hidden window's only way back: it comes back minimised.
        QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
        overrideTrayAvailable(false);
        QTRY_VERIFY(!window->isHidden() && window->isMinimized());
        // A chat's user name comes back when the chat is opened again.
        window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"Пётр"_s);
        window->saveCheckpoint();
        m_window.reset();
        QCOMPARE(openWindow()->findChild<QLineEdit *>(u"txtUserName"_s)->text(), u"Пётр"_s);
    }

    // The spelling preference switches the running chat's message box at once.
    void spellingPreference()
    {
        ChatWindow *window = openWindow();
        auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
        box->setPlainText(u"Превет, как дила? "_s);
        const auto marked = [box] {
            return !box->document()->firstBlock().layout()->formats().isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(marked(), 30000);
        const auto setSpelling = [window](bool on) {
            QTest::keyClick(window->windowHandle(), Qt::Key_F9);
            QVERIFY(SettingsDialog::instance());
            auto *check = SettingsDialog::instance()->findChild<QCheckBox *>(u"chkCheckSpelling"_s);
            check->setChecked(on);
            QTest::mouseClick(SettingsDialog::instance()->findChild<QPushButton *>(u"cmdOk"_s),
                              Qt::LeftButton);
        };
        setSpelling(false);
        QTRY_VERIFY(!marked());
        box->setPlainText(box->toPlainText()); // an edit while off is not checked
        QVERIFY(!marked() && !window->findChild<MessageSpelling *>()->highlighter()->isChecking());
        setSpelling(true);
        QTRY_VERIFY_WITH_TIMEOUT(marked(), 30000);
        QCOMPARE(box->toPlainText(), u"Превет, как дила? "_s);
    }

    // A chat opens with the end of its earlier logs above a separator: shown
    // only, neither counted as waiting nor written again into the new log.
    void earlierMessagesWhenTheChatOpens()
    {
        Clock::setFixedUtc(QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC));
        Attachment report{u"Files/{6F9619FF-8B86-D011-B42D-00C04FC964FF}/отчёт.pdf"_s,
                          8,
                          QByteArray(32, 'h'),
                          u"application/pdf"_s,
                          {}};
        {
            QTextEdit view;
            MessageRenderer(&view, &view, chat.chatFile, chat.exchangeFolder)
                .renderMessage({{u"anna"_s,
                                 u"old\r\nline two"_s,
                                 Clock::utcMessageTime(),
                                 MessageKind::Other,
                                 {report}},
                                {}});
        }
        Clock::reset();
        ChatWindow *window = openWindow(false);
        const QString separator = u"Ранее в этом чате"_s;
        QTRY_VERIFY(viewText().contains(separator));
        const qsizetype old = viewText().indexOf(u"old\nline two"_s);
        QVERIFY(old >= 0 && old < viewText().indexOf(separator));
        // The file sent with it is a link to the file again.
        auto *view = window->findChild<QTextEdit *>(u"rtfLog"_s);
        QTextCursor onFile(view->document());
        onFile.setPosition(int(viewText().indexOf(u"отчёт.pdf"_s)));
        onFile.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
        QCOMPARE(QUrl(onFile.charFormat().anchorHref()),
                 QUrl::fromLocalFile(joinPath(chat.exchangeFolder, report.path)));
        QVERIFY(!window->windowTitle().startsWith(u'('));
        QVERIFY(!window->findChild<TrayBlinker *>()->isBlinking());

        writeForeignMessage(chat.exchangeFolder, 10, 0, 0, u"boris"_s, u"new one"_s);
        QTRY_VERIFY(viewText().contains(u"new one"_s));
        QVERIFY(viewText().indexOf(separator) < viewText().indexOf(u"new one"_s));
        QVERIFY(window->windowTitle().startsWith(u"(1) "_s));
        QTRY_VERIFY(!window->session()->isDispatching());
        const QString log =
            RtfTextScanner::plainText(TextFile::readBytes(window->logFilePath()).value()).value();
        QVERIFY(log.contains(u"new one"_s) && !log.contains(u"old"_s) && !log.contains(separator));
    }

    void receivingShowsEachFileOnceInSendOrder()
    {
        appSettings().showDebugMessages = true;
        writeForeignMessage(chat.exchangeFolder, 10, 0, 1, u"anna"_s, u"second"_s);
        writeForeignMessage(chat.exchangeFolder, 10, 0, 0, u"boris"_s, u"first"_s);
        writeForeignMessage(chat.exchangeFolder, 10, 0, 2, u"anna"_s, u"third"_s);
        // Broken long ago: a fresh one would wait for its writer first.
        QFile broken(m_env->touch(u"chats/2026-12-05 09-00-00-00-000 x.QLIM"_s, "2026"));
        QVERIFY(broken.open(QIODevice::ReadWrite));
        QVERIFY(broken.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                   QFileDevice::FileModificationTime));
        broken.close();
        ChatWindow *window = openWindow(false); // a hidden start receives as well
        QTRY_VERIFY(viewText().contains(FalseAlarm));
        const QString text = viewText();
        const QList<qsizetype> at{text.indexOf(u"Ошибка получения сообщения. Код "_s),
                                  text.indexOf(u"first"_s), text.indexOf(u"second"_s),
                                  text.indexOf(u"third"_s), text.indexOf(FalseAlarm)};
        QVERIFY2(at.first() >= 0 && std::is_sorted(at.begin(), at.end()), qPrintable(text));
        QCOMPARE(text.count(u"second"_s) + text.count(u"third"_s), 2);
        QVERIFY(window->findChild<TrayBlinker *>()->isBlinking());
        for (const QString &name : messageFiles()) // marked once the log holding them is saved
            QTRY_COMPARE(dosAttributes(chat.exchangeFolder + '/'_L1 + name), QByteArray("0x2"));
    }

    // Blanks and line breaks in any mix are no message; a message goes into a file
    // of its own.
    void sending()
    {
        Clock::setFixedUtc(QDateTime(QDate(2026, 12, 5), QTime(9, 8, 7, 45), Qt::UTC));
        appSettings().sendOnEnter = false;
        ChatWindow *window = openWindow();
        window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"  Вася \r\n"_s);
        auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
        box->setPlainText(u" \n\t \r\n  "_s);
        QTest::keyClick(window->windowHandle(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(messageFiles().isEmpty());

        box->setPlainText(u"\n Привет\nмир \n"_s);
        QTest::keyClick(window->windowHandle(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(box->toPlainText(), QString());
        QCOMPARE(messageFiles().size(), 1); // its bytes as tst_messagefile pins them
        QCOMPARE(TextFile::readText(chat.exchangeFolder + '/'_L1 + messageFiles().at(0)).value(),
                 u"2026|12|5|9|8|7|45|Вася| Привет\r\nмир |"_s.replace(u'|', QChar(0)) + MyGuid);

        // A message that cannot be written stays in the box for another try.
        QVERIFY(QDir().rename(chat.exchangeFolder, chat.exchangeFolder + u"-away"_s));
        box->setPlainText(u"unsent"_s);
        QTest::keyClick(window->windowHandle(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(box->toPlainText(), u"unsent"_s);
    }

    void sendingFiles_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("drop on the message box") << u"txtMessage"_s;
        QTest::newRow("drop on the conversation") << u"rtfLog"_s;
        QTest::newRow("drop on the user name") << u"txtUserName"_s;
        QTest::newRow("Ctrl+V") << u"paste"_s;
        QTest::newRow("tray menu") << u"mnuSendFile"_s;
    }

    // Files dropped anywhere on the window or pasted go in one message, with the
    // box's text as their caption; the box is cleared once they are sent.
    // "Отправить файл…" in the tray menu sends the one the file dialog gives.
    void sendingFiles()
    {
        QFETCH(QString, way);
        const bool chosen = way == "mnuSendFile"_L1;
        ChatWindow *window = openWindow();
        QStringList files{m_env->touch(u"mine/отчёт.pdf"_s, "%PDF-1.4 report"),
                          m_env->touch(u"mine/notes.txt"_s, QByteArray(3 << 20, 'n'))};
        QList<FileDialog::Request> dialogs;
        FileDialog::setHandler([&](const FileDialog::Request &request) {
            dialogs.append(request);
            return FileDialog::Reply{true, files.at(0)};
        });
        const auto reset = qScopeGuard([] { FileDialog::resetHandler(); });
        auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
        box->setPlainText(u"\r\n  вот файлы\n"_s);
        box->setFocus();
        if (way == "paste"_L1) {
            QApplication::clipboard()->setMimeData(fileUrls(files));
            QTest::keyClick(window->windowHandle(), Qt::Key_V, Qt::ControlModifier);
        } else if (chosen) {
            window->findChild<QAction *>(way)->trigger();
        } else {
            drop(window->findChild<QWidget *>(way), files);
        }
        QCOMPARE(sentMessage(chosen ? files.mid(0, 1) : files).text, u"  вот файлы"_s);
        QTRY_COMPARE(box->toPlainText(), QString());
        QCOMPARE(window->findChild<QLineEdit *>(u"txtUserName"_s)->text(),
                 ChatWindow::defaultUserName());
        QCOMPARE(dialogs.size(), chosen ? 1 : 0);
    }

    // A pasted picture goes as a PNG; a picture that comes with text (copied
    // office cells) is pasted as text.
    void pastingPictures()
    {
        ChatWindow *window = openWindow();
        auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
        box->setFocus();
        QImage picture(40, 30, QImage::Format_ARGB32);
        picture.fill(Qt::darkCyan);
        picture.setPixel(3, 4, qRgba(200, 10, 20, 128));
        QApplication::clipboard()->setImage(picture);
        QTest::keyClick(window->windowHandle(), Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE(messageFiles().size(), 1);
        const Result<ReceivedMessage> sent =
            readMessageFile(chat.exchangeFolder + '/'_L1 + messageFiles().at(0), MyGuid);
        QVERIFY(sent.ok() && sent.value().attachments.size() == 1);
        const Attachment &png = sent.value().attachments.at(0);
        QCOMPARE(QImage(chat.exchangeFolder + '/'_L1 + png.path), picture);

        auto *cells = new QMimeData;
        cells->setText(u"1\t2"_s);
        cells->setImageData(picture);
        QApplication::clipboard()->setMimeData(cells);
        QTest::keyClick(window->windowHandle(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->toPlainText(), u"1\t2"_s);
        QTest::qWait(100); // a send would be on its way by now
        QCOMPARE(messageFiles().size(), 1);
    }

    void failedSendLosesNothing_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("shown"); // in a box, or the conversation's line
        QTest::newRow("refused before the copy")
            << u"over 2 GiB"_s << u"Файл больше 2 ГБ: такие файлы не отправляются."_s;
        QTest::newRow("failed copy") << u"Files is a file"_s << u"Ошибка отправки сообщения."_s;
        QTest::newRow("cancelled, one send at a time")
            << u"cancel"_s << u"Файлы ещё отправляются."_s;
    }

    // A send refused, failed or cancelled (a long one shows its progress) sends
    // nothing, leaves nothing, shows why and keeps the box's text.
    void failedSendLosesNothing()
    {
        QFETCH(QString, failure);
        QFETCH(QString, shown);
        ChatWindow *window = openWindow();
        const QString file = m_env->touch(u"mine/big.iso"_s);
        if (failure == "Files is a file"_L1)
            m_env->touch(u"chats/Files"_s);
        else
            QVERIFY(QFile::resize(file, MaxAttachmentSize + (failure == "over 2 GiB"_L1)));
        auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
        box->setPlainText(u"caption"_s);
        auto *progress = window->findChild<FileSending *>();
        drop(box, {file});
        if (failure == "cancel"_L1) {
            QTRY_VERIFY(progress->isVisible());
            drop(box, {m_env->touch(u"mine/small.txt"_s, "small")});
        }
        QTRY_VERIFY(!m_boxes.isEmpty() || viewText().contains(shown));
        const QList<BoxRequest> boxes = std::exchange(m_boxes, {});
        QCOMPARE(boxes.size(), failure == "over 2 GiB"_L1 ? 1 : 0);
        QVERIFY(boxes.isEmpty() || boxes.at(0).text.contains(shown));
        if (failure == "cancel"_L1) {
            QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
            QTRY_VERIFY(!progress->isVisible());
            QVERIFY(!viewText().contains(u"Ошибка"_s));
        }
        QStringList left =
            QDir(chat.exchangeFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCOMPARE(left.join(u' '),
                 failure == "Files is a file"_L1 ? u"Files team.QLIMChat"_s : u"team.QLIMChat"_s);
        QCOMPARE(box->toPlainText(), u"caption"_s);
    }

    // Without a tray nobody sees the icon blink: the desktop shows who wrote, the
    // text escaped for a server that reads markup.
    void notifications()
    {
        if (!m_serviceBus.isConnected())
            QSKIP("no private session bus (dbus-daemon is not installed)");
        m_server.capabilities = {u"body-markup"_s};
        overrideTrayAvailable(false);
        openWindow();
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        writeForeignMessage(chat.exchangeFolder, 10, 0, 0, u"anna"_s,
                            u"\r\nhello <there> &\r\nmore"_s);
        QTRY_COMPARE(m_server.notes.size(), 1);
        QCOMPARE(m_server.notes.at(0).summary, u"anna"_s);
        QCOMPARE(m_server.notes.at(0).body, u"hello &lt;there&gt; &amp;…"_s);
    }
};

QTEST_MAIN(tst_ChatWindow)
#include "tst_chatwindow.moc"
