#include "chatwindow/chatwindow.h"

#include "chattestsupport.h"
#include "chatwindow/trayavailability.h"
#include "chatwindow/trayblinker.h"
#include "core/appstate.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "gui/picturebutton.h"
#include "logsviewer/logsviewer.h"
#include "settings/settings.h"
#include "settings/settingsdialog.h"
#include "testsupport.h"

#include <QAccessible>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextEdit>

using namespace quillet;

using namespace Qt::StringLiterals;

namespace {

const QString MyGuidText = u"{11111111-2222-3333-4444-555555555555}"_s;

QStringList messageFiles(const QString &folder)
{
    return QDir(folder).entryList({u"*.QLIM"_s}, QDir::Files, QDir::Name);
}

} // namespace

class tst_frmMain final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keyMap_data();
    void keyMap();
    void selectAllTypesNothing_data();
    void selectAllTypesNothing();
    void closeBoxHidesAndTrayShowsAgain();
    void trayIconClickShowsWindow_data();
    void trayIconClickShowsWindow();
    void shiftCloseExitsAfterSavingLog();
    void trayExitWorksWhileHidden();
    void endOfDesktopSessionExitsSavingLog();
    void endOfDesktopSessionAsksNothing();
    void quitRequestEndsChat();
    void sessionCheckpointSavesAndChatGoesOn();
    void abortKeepsWindowAndNextCloseHides();
    void ignoreExitsWithoutLog();
    void withoutTrayWindowIsMinimised();
    void trayComingAndGoing();
    void transparencyCycle();
    void blinkingWhileHiddenStopsOnActivation();
    void blinkingWhileInactiveButNotWhileActive();
    void firstTickShowsWhatArrivedInSendOrder();
    void malformedFileGivesErrorLineAndBatchGoesOn();
    void restartShowsNothingTwice();
    void falseAlarmFollowsBatchWithDebugMessages();
    void longBatchShowsEveryFileOnce();
    void sendWritesFileThatComesBackAsOwn();
    void blankMessageSendsNothing();
    void blankUserNameIsAnonymous();
    void sendFailureKeepsTextAndShowsErrorLine();
    void userNamePerChat();
    void wheelOverConversationScrollsIt();
    void buttonPicturesAreLoaded();
    void keyboardAndScreenReaderReachEveryControl();

private:
    ChatWindow *openWindow(bool show = true);
    QString viewText() const;
    void spontaneousClose();
    QAction *trayAction(int index) const;

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ChatWindow> m_window;
    QList<BoxRequest> m_boxes;
    QList<BoxAnswer> m_answers;
};

void tst_frmMain::init()
{
    m_env = std::make_unique<TestEnvironment>();
    ChatFilePath = m_env->touch(u"chats/team.QLIMChat"_s);
    ExchangeFolderPath = m_env->chats();
    MyGUID = MyGuidText;
    appSettings() = SettingsRecord{};
    overrideTrayAvailable(true);
    m_boxes.clear();
    m_answers.clear();
    Boxes::setHandler([this](const BoxRequest &request) {
        m_boxes.append(request);
        return BoxReply{m_answers.isEmpty() ? BoxAnswer::Ok : m_answers.takeFirst(), {}};
    });
}

void tst_frmMain::cleanup()
{
    delete SettingsDialog::instance();
    delete LogsViewer::instance();
    m_window.reset();
    overrideTrayAvailable(std::nullopt);
    Boxes::resetHandler();
    m_env.reset();
}

ChatWindow *tst_frmMain::openWindow(bool show)
{
    m_window = std::make_unique<ChatWindow>();
    m_window->startSession(!show);
    if (show) {
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("chat window not active");
    }
    return m_window.get();
}

QString tst_frmMain::viewText() const
{
    return m_window->findChild<QTextEdit *>(u"rtfLog"_s)->toPlainText();
}

// A close through the window system (the close box), as the desktop sends it.
void tst_frmMain::spontaneousClose()
{
    QCloseEvent close;
    QCoreApplication::sendEvent(m_window->windowHandle(), &close);
}

QAction *tst_frmMain::trayAction(int index) const
{
    auto *tray = m_window->findChild<QSystemTrayIcon *>(u"stMain"_s);
    return tray->contextMenu()->actions().at(index);
}

void tst_frmMain::keyMap_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("sendOnEnter");
    QTest::addColumn<QString>("effect");
    QTest::addColumn<QString>("messageText"); // null: not checked

    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const QString message = u"message"_s;
    const QString hello = u"hello"_s;
    const QString helloBreak = u"hello\n"_s;
    const QString unchecked;

    QTest::newRow("Enter sends (on)")
        << int(Qt::Key_Return) << none << message << true << "sent" << QString();
    QTest::newRow("keypad Enter sends (on)")
        << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << message << true
        << "sent" << QString();
    QTest::newRow("Shift+Enter breaks (on)")
        << int(Qt::Key_Return) << shift << message << true << "nothing" << helloBreak;
    QTest::newRow("Ctrl+Enter nothing (on)")
        << int(Qt::Key_Return) << ctrl << message << true << "nothing" << unchecked;
    QTest::newRow("Ctrl+Enter sends (off)")
        << int(Qt::Key_Return) << ctrl << message << false << "sent" << QString();
    QTest::newRow("Enter breaks (off)")
        << int(Qt::Key_Return) << none << message << false << "nothing" << helloBreak;
    QTest::newRow("Ctrl+Shift+Enter nothing (off)")
        << int(Qt::Key_Return) << ctrlShift << message << false << "nothing" << unchecked;
    QTest::newRow("Enter in user name (on)")
        << int(Qt::Key_Return) << none << "username" << true << "nothing" << hello;
    QTest::newRow("Esc in message box")
        << int(Qt::Key_Escape) << none << message << true << "hidden" << hello;
    QTest::newRow("Esc in user name")
        << int(Qt::Key_Escape) << none << "username" << true << "hidden" << hello;
    QTest::newRow("Esc in conversation")
        << int(Qt::Key_Escape) << none << "log" << true << "hidden" << hello;
    QTest::newRow("Shift+Esc exits")
        << int(Qt::Key_Escape) << shift << message << true << "exit" << unchecked;
    QTest::newRow("Ctrl+Esc nothing")
        << int(Qt::Key_Escape) << ctrl << message << true << "nothing" << hello;
    QTest::newRow("F9 settings") << int(Qt::Key_F9) << none << "log" << true << "settings" << hello;
    QTest::newRow("Shift+F9 nothing")
        << int(Qt::Key_F9) << shift << message << true << "nothing" << hello;
    QTest::newRow("Ctrl+F9 nothing")
        << int(Qt::Key_F9) << ctrl << message << true << "nothing" << hello;
    QTest::newRow("Ctrl+L logs") << int(Qt::Key_L) << ctrl << "username" << true << "logs" << hello;
    QTest::newRow("Ctrl+Shift+L nothing")
        << int(Qt::Key_L) << ctrlShift << message << true << "nothing" << hello;
    QTest::newRow("Ctrl+Alt+L nothing")
        << int(Qt::Key_L) << ctrlAlt << message << true << "nothing" << unchecked;
    QTest::newRow("Ctrl+0 transparent")
        << int(Qt::Key_0) << ctrl << message << true << "transparent" << hello;
    QTest::newRow("Ctrl+Shift+0 nothing")
        << int(Qt::Key_0) << ctrlShift << message << true << "nothing" << unchecked;
    QTest::newRow("Ctrl+Alt+0 nothing")
        << int(Qt::Key_0) << ctrlAlt << message << true << "nothing" << unchecked;
    QTest::newRow("Ctrl+keypad 0 nothing")
        << int(Qt::Key_0) << (ctrl | Qt::KeypadModifier) << "log" << true << "nothing" << hello;
}

// Each key through the window system into the focused widget, as typed.
void tst_frmMain::keyMap()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, focus);
    QFETCH(bool, sendOnEnter);
    QFETCH(QString, effect);
    QFETCH(QString, messageText);

    appSettings().sendOnEnter = sendOnEnter;
    ChatWindow *window = openWindow();
    QSignalSpy ended(window, &ChatWindow::sessionEnded);
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    box->setPlainText(u"hello"_s);
    box->moveCursor(QTextCursor::End);
    const QString target = focus == "message"_L1    ? u"txtMessage"_s
                           : focus == "username"_L1 ? u"txtUserName"_s
                                                    : u"rtfLog"_s;
    window->findChild<QWidget *>(target)->setFocus();

    QTest::keyClick(window->windowHandle(), Qt::Key(key), modifiers);

    const bool sent = !messageFiles(ExchangeFolderPath).isEmpty();
    QCOMPARE(sent, effect == "sent"_L1);
    if (sent)
        QCOMPARE(box->toPlainText(), QString());
    if (!messageText.isNull())
        QCOMPARE(box->toPlainText(), messageText);
    QCOMPARE(window->isHidden(), effect == "hidden"_L1 || effect == "exit"_L1);
    QCOMPARE(ended.count(), effect == "exit"_L1 ? 1 : 0);
    QCOMPARE(SettingsDialog::instance() != nullptr, effect == "settings"_L1);
    QCOMPARE(LogsViewer::instance() != nullptr, effect == "logs"_L1);
    QCOMPARE(window->opacityPercent(), effect == "transparent"_L1 ? 75 : 0);
}

void tst_frmMain::selectAllTypesNothing_data()
{
    QTest::addColumn<QString>("box");
    QTest::newRow("message box") << u"txtMessage"_s;
    QTest::newRow("user name") << u"txtUserName"_s;
}

void tst_frmMain::selectAllTypesNothing()
{
    QFETCH(QString, box);
    ChatWindow *window = openWindow();
    auto *message = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    auto *name = window->findChild<QLineEdit *>(u"txtUserName"_s);
    message->setPlainText(u"some text"_s);
    name->setText(u"some name"_s);
    window->findChild<QWidget *>(box)->setFocus();

    QTest::keyClick(window->windowHandle(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(message->toPlainText(), u"some text"_s);
    QCOMPARE(name->text(), u"some name"_s);
    if (box == "txtMessage"_L1)
        QCOMPARE(message->textCursor().selectedText(), u"some text"_s);
    else
        QCOMPARE(name->selectedText(), u"some name"_s);
    // The next key types as usual again.
    QTest::keyClick(window->windowHandle(), Qt::Key_X);
    QVERIFY(message->toPlainText() == u"x"_s || name->text() == u"x"_s);
}

void tst_frmMain::closeBoxHidesAndTrayShowsAgain()
{
    ChatWindow *window = openWindow();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"kept text"_s);
    QTRY_VERIFY(viewText().contains(u"kept text"_s));
    QSignalSpy ended(window, &ChatWindow::sessionEnded);

    spontaneousClose();
    QVERIFY(window->isHidden());
    QVERIFY(window->sessionRunning());
    QVERIFY(window->findChild<QSystemTrayIcon *>(u"stMain"_s)->isVisible());
    QCOMPARE(ended.count(), 0);
    QVERIFY(m_boxes.isEmpty());

    trayAction(0)->trigger();
    QVERIFY(window->isVisible());
    QVERIFY(viewText().contains(u"kept text"_s));
}

void tst_frmMain::trayIconClickShowsWindow_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("shown");
    QTest::newRow("click") << int(QSystemTrayIcon::Trigger) << true;
    QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << true;
    QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << true;
    QTest::newRow("context menu") << int(QSystemTrayIcon::Context) << false;
}

// The tray's own menu takes the right click; every other action on the icon
// brings the window back.
void tst_frmMain::trayIconClickShowsWindow()
{
    QFETCH(int, reason);
    QFETCH(bool, shown);
    ChatWindow *window = openWindow();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isHidden());
    auto *tray = window->findChild<QSystemTrayIcon *>(u"stMain"_s);
    emit tray->activated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(window->isVisible(), shown);
}

void tst_frmMain::shiftCloseExitsAfterSavingLog()
{
    ChatWindow *window = openWindow();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"before exit"_s);
    QTRY_VERIFY(viewText().contains(u"before exit"_s));
    QSignalSpy ended(window, &ChatWindow::sessionEnded);

    QTest::keyPress(window->windowHandle(), Qt::Key_Shift, Qt::ShiftModifier);
    QVERIFY(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier));
    spontaneousClose();
    QTest::keyRelease(window->windowHandle(), Qt::Key_Shift, Qt::NoModifier);

    QCOMPARE(ended.count(), 1);
    QVERIFY(!window->sessionRunning());
    QVERIFY(window->isHidden());
    QVERIFY(QFile::exists(window->logFilePath()));
    QVERIFY(TestEnvironment::readAll(window->logFilePath()).contains(u"before exit"_s));
}

void tst_frmMain::trayExitWorksWhileHidden()
{
    ChatWindow *window = openWindow();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isHidden());
    QSignalSpy ended(window, &ChatWindow::sessionEnded);
    trayAction(2)->trigger();
    QCOMPARE(ended.count(), 1);
    QVERIFY(m_boxes.isEmpty()); // nothing shown, no log to save
}

void tst_frmMain::endOfDesktopSessionExitsSavingLog()
{
    ChatWindow *window = openWindow();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"before logout"_s);
    QTRY_VERIFY(viewText().contains(u"before logout"_s));
    QSignalSpy ended(window, &ChatWindow::sessionEnded);
    window->endDesktopSession();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!window->sessionRunning());
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(TestEnvironment::readAll(window->logFilePath()).contains(u"before logout"_s));
}

namespace {

// Makes the logs folder impossible to create: a file stands where it belongs.
void blockLogsFolder()
{
    const QString logs = xdgDataHome() + u"/Greyhollow Studios/Quillet IM/Logs"_s;
    QDir().mkpath(QFileInfo(logs).absolutePath());
    QFile blocker(logs);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
}

QString storedUserName()
{
    SettingsStore store;
    return store.loadValue(u"Nicks"_s, ChatFilePath, ValueKind::Text).toString();
}

// Eats the request to quit once the window under test has seen it, so that
// the test's own application goes on.
class QuitEater final : public QObject
{
protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Quit; }
};

} // namespace

// Nobody can answer a box while the desktop session ends: a log that cannot
// be saved is given up silently and the exit completes.
void tst_frmMain::endOfDesktopSessionAsksNothing()
{
    blockLogsFolder();
    ChatWindow *window = openWindow();
    window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"Logging out"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"unsaved"_s);
    QTRY_VERIFY(viewText().contains(u"unsaved"_s));
    QSignalSpy ended(window, &ChatWindow::sessionEnded);
    m_answers = {BoxAnswer::Abort};
    window->endDesktopSession();
    QCOMPARE(ended.count(), 1);
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(storedUserName(), u"Logging out"_s);
}

// The session manager's request to quit (the end of an X11 session) ends the
// chat as the end of the session does, even while it is hidden in the tray.
void tst_frmMain::quitRequestEndsChat()
{
    QuitEater eater;
    qApp->installEventFilter(&eater); // before the window's, so it sees the request last
    ChatWindow *window = openWindow();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"before quit"_s);
    QTRY_VERIFY(viewText().contains(u"before quit"_s));
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isHidden());
    QSignalSpy ended(window, &ChatWindow::sessionEnded);

    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(qApp, &quit);
    QCOMPARE(ended.count(), 1);
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(TestEnvironment::readAll(window->logFilePath()).contains(u"before quit"_s));
}

// A checkpoint saves what a crash or a kill afterwards would lose, and the
// chat goes on as it was; a log that cannot be saved asks nothing.
void tst_frmMain::sessionCheckpointSavesAndChatGoesOn()
{
    ChatWindow *window = openWindow();
    window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"Checkpoint name"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"first"_s);
    QTRY_VERIFY(viewText().contains(u"first"_s));
    QSignalSpy ended(window, &ChatWindow::sessionEnded);
    window->move(window->pos() + QPoint(7, 5));
    const QPoint placed = window->pos();

    window->saveCheckpoint();
    QCOMPARE(storedUserName(), u"Checkpoint name"_s);
    QVERIFY(TestEnvironment::readAll(window->logFilePath()).contains(u"first"_s));
    QCOMPARE(ended.count(), 0);
    QVERIFY(window->sessionRunning());
    QVERIFY(window->isVisible());
    m_window.reset();
    openWindow(false);
    QCOMPARE(m_window->pos(), placed);
    QCOMPARE(m_window->findChild<QLineEdit *>(u"txtUserName"_s)->text(), u"Checkpoint name"_s);

    // Receiving goes on after a checkpoint; a failing one asks nothing.
    const QString logs = xdgDataHome() + u"/Greyhollow Studios/Quillet IM/Logs"_s;
    QVERIFY(QDir(logs).removeRecursively());
    blockLogsFolder();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"guest"_s, u"second"_s);
    QTRY_VERIFY(viewText().contains(u"second"_s));
    m_window->saveCheckpoint();
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(m_window->sessionRunning());
}

void tst_frmMain::abortKeepsWindowAndNextCloseHides()
{
    blockLogsFolder();
    ChatWindow *window = openWindow();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"unsaved"_s);
    QTRY_VERIFY(viewText().contains(u"unsaved"_s));
    QVERIFY(m_boxes.isEmpty()); // the silent save failed silently
    QSignalSpy ended(window, &ChatWindow::sessionEnded);

    m_answers = {BoxAnswer::Abort};
    trayAction(2)->trigger();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).style, (BoxStyle{BoxButtons::AbortRetryIgnore, BoxIcon::Stop}));
    QVERIFY(m_boxes.at(0).text.contains(u"Не удалось сохранить лог."_s));
    QCOMPARE(ended.count(), 0);
    QVERIFY(window->sessionRunning());
    QVERIFY(window->isVisible());

    spontaneousClose();
    QVERIFY(window->isHidden());
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(ended.count(), 0);
}

void tst_frmMain::ignoreExitsWithoutLog()
{
    blockLogsFolder();
    ChatWindow *window = openWindow();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"unsaved"_s);
    QTRY_VERIFY(viewText().contains(u"unsaved"_s));
    QSignalSpy ended(window, &ChatWindow::sessionEnded);
    m_answers = {BoxAnswer::Ignore};
    window->findChild<PictureButton *>(u"ucbExit"_s)->click();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(ended.count(), 1);
}

void tst_frmMain::withoutTrayWindowIsMinimised()
{
    overrideTrayAvailable(false);
    ChatWindow *window = openWindow();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QTRY_VERIFY(window->isMinimized());
    QVERIFY(window->isVisible());
    window->showNormal();
    QTRY_VERIFY(!window->isMinimized());
    spontaneousClose();
    QTRY_VERIFY(window->isMinimized());
    QVERIFY(window->sessionRunning());

    // A hidden start starts minimised.
    m_window.reset();
    ChatWindow *hidden = openWindow(false);
    QVERIFY(hidden->isMinimized());
    QVERIFY(hidden->isVisible());
}

// A tray that comes up after the chat gets the icon, and the window then hides
// into it; a tray that goes away gives the hidden window back, minimised.
void tst_frmMain::trayComingAndGoing()
{
    overrideTrayAvailable(false);
    ChatWindow *window = openWindow(false);
    auto *tray = window->findChild<QSystemTrayIcon *>(u"stMain"_s);
    QVERIFY(tray->isVisible()); // asked for all along
    QVERIFY(window->isMinimized());

    overrideTrayAvailable(true);
    window->showNormal();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isHidden());

    overrideTrayAvailable(false);
    QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 3 * ChatWindow::TrayCheckIntervalMs);
    QVERIFY(window->isMinimized());
    QVERIFY(tray->isVisible());
    QVERIFY(window->sessionRunning());
}

void tst_frmMain::transparencyCycle()
{
    ChatWindow *window = openWindow();
    auto *button = window->findChild<PictureButton *>(u"ucbMakeTransparent"_s);
    const QPoint centre = button->mapTo(window, button->rect().center());
    QCOMPARE(window->opacityPercent(), 0);
    QCOMPARE(window->windowOpacity(), 1.0);

    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, centre);
    QCOMPARE(window->opacityPercent(), 75);
    QCOMPARE(qRound(window->windowOpacity() * 255), 191);
    QTest::keyClick(window->windowHandle(), Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(window->opacityPercent(), 100);
    QCOMPARE(qRound(window->windowOpacity() * 255), 255);
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, centre);
    QCOMPARE(window->opacityPercent(), 75);
    QCOMPARE(qRound(window->windowOpacity() * 255), 191);
    // Hiding and showing keeps it.
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    window->show();
    QCOMPARE(window->opacityPercent(), 75);
}

void tst_frmMain::blinkingWhileHiddenStopsOnActivation()
{
    ChatWindow *window = openWindow();
    auto *blinker = window->findChild<TrayBlinker *>(u"icBlinker"_s);
    auto *tray = window->findChild<QSystemTrayIcon *>(u"stMain"_s);
    const qint64 restIcon = tray->icon().cacheKey();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QVERIFY(window->isHidden());

    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"while hidden"_s);
    QTRY_VERIFY(blinker->isBlinking());
    QVERIFY(tray->icon().cacheKey() != restIcon);
    trayAction(0)->trigger();
    QVERIFY(window->isVisible());
    // The desktop activates the shown window (the offscreen platform leaves that to us).
    QApplication::setActiveWindow(window);
    QVERIFY(window->isActiveWindow());
    QTRY_VERIFY(!blinker->isBlinking());
    QCOMPARE(tray->icon().cacheKey(), restIcon);
}

void tst_frmMain::blinkingWhileInactiveButNotWhileActive()
{
    ChatWindow *window = openWindow();
    auto *blinker = window->findChild<TrayBlinker *>(u"icBlinker"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"while active"_s);
    QTRY_VERIFY(viewText().contains(u"while active"_s));
    QVERIFY(!blinker->isBlinking());

    // Another window in front.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"guest"_s, u"while behind"_s);
    QTRY_VERIFY(blinker->isBlinking());

    // Clicking into the chat window stops it.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTRY_VERIFY(!blinker->isBlinking());
}

void tst_frmMain::firstTickShowsWhatArrivedInSendOrder()
{
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"anna"_s, u"second"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"boris"_s, u"first"_s);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 2, u"anna"_s, u"third"_s);
    m_env->touch(u"chats/notes.txt"_s, "not a message");
    openWindow(false); // a hidden start dispatches as well
    QTRY_VERIFY(viewText().contains(u"third"_s));
    const QString text = viewText();
    QVERIFY(text.indexOf(u"first"_s) < text.indexOf(u"second"_s));
    QVERIFY(text.indexOf(u"second"_s) < text.indexOf(u"third"_s));
    // Marked once the log holding them is saved.
    for (const QString &name : messageFiles(ExchangeFolderPath))
        QTRY_COMPARE(dosAttributes(ExchangeFolderPath + '/'_L1 + name), QByteArray("0x2"));
    QVERIFY(dosAttributes(ChatFilePath).isEmpty());
    QVERIFY(dosAttributes(m_env->path(u"chats/notes.txt"_s)).isEmpty());
}

void tst_frmMain::malformedFileGivesErrorLineAndBatchGoesOn()
{
    const QString broken =
        m_env->touch(u"chats/2026-12-05 09-00-00-00-000 x.QLIM"_s, QByteArray("2026\0"
                                                                              "12",
                                                                              7));
    // Left broken long ago: a fresh one would wait for its writer first.
    QFile old(broken);
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                            QFileDevice::FileModificationTime));
    old.close();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"after the broken one"_s);
    ChatWindow *window = openWindow(false);
    QTRY_VERIFY(viewText().contains(u"after the broken one"_s));
    const QString text = viewText();
    const qsizetype error = text.indexOf(u"Ошибка получения сообщения. Код "_s);
    QVERIFY(error >= 0);
    QVERIFY(error < text.indexOf(u"after the broken one"_s));
    QVERIFY(text.contains(appTitle()));
    QTRY_COMPARE(dosAttributes(broken), QByteArray("0x2"));
    // The error line alone does not blink; the message after it does (hidden window).
    QVERIFY(window->findChild<TrayBlinker *>(u"icBlinker"_s)->isBlinking());
}

void tst_frmMain::restartShowsNothingTwice()
{
    appSettings().showDebugMessages = true;
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"only once"_s);
    openWindow();
    QTRY_VERIFY(viewText().contains(u"only once"_s));
    m_window.reset();

    openWindow();
    const QString falseAlarm = u"dispatchAll() ==> Ложное срабатывание."_s;
    QTRY_VERIFY(viewText().contains(falseAlarm));
    QVERIFY(!viewText().contains(u"only once"_s));

    // A shown file made visible again by hand is shown again.
    const QString path = ExchangeFolderPath + '/'_L1 + messageFiles(ExchangeFolderPath).at(0);
    QVERIFY(removexattr(QFile::encodeName(path).constData(), "user.DOSATTRIB") == 0);
    QTRY_VERIFY(viewText().contains(u"only once"_s));
}

void tst_frmMain::falseAlarmFollowsBatchWithDebugMessages()
{
    appSettings().showDebugMessages = true;
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"guest"_s, u"a message"_s);
    openWindow();
    const QString falseAlarm = u"dispatchAll() ==> Ложное срабатывание."_s;
    QTRY_VERIFY(viewText().contains(falseAlarm));
    QVERIFY(viewText().indexOf(u"a message"_s) < viewText().indexOf(falseAlarm));
}

void tst_frmMain::longBatchShowsEveryFileOnce()
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

void tst_frmMain::sendWritesFileThatComesBackAsOwn()
{
    appSettings().sendOnEnter = true;
    ChatWindow *window = openWindow();
    auto *name = window->findChild<QLineEdit *>(u"txtUserName"_s);
    name->setText(u"  Вася  "_s);
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    box->setFocus();
    box->insertPlainText(u"Привет"_s);
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QCOMPARE(box->toPlainText(), QString());
    QCOMPARE(messageFiles(ExchangeFolderPath).size(), 1);
    QTRY_VERIFY(viewText().contains(u"Привет"_s));
    QVERIFY(viewText().contains(u"Вася"_s));
    QVERIFY(!viewText().contains(u"  Вася"_s));
    // The own message, read back while the window is active, does not blink.
    QVERIFY(!window->findChild<TrayBlinker *>(u"icBlinker"_s)->isBlinking());
}

void tst_frmMain::blankMessageSendsNothing()
{
    appSettings().sendOnEnter = true;
    ChatWindow *window = openWindow();
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    box->setPlainText(u" \n\t \r\n  "_s);
    box->moveCursor(QTextCursor::End);
    box->setFocus();
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QVERIFY(messageFiles(ExchangeFolderPath).isEmpty());
    QCOMPARE(box->toPlainText(), u" \n\t \n  "_s); // no line break added
}

void tst_frmMain::blankUserNameIsAnonymous()
{
    appSettings().sendOnEnter = true;
    ChatWindow *window = openWindow();
    window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"   "_s);
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    box->setPlainText(u"hi"_s);
    box->setFocus();
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QTRY_VERIFY(viewText().contains(u"Анонимус"_s));
}

void tst_frmMain::sendFailureKeepsTextAndShowsErrorLine()
{
    appSettings().sendOnEnter = true;
    ChatWindow *window = openWindow();
    // The exchange folder became unreachable: a file now stands in its place.
    ExchangeFolderPath = m_env->touch(u"gone"_s);
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    box->setPlainText(u"keep me"_s);
    box->setFocus();
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QCOMPARE(box->toPlainText(), u"keep me"_s);
    QVERIFY(viewText().contains(u"Ошибка отправки сообщения. Код "_s));
}

void tst_frmMain::userNamePerChat()
{
    ChatWindow *window = openWindow();
    auto *name = window->findChild<QLineEdit *>(u"txtUserName"_s);
    QCOMPARE(name->text(), userName() + u" / "_s + computerName());
    name->setText(u"Пётр"_s);
    window->findChild<PictureButton *>(u"ucbExit"_s)->click();
    QVERIFY(!window->sessionRunning());

    openWindow();
    QCOMPARE(m_window->findChild<QLineEdit *>(u"txtUserName"_s)->text(), u"Пётр"_s);
    // The default-name button.
    m_window->findChild<PictureButton *>(u"ucbSetDefaultUserName"_s)->click();
    QCOMPARE(m_window->findChild<QLineEdit *>(u"txtUserName"_s)->text(),
             ChatWindow::defaultUserName());
    m_window.reset();

    ChatFilePath = m_env->touch(u"chats/other.QLIMChat"_s);
    openWindow();
    QCOMPARE(m_window->findChild<QLineEdit *>(u"txtUserName"_s)->text(),
             ChatWindow::defaultUserName());
}

void tst_frmMain::wheelOverConversationScrollsIt()
{
    ChatWindow *window = openWindow();
    auto *log = window->findChild<QTextEdit *>(u"rtfLog"_s);
    auto *box = window->findChild<QPlainTextEdit *>(u"txtMessage"_s);
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << u"line %1"_s.arg(i);
    log->setPlainText(lines.join('\n'_L1));
    box->setPlainText(lines.join('\n'_L1));
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    box->setFocus();
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

void tst_frmMain::buttonPicturesAreLoaded()
{
    ChatWindow *window = openWindow();
    for (const char *name : {"ucbSettings", "ucbLogs", "ucbMakeTransparent", "ucbExit"})
        QCOMPARE(window->findChild<PictureButton *>(QLatin1String(name))->picture().size(),
                 QSize(32, 32));
    QVERIFY(window->findChild<PictureButton *>(u"ucbSetDefaultUserName"_s)->picture().isNull());
}

// A blind user finds every control by a name of its own and works the tool
// buttons from the keyboard.
void tst_frmMain::keyboardAndScreenReaderReachEveryControl()
{
    ChatWindow *window = openWindow();
    const QList<QPair<const char *, QAccessible::Role>> controls{
        {"txtUserName", QAccessible::EditableText},  {"ucbSetDefaultUserName", QAccessible::Button},
        {"ucbSettings", QAccessible::Button},        {"ucbLogs", QAccessible::Button},
        {"ucbMakeTransparent", QAccessible::Button}, {"ucbExit", QAccessible::Button},
        {"rtfLog", QAccessible::EditableText},       {"txtMessage", QAccessible::EditableText}};
    QStringList names;
    for (const auto &[name, role] : controls) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(
            window->findChild<QWidget *>(QLatin1String(name)));
        QCOMPARE(accessible->role(), role);
        const QString spoken = accessible->text(QAccessible::Name);
        QVERIFY2(!spoken.isEmpty() && spoken == spoken.trimmed(), name);
        names.append(spoken);
    }
    names.removeDuplicates();
    QCOMPARE(names.size(), controls.size());

    auto *settings = window->findChild<PictureButton *>(u"ucbSettings"_s);
    for (int tabs = 0; tabs < 8 && QApplication::focusWidget() != settings; ++tabs)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), settings);
    QTest::keyClick(settings, Qt::Key_Space);
    QVERIFY(SettingsDialog::instance());
    QVERIFY(SettingsDialog::instance()->isVisible());
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
