#include "chatwindow/chatwindow.h"

#include "chatwindow/desktopnotifier.h"
#include "chatwindow/messagerenderer.h"
#include "chatwindow/transparency.h"
#include "chatwindow/trayavailability.h"
#include "chatwindow/trayblinker.h"
#include "core/appstate.h"
#include "core/messagetime.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/picturebutton.h"
#include "logsviewer/logsviewer.h"
#include "settings/settings.h"
#include "settings/settingsdialog.h"
#include "testsupport.h"

#include <QDBusConnection>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTextEdit>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString MyGuid = u"{11111111-2222-3333-4444-555555555555}"_s;
const QString FalseAlarm = u"dispatchAll() ==> Ложное срабатывание."_s;

// The chat that the windows of this test open.
void useChat(const QString &chatFile)
{
    ChatFilePath = chatFile;
    ExchangeFolderPath = parentFolder(chatFile);
    MyGUID = MyGuid;
}

QStringList messageFiles()
{
    return QDir(ExchangeFolderPath).entryList({u"*.QLIM"_s}, QDir::Files, QDir::Name);
}

QString storedUserName()
{
    return SettingsStore().loadValue(u"Nicks"_s, ChatFilePath, ValueKind::Text).toString();
}

// A file stands where the logs folder belongs: no log can be saved.
void blockLogsFolder()
{
    QDir(xdgDataHome() + u"/Greyhollow Studios/Quillet IM/Logs"_s).removeRecursively();
    QDir().mkpath(xdgDataHome() + u"/Greyhollow Studios/Quillet IM"_s);
    QFile(xdgDataHome() + u"/Greyhollow Studios/Quillet IM/Logs"_s).open(QIODevice::WriteOnly);
}

// A private session bus whose configuration activates no service.
class PrivateBus
{
public:
    QString start()
    {
        QFile config(m_dir.filePath(u"bus.conf"_s));
        if (!config.open(QIODevice::WriteOnly))
            return {};
        config.write("<busconfig><type>session</type><listen>unix:dir=" +
                     QFile::encodeName(m_dir.path()) +
                     "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                     "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                     "<allow own=\"*\"/></policy></busconfig>");
        config.close();
        m_daemon.start(u"dbus-daemon"_s, {u"--nofork"_s, u"--print-address"_s,
                                          u"--config-file="_s + config.fileName()});
        if (!m_daemon.waitForReadyRead(10000))
            return {};
        return QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

// A notification service as desktops run one: notifications stay open until
// replaced or closed; every call is recorded.
class NotificationServer final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Note
    {
        QString appName, summary, body;
        uint replacesId = 0;
        bool image = false;
        uint id = 0;
    };
    QList<Note> notes;
    QSet<uint> open;
    QStringList capabilities;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &hints, int)
    {
        const uint id = replacesId != 0 ? replacesId : ++m_lastId;
        notes.append({appName, summary, body, replacesId, hints.contains(u"image-data"_s), id});
        open.insert(id);
        return id;
    }
    void CloseNotification(uint id)
    {
        if (open.remove(id))
            emit NotificationClosed(id, 3);
    }
    QStringList GetCapabilities() { return capabilities; }

signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString &actionKey);

private:
    uint m_lastId = 0;
};

} // namespace

class tst_ChatWindow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void keyMap_data();
    void keyMap();
    void closeDecision_data();
    void closeDecision();
    void trayIconShowsWindow();
    void trayComingAndGoing();
    void blinkingUntilSeen();
    void receivingShowsEachFileOnceInSendOrder();
    void longBatchShowsEveryFileOnce();
    void sendWritesTheMessageFile();
    void blankOrFailedSendKeepsTheText();
    void userNamePerChat();
    void wheelOverConversationScrollsIt();
    void transparency();
    void blinkerAlternatesAndRests();
    void notificationExcerpt_data();
    void notificationExcerpt();
    void notifierFollowsTheServer();
    void notifiesWithoutTrayUntilSeen();
    void notificationClickShowsWindow();
    void withoutServiceNothingIsLost();

private:
    ChatWindow *openWindow(bool show = true);
    QString viewText() const { return m_window->findChild<QTextEdit *>(u"rtfLog"_s)->toPlainText(); }
    void activateOther();
    void requireBus();
    bool notifiedBy(const QString &sender) const
    {
        return !m_server.notes.isEmpty() && m_server.notes.last().summary == sender;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ChatWindow> m_window;
    std::unique_ptr<QWidget> m_other;
    QList<BoxRequest> m_boxes;
    QList<BoxAnswer> m_answers;
    PrivateBus m_bus;
    QDBusConnection m_serviceBus{QString()};
    NotificationServer m_server;
};

void tst_ChatWindow::initTestCase()
{
    // Before anything asks for the session bus: every notifier talks to ours.
    const QString address = m_bus.start();
    if (address.isEmpty())
        return;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    m_serviceBus = QDBusConnection::connectToBus(address, u"notification-service"_s);
    QVERIFY(m_serviceBus.registerObject(u"/org/freedesktop/Notifications"_s, &m_server,
                                        QDBusConnection::ExportAllSlots |
                                            QDBusConnection::ExportAllSignals));
}

void tst_ChatWindow::init()
{
    m_env = std::make_unique<TestEnvironment>();
    useChat(m_env->touch(u"chats/team.QLIMChat"_s));
    appSettings() = SettingsRecord{};
    overrideTrayAvailable(true);
    m_boxes.clear();
    m_answers.clear();
    Boxes::setHandler([this](const BoxRequest &request) {
        m_boxes.append(request);
        return BoxReply{m_answers.isEmpty() ? BoxAnswer::Ok : m_answers.takeFirst(), {}};
    });
    m_server.notes.clear();
    m_server.open.clear();
    m_server.capabilities = {u"body"_s, u"actions"_s};
    if (m_serviceBus.isConnected())
        m_serviceBus.registerService(u"org.freedesktop.Notifications"_s);
}

void tst_ChatWindow::cleanup()
{
    delete SettingsDialog::instance();
    delete LogsViewer::instance();
    m_window.reset();
    m_other.reset();
    overrideTrayAvailable(std::nullopt);
    Boxes::resetHandler();
    Clock::reset();
    m_env.reset();
}

ChatWindow *tst_ChatWindow::openWindow(bool show)
{
    m_window = std::make_unique<ChatWindow>();
    m_window->startSession(!show);
    if (show) {
        m_window->show();
        m_window->activateWindow();
        [&] { QVERIFY(QTest::qWaitForWindowActive(m_window.get())); }();
    }
    return m_window.get();
}

// Another program's window in front of the chat.
void tst_ChatWindow::activateOther()
{
    if (!m_other)
        m_other = std::make_unique<QWidget>();
    m_other->show();
    m_other->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_other.get()));
}

void tst_ChatWindow::requireBus()
{
    if (!m_serviceBus.isConnected())
        QSKIP("no private session bus (dbus-daemon is not installed)");
}

void tst_ChatWindow::keyMap_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("sendOnEnter");
    QTest::addColumn<QString>("effect");
    QTest::addColumn<QString>("text"); // of the focused box afterwards; null: not checked
    const Qt::KeyboardModifiers none(Qt::NoModifier), shift(Qt::ShiftModifier), ctrl(Qt::ControlModifier),
        ctrlShift(Qt::ControlModifier | Qt::ShiftModifier), ctrlAlt(Qt::ControlModifier | Qt::AltModifier);
    const QString msg = u"txtMessage"_s, name = u"txtUserName"_s, log = u"rtfLog"_s;
    const QString hello = u"hello"_s, unchecked;
    const int enter = Qt::Key_Return, esc = Qt::Key_Escape, f9 = Qt::Key_F9, l = Qt::Key_L,
              zero = Qt::Key_0, a = Qt::Key_A;
    QTest::newRow("Enter sends (on)") << enter << none << msg << true << "sent" << QString();
    QTest::newRow("keypad Enter sends (on)") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << msg << true << "sent" << QString();
    QTest::newRow("Shift+Enter breaks (on)") << enter << shift << msg << true << "" << u"hello\n"_s;
    QTest::newRow("Ctrl+Enter nothing (on)") << enter << ctrl << msg << true << "" << unchecked;
    QTest::newRow("Ctrl+Enter sends (off)") << enter << ctrl << msg << false << "sent" << QString();
    QTest::newRow("Enter breaks (off)") << enter << none << msg << false << "" << u"hello\n"_s;
    QTest::newRow("Ctrl+Shift+Enter nothing (off)") << enter << ctrlShift << msg << false << "" << unchecked;
    QTest::newRow("Enter in user name") << enter << none << name << true << "" << hello;
    QTest::newRow("Esc in message box") << esc << none << msg << true << "hidden" << hello;
    QTest::newRow("Esc in conversation") << esc << none << log << true << "hidden" << unchecked;
    QTest::newRow("Shift+Esc exits") << esc << shift << msg << true << "exit" << unchecked;
    QTest::newRow("Ctrl+Esc nothing") << esc << ctrl << msg << true << "" << hello;
    QTest::newRow("F9 settings") << f9 << none << log << true << "settings" << unchecked;
    QTest::newRow("Shift+F9 nothing") << f9 << shift << msg << true << "" << hello;
    QTest::newRow("Ctrl+F9 nothing") << f9 << ctrl << msg << true << "" << hello;
    QTest::newRow("Ctrl+L logs") << l << ctrl << name << true << "logs" << hello;
    QTest::newRow("Ctrl+Shift+L nothing") << l << ctrlShift << msg << true << "" << hello;
    QTest::newRow("Ctrl+Alt+L nothing") << l << ctrlAlt << msg << true << "" << unchecked;
    QTest::newRow("Ctrl+0 transparent") << zero << ctrl << msg << true << "transparent" << hello;
    QTest::newRow("Ctrl+Shift+0 nothing") << zero << ctrlShift << msg << true << "" << unchecked;
    QTest::newRow("Ctrl+keypad 0 nothing") << zero << (ctrl | Qt::KeypadModifier) << log << true << "" << unchecked;
    QTest::newRow("Ctrl+A selects the message") << a << ctrl << msg << true << "selected" << hello;
    QTest::newRow("Ctrl+A selects the name") << a << ctrl << name << true << "selected" << hello;
}

// Each key through the window system into the focused widget, as typed.
void tst_ChatWindow::keyMap()
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
    if (effect == "sent"_L1)
        QCOMPARE(box->toPlainText(), QString());
    const QString focusedText = focus == u"txtUserName"_s ? name->text() : box->toPlainText();
    if (!text.isNull())
        QCOMPARE(focusedText, text);
    if (effect == "selected"_L1)
        QCOMPARE(focus == u"txtUserName"_s ? name->selectedText() : box->textCursor().selectedText(), text);
    QCOMPARE(window->isHidden(), effect == "hidden"_L1 || effect == "exit"_L1);
    QCOMPARE(ended.count(), effect == "exit"_L1 ? 1 : 0);
    QCOMPARE(SettingsDialog::instance() != nullptr, effect == "settings"_L1);
    QCOMPARE(LogsViewer::instance() != nullptr, effect == "logs"_L1);
    QCOMPARE(window->opacityPercent(), effect == "transparent"_L1 ? 75 : 0);
}

void tst_ChatWindow::closeDecision_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("logBlocked");
    QTest::addColumn<BoxAnswer>("answer");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("boxes");
    QTest::newRow("close box hides to the tray") << "closeBox" << true << false << BoxAnswer::Ok << "hidden" << 0;
    QTest::newRow("close box minimises without tray") << "closeBox" << false << false << BoxAnswer::Ok << "minimised" << 0;
    QTest::newRow("Shift+close box exits") << "shiftClose" << true << false << BoxAnswer::Ok << "exit" << 0;
    QTest::newRow("tray menu exits") << "trayExit" << true << false << BoxAnswer::Ok << "exit" << 0;
    QTest::newRow("unsaved log, Abort") << "trayExit" << true << true << BoxAnswer::Abort << "running" << 1;
    QTest::newRow("unsaved log, Ignore") << "exitButton" << true << true << BoxAnswer::Ignore << "exit" << 1;
    QTest::newRow("end of desktop session") << "sessionEnd" << true << false << BoxAnswer::Ok << "exit" << 0;
    QTest::newRow("end of desktop session asks nothing") << "sessionEnd" << true << true << BoxAnswer::Abort << "exit" << 0;
    QTest::newRow("session manager's quit request") << "quit" << true << false << BoxAnswer::Ok << "exit" << 0;
    QTest::newRow("checkpoint") << "checkpoint" << true << false << BoxAnswer::Ok << "running" << 0;
    QTest::newRow("checkpoint asks nothing") << "checkpoint" << true << true << BoxAnswer::Abort << "running" << 0;
}

// What each way of closing does: hide, minimise, exit saving log and name, or
// go on (the user aborted an exit whose log could not be saved).
void tst_ChatWindow::closeDecision()
{
    QFETCH(QString, action);
    QFETCH(bool, tray);
    QFETCH(bool, logBlocked);
    QFETCH(BoxAnswer, answer);
    QFETCH(QString, outcome);
    QFETCH(int, boxes);
    overrideTrayAvailable(tray);
    if (logBlocked)
        blockLogsFolder();
    // Eats the request to quit once the window has seen it: this test goes on.
    struct QuitEater final : QObject
    {
        bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Quit; }
    } eater;
    qApp->installEventFilter(&eater); // before the window's, so it sees the request last
    ChatWindow *window = openWindow();
    window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"Пётр"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"kept text"_s);
    QTRY_VERIFY(viewText().contains(u"kept text"_s));
    QSignalSpy ended(window, &ChatWindow::sessionEnded);
    m_answers = {answer};

    QCloseEvent close; // through the window system, as the desktop sends it
    if (action == "closeBox"_L1) {
        QCoreApplication::sendEvent(window->windowHandle(), &close);
    } else if (action == "shiftClose"_L1) {
        QTest::keyPress(window->windowHandle(), Qt::Key_Shift, Qt::ShiftModifier);
        QCoreApplication::sendEvent(window->windowHandle(), &close);
        QTest::keyRelease(window->windowHandle(), Qt::Key_Shift, Qt::NoModifier);
    } else if (action == "trayExit"_L1) {
        window->findChild<QSystemTrayIcon *>()->contextMenu()->actions().at(2)->trigger();
    } else if (action == "exitButton"_L1) {
        window->findChild<PictureButton *>(u"ucbExit"_s)->click();
    } else if (action == "sessionEnd"_L1) {
        window->endDesktopSession();
    } else if (action == "quit"_L1) {
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
    } else {
        window->saveCheckpoint();
    }
    const bool exited = outcome == "exit"_L1;
    QCOMPARE(ended.count(), exited ? 1 : 0);
    QCOMPARE(window->sessionRunning(), !exited);
    QCOMPARE(m_boxes.size(), boxes);
    QCOMPARE(window->isHidden(), exited || outcome == "hidden"_L1);
    QTRY_COMPARE(window->isMinimized(), outcome == "minimised"_L1);
    if (!logBlocked && (exited || action == "checkpoint"_L1))
        QVERIFY(TestEnvironment::readAll(window->logFilePath()).contains(u"kept text"_s));
    if (exited || action == "checkpoint"_L1)
        QCOMPARE(storedUserName(), u"Пётр"_s);
    if (boxes == 1 && !exited) { // the aborted exit is over: the next close box hides again
        QCoreApplication::sendEvent(window->windowHandle(), &close);
        QVERIFY(window->isHidden());
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(ended.count(), 0);
    }
}

// The tray's own menu takes the right click; every other action on the icon,
// and the menu's first entry, bring the window back.
void tst_ChatWindow::trayIconShowsWindow()
{
    ChatWindow *window = openWindow();
    auto *tray = window->findChild<QSystemTrayIcon *>();
    for (const auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::Trigger,
                              QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
        if (window->isVisible())
            QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
        QVERIFY(window->isHidden());
        emit tray->activated(reason);
        QCOMPARE(window->isVisible(), reason != QSystemTrayIcon::Context);
    }
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    tray->contextMenu()->actions().at(0)->trigger();
    QVERIFY(window->isVisible());
}

// A tray that comes up after the chat gets the icon, and the window then hides
// into it; a tray that goes away gives the hidden window back, minimised.
void tst_ChatWindow::trayComingAndGoing()
{
    overrideTrayAvailable(false);
    ChatWindow *window = openWindow(false);
    auto *tray = window->findChild<QSystemTrayIcon *>();
    QVERIFY(tray->isVisible()); // asked for all along
    QVERIFY(window->isMinimized()); // a hidden start without tray is a minimised one
    QVERIFY(window->isVisible());

    overrideTrayAvailable(true);
    window->showNormal();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isHidden());
    overrideTrayAvailable(false);
    QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 3 * ChatWindow::TrayCheckIntervalMs);
    QVERIFY(window->isMinimized());
    QVERIFY(window->sessionRunning());
}

// The tray icon blinks for messages that arrive while the window is hidden or
// behind another, and stops when the window is activated.
void tst_ChatWindow::blinkingUntilSeen()
{
    ChatWindow *window = openWindow();
    auto *blinker = window->findChild<TrayBlinker *>();
    auto *tray = window->findChild<QSystemTrayIcon *>();
    const qint64 restIcon = tray->icon().cacheKey();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"while active"_s);
    QTRY_VERIFY(viewText().contains(u"while active"_s));
    QVERIFY(!blinker->isBlinking());

    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"guest"_s, u"while behind"_s);
    QTRY_VERIFY(blinker->isBlinking());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_VERIFY(!blinker->isBlinking());

    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 2, u"guest"_s, u"while hidden"_s);
    QTRY_VERIFY(blinker->isBlinking());
    QVERIFY(tray->icon().cacheKey() != restIcon);
    tray->contextMenu()->actions().at(0)->trigger();
    QApplication::setActiveWindow(window); // the desktop's part; offscreen leaves it to us
    QTRY_VERIFY(!blinker->isBlinking());
    QCOMPARE(tray->icon().cacheKey(), restIcon);
}

void tst_ChatWindow::receivingShowsEachFileOnceInSendOrder()
{
    appSettings().showDebugMessages = true;
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"anna"_s, u"second"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"boris"_s, u"first"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 2, u"anna"_s, u"third"_s);
    // Broken long ago: a fresh one would wait for its writer first.
    const QString broken = m_env->touch(u"chats/2026-12-05 09-00-00-00-000 x.QLIM"_s, QByteArray("2026\0" "12", 7));
    QFile old(broken);
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    old.close();
    const QString notes = m_env->touch(u"chats/notes.txt"_s, "not a message");
    ChatWindow *window = openWindow(false); // a hidden start receives as well
    QTRY_VERIFY(viewText().contains(FalseAlarm));
    const QString text = viewText();
    const qsizetype error = text.indexOf(u"Ошибка получения сообщения. Код "_s);
    QVERIFY(error >= 0);
    QVERIFY(error < text.indexOf(u"first"_s));
    QVERIFY(text.indexOf(u"first"_s) < text.indexOf(u"second"_s));
    QVERIFY(text.indexOf(u"second"_s) < text.lastIndexOf(u"third"_s));
    QVERIFY(text.lastIndexOf(u"third"_s) < text.indexOf(FalseAlarm));
    QCOMPARE(text.count(u"second"_s), 1);
    QVERIFY(window->findChild<TrayBlinker *>()->isBlinking());
    for (const QString &name : messageFiles()) // marked once the log holding them is saved
        QTRY_COMPARE(dosAttributes(ExchangeFolderPath + '/'_L1 + name), QByteArray("0x2"));
    QVERIFY(dosAttributes(ChatFilePath).isEmpty());
    QVERIFY(dosAttributes(notes).isEmpty());

    // The next run shows nothing again, but a file made visible again by hand.
    m_window.reset();
    openWindow();
    QTRY_VERIFY(viewText().contains(FalseAlarm));
    QVERIFY(!viewText().contains(u"second"_s));
    const QString second = ExchangeFolderPath + '/'_L1 + messageFiles().at(2);
    QVERIFY(removexattr(QFile::encodeName(second).constData(), "user.DOSATTRIB") == 0);
    QTRY_VERIFY(viewText().contains(u"second"_s));
    QVERIFY(!viewText().contains(u"first"_s));
}

void tst_ChatWindow::longBatchShowsEveryFileOnce()
{
    const int count = 400;
    for (int i = 0; i < count; ++i)
        writeForeignMessage(ExchangeFolderPath, 10, i / 60, i % 60, u"guest"_s, u"<%1>"_s.arg(i));
    openWindow();
    QTRY_VERIFY_WITH_TIMEOUT(viewText().contains(u"<%1>"_s.arg(count - 1)), 60000);
    // More files arrive while the first batch may still run.
    writeForeignMessage(ExchangeFolderPath, 11, 0, 0, u"guest"_s, u"<late>"_s);
    QTRY_VERIFY(viewText().contains(u"<late>"_s));
    const QString text = viewText();
    for (int i = 0; i < count; ++i)
        QCOMPARE(text.count(u"<%1>"_s.arg(i)), 1);
    QCOMPARE(text.count(u"<late>"_s), 1);
}

void tst_ChatWindow::sendWritesTheMessageFile()
{
    Clock::setFixedUtc(QDateTime(QDate(2026, 12, 5), QTime(9, 8, 7, 45), Qt::UTC));
    appSettings().sendOnEnter = false;
    ChatWindow *window = openWindow();
    window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"  Вася \r\n"_s);
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    box->setPlainText(u"\n Привет\nмир \n"_s);
    QTest::keyClick(window->windowHandle(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(box->toPlainText(), QString());
    const QStringList files = messageFiles();
    QCOMPARE(files.size(), 1);
    QVERIFY(files.at(0).startsWith(u"2026-12-05 09-08-07-07-045 {"_s));
    const QString fields = QString(u"2026|12|5|9|8|7|45|Вася| Привет\r\nмир |"_s + MyGuid).replace(u'|', QChar(0));
    const QByteArray expected = "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(fields.utf16()), fields.size() * 2);
    QCOMPARE(TextFile::readBytes(ExchangeFolderPath + '/'_L1 + files.at(0)).value(), expected);

    // It comes back as the user's own message: own colour, no blinking.
    QTRY_VERIFY(viewText().contains(u"мир"_s));
    QTextCursor header(m_window->findChild<QTextEdit *>()->document());
    header.setPosition(int(viewText().indexOf(u"Вася"_s)) + 1);
    QCOMPARE(header.charFormat().foreground().color(), QColor(0, 128, 0));
    QVERIFY(!window->findChild<TrayBlinker *>()->isBlinking());
}

void tst_ChatWindow::blankOrFailedSendKeepsTheText()
{
    appSettings().sendOnEnter = true;
    ChatWindow *window = openWindow();
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    box->setPlainText(u" \n\t \r\n  "_s);
    box->moveCursor(QTextCursor::End);
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QVERIFY(messageFiles().isEmpty());
    QCOMPARE(box->toPlainText(), u" \n\t \n  "_s); // no line break added

    // The exchange folder became unreachable: a file now stands in its place.
    QVERIFY(QDir(ExchangeFolderPath).removeRecursively());
    m_env->touch(u"chats"_s);
    box->setPlainText(u"keep me"_s);
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QCOMPARE(box->toPlainText(), u"keep me"_s);
    QVERIFY(viewText().contains(u"Ошибка отправки сообщения. Код "_s));
}

void tst_ChatWindow::userNamePerChat()
{
    ChatWindow *window = openWindow();
    auto *name = window->findChild<QLineEdit *>(u"txtUserName"_s);
    QCOMPARE(name->text(), ChatWindow::defaultUserName());
    name->setText(u"Пётр"_s);
    window->findChild<PictureButton *>(u"ucbExit"_s)->click();
    QCOMPARE(openWindow()->findChild<QLineEdit *>(u"txtUserName"_s)->text(), u"Пётр"_s);
    m_window->findChild<PictureButton *>(u"ucbSetDefaultUserName"_s)->click();
    QCOMPARE(m_window->findChild<QLineEdit *>(u"txtUserName"_s)->text(), ChatWindow::defaultUserName());
    m_window.reset();
    useChat(m_env->touch(u"chats/other.QLIMChat"_s));
    QCOMPARE(openWindow()->findChild<QLineEdit *>(u"txtUserName"_s)->text(), ChatWindow::defaultUserName());
}

// A wheel turned over the conversation while typing scrolls the conversation.
void tst_ChatWindow::wheelOverConversationScrollsIt()
{
    ChatWindow *window = openWindow();
    auto *log = window->findChild<QTextEdit *>(u"rtfLog"_s);
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    const QString lines = u"line\n"_s.repeated(200);
    log->setPlainText(lines);
    box->setPlainText(lines);
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    const int logBefore = log->verticalScrollBar()->value();
    const int boxBefore = box->verticalScrollBar()->value();
    const auto turn = [&](QWidget *over) {
        const QPointF global = over->mapToGlobal(QPointF(over->rect().center()));
        QWheelEvent wheel(box->viewport()->mapFromGlobal(global), global, QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(box->viewport(), &wheel);
    };
    turn(log);
    QVERIFY(log->verticalScrollBar()->value() < logBefore);
    QCOMPARE(box->verticalScrollBar()->value(), boxBefore);
    const int logAfter = log->verticalScrollBar()->value();
    turn(box);
    QCOMPARE(log->verticalScrollBar()->value(), logAfter);
    QVERIFY(box->verticalScrollBar()->value() < boxBefore);
}

void tst_ChatWindow::transparency()
{
    // Per cent to alpha, halves to the even neighbour; raw alphas clamped.
    const QList<std::tuple<int, bool, int>> alphas{{75, true, 191},  {50, true, 128},  {30, true, 76},
                                                   {150, true, 255}, {-5, true, 0},    {300, false, 255},
                                                   {-1, false, 0},   {128, false, 128}};
    for (const auto &[value, percent, alpha] : alphas)
        QCOMPARE(transparencyAlpha(value, percent), alpha);

    ChatWindow *window = openWindow();
    auto *button = window->findChild<PictureButton *>(u"ucbMakeTransparent"_s);
    QCOMPARE(window->windowOpacity(), 1.0);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, button->mapTo(window, button->rect().center()));
    QCOMPARE(qRound(window->windowOpacity() * 255), 191);
    button->click();
    QCOMPARE(window->windowOpacity(), 1.0);
    button->click();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    window->show();
    QCOMPARE(qRound(window->windowOpacity() * 255), 191); // hiding keeps it
}

void tst_ChatWindow::blinkerAlternatesAndRests()
{
    const auto icon = [](Qt::GlobalColor colour) {
        QPixmap pixmap(4, 4);
        pixmap.fill(colour);
        return QIcon(pixmap);
    };
    const auto colourOf = [](const QList<QVariant> &signal) {
        return QColor(signal.at(0).value<QIcon>().pixmap(4, 4).toImage().pixel(1, 1));
    };
    TrayBlinker blinker;
    blinker.setMessageIcon(icon(Qt::red));
    blinker.setEmptyIcon(icon(Qt::white));
    blinker.setRestIcon(icon(Qt::blue));
    QSignalSpy spy(&blinker, &TrayBlinker::iconChanged);
    blinker.setBlinking(true);
    blinker.setBlinking(true); // changes nothing
    QCOMPARE(spy.count(), 1);
    QTRY_VERIFY(spy.count() >= 3);
    QCOMPARE(colourOf(spy.at(0)), QColor(Qt::red));
    QCOMPARE(colourOf(spy.at(1)), QColor(Qt::white));
    QCOMPARE(colourOf(spy.at(2)), QColor(Qt::red));
    blinker.setBlinking(false);
    blinker.setBlinking(false); // reports nothing
    QCOMPARE(colourOf(spy.takeLast()), QColor(Qt::blue));
    const qsizetype stopped = spy.count();
    QTest::qWait(2 * TrayBlinker::PhaseMs);
    QCOMPARE(spy.count(), stopped);
}

void tst_ChatWindow::notificationExcerpt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const qsizetype length = DesktopNotifier::ExcerptLength;
    QTest::newRow("one line") << u"hello there"_s << u"hello there"_s;
    QTest::newRow("first of several") << u"\r\n \t\nfirst \r\nsecond"_s << u"first…"_s;
    QTest::newRow("long line") << QString(length + 20, u'x') << QString(length, u'x') + u'…';
    QTest::newRow("no half character") << QString(length - 1, u'x') + u"😀 tail"_s << QString(length - 1, u'x') + u'…';
    QTest::newRow("blank") << u" \r\n "_s << QString();
}

void tst_ChatWindow::notificationExcerpt()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(quillet::notificationExcerpt(text), expected);
}

// Only our own notification's click counts; one the user closed is not
// replaced; a withdrawn one goes, even while its post is on its way; "<" and
// "&" are escaped for a server that reads markup only.
void tst_ChatWindow::notifierFollowsTheServer()
{
    requireBus();
    DesktopNotifier notifier;
    QSignalSpy clicked(&notifier, &DesktopNotifier::activated);
    notifier.post(u"anna"_s, u"<b>x</b> & y"_s);
    QTRY_VERIFY(notifier.currentId() != 0);
    QCOMPARE(m_server.notes.at(0).body, u"<b>x</b> & y"_s);
    const uint first = notifier.currentId();
    emit m_server.ActionInvoked(first + 1, u"default"_s); // another program's
    emit m_server.ActionInvoked(first, u"reply"_s);       // not the click
    emit m_server.NotificationClosed(first, 2);           // the user closed it
    m_server.open.remove(first);
    QTRY_COMPARE(notifier.currentId(), 0u);
    QCOMPARE(clicked.count(), 0);

    notifier.post(u"anna"_s, u"two"_s);
    QTRY_VERIFY(notifier.currentId() != 0);
    QCOMPARE(m_server.notes.at(1).replacesId, 0u);
    emit m_server.ActionInvoked(notifier.currentId(), u"default"_s);
    QTRY_COMPARE(clicked.count(), 1);

    notifier.post(u"anna"_s, u"three"_s);
    notifier.withdraw();
    notifier.post(u"boris"_s, u"four"_s);
    QTRY_VERIFY(notifiedBy(u"boris"_s));
    QCOMPARE(m_server.notes.last().replacesId, 0u);
    QTRY_COMPARE(m_server.open, QSet<uint>{m_server.notes.last().id});
    notifier.withdraw();
    QTRY_VERIFY(m_server.open.isEmpty());

    m_server.capabilities << u"body-markup"_s;
    DesktopNotifier markup;
    markup.post(u"anna"_s, u"<b>x</b> & y"_s);
    QTRY_VERIFY(markup.currentId() != 0);
    QCOMPARE(m_server.notes.last().body, u"&lt;b&gt;x&lt;/b&gt; &amp; y"_s);
}

// Without a tray nobody sees the icon blink: the desktop shows who wrote, one
// notification for all messages until the window is activated.
void tst_ChatWindow::notifiesWithoutTrayUntilSeen()
{
    requireBus();
    overrideTrayAvailable(false);
    ChatWindow *window = openWindow();
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"\r\nhello <there>\r\nmore"_s);
    QTRY_COMPARE(m_server.notes.size(), 1);
    const NotificationServer::Note first = m_server.notes.at(0);
    QCOMPARE(first.appName, u"Quillet IM"_s);
    QCOMPARE(first.summary, u"anna"_s);
    QCOMPARE(first.body, u"hello <there>…"_s);
    QVERIFY(first.image);
    QVERIFY(window->demandsAttention());
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"boris"_s, u"again"_s);
    QTRY_COMPARE(m_server.notes.size(), 2);
    QCOMPARE(m_server.notes.at(1).replacesId, first.id);

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(!window->demandsAttention());
    QTRY_VERIFY(m_server.open.isEmpty());
    writeForeignMessage(ExchangeFolderPath, 10, 0, 2, u"anna"_s, u"seen at once"_s);
    QTRY_VERIFY(viewText().contains(u"seen at once"_s));
    QVERIFY(!window->demandsAttention());

    // Inactive again: a new one, under the name the conversation shows.
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 3, u"  "_s, u"from nobody"_s);
    QTRY_VERIFY(notifiedBy(displayName(QString())));
    QCOMPARE(m_server.notes.last().replacesId, 0u);

    // With a tray only the icon blinks.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    overrideTrayAvailable(true);
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 4, u"anna"_s, u"blink"_s);
    QTRY_VERIFY(window->findChild<TrayBlinker *>()->isBlinking());
    QCOMPARE(m_server.notes.size(), 3);
    QVERIFY(!window->demandsAttention());
}

void tst_ChatWindow::notificationClickShowsWindow()
{
    requireBus();
    overrideTrayAvailable(false);
    ChatWindow *window = openWindow();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QTRY_VERIFY(window->isMinimized());
    activateOther(); // the desktop's doing; the offscreen platform leaves it to us
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"look"_s);
    QTRY_COMPARE(m_server.notes.size(), 1);
    emit m_server.ActionInvoked(m_server.notes.at(0).id, u"default"_s);
    QTRY_VERIFY(!window->isMinimized());
    QVERIFY(window->isVisible());
}

void tst_ChatWindow::withoutServiceNothingIsLost()
{
    requireBus();
    QVERIFY(m_serviceBus.unregisterService(u"org.freedesktop.Notifications"_s));
    overrideTrayAvailable(false);
    ChatWindow *window = openWindow();
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"nobody listens"_s);
    QTRY_VERIFY(viewText().contains(u"nobody listens"_s));
    QVERIFY(window->demandsAttention());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));

    // The service comes (back): the next message notifies, as a new one.
    QVERIFY(m_serviceBus.registerService(u"org.freedesktop.Notifications"_s));
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"boris"_s, u"now heard"_s);
    QTRY_VERIFY(notifiedBy(u"boris"_s));
    QCOMPARE(m_server.notes.size(), 1);
    QCOMPARE(m_server.notes.at(0).replacesId, 0u);
    QVERIFY(m_boxes.isEmpty());
}

QTEST_MAIN(tst_ChatWindow)
#include "tst_chatwindow.moc"
