#include "frmmain.h"

#include "appstate.h"
#include "boxes.h"
#include "frmlogsviewer.h"
#include "frmsettings.h"
#include "glimmer.h"
#include "keymap.h"
#include "messagerenderer.h"
#include "placement.h"
#include "resources.h"
#include "settings.h"
#include "settingsstore.h"
#include "support.h"
#include "systemtime.h"
#include "transparency.h"
#include "trayavailability.h"
#include "ucbutton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QWheelEvent>

namespace {

// Positions are laid out in twips; 15 twips are one pixel.
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

QString errorLine(const QString &lead, const Error &error)
{
    return lead + bfGetErrorNumber(error.number) + QStringLiteral("\r\n") + error.description;
}

// The session manager ends the desktop session by telling the application to
// quit once it has saved: the chat then ends as at the end of the session.
class QuitRequestWatch final : public QObject
{
public:
    explicit QuitRequestWatch(frmMain *window) : QObject(window), m_window(window)
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::Quit)
            m_window->EndOfDesktopSession();
        return false;
    }

private:
    frmMain *m_window;
};

} // namespace

frmMain::frmMain(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    createWidgets();
    createTray();
    connectHandlers();
    m_renderer = std::make_unique<MessageRenderer>(rtfLog, this);
}

frmMain::~frmMain()
{
    StopSubclassing();
}

void frmMain::createWidgets()
{
    setFont(ConversationFont());
    setFixedSize(7170 / 15, 5070 / 15);

    lblTag[0] = new QLabel(QStringLiteral("Меня зовут:"), this);
    // The labels may run on up to the next widget: fonts other than Tahoma are wider.
    lblTag[0]->setGeometry(twips(120, 105, 1020, 210).adjusted(0, -2, 10, 2));
    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    txtUserName->setGeometry(twips(1320, 60, 2475, 315));

    const auto button = [this](const char *name, QRect place, const QString &tip) {
        auto *created = new ucButton(this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(place);
        created->setToolTip(tip);
        return created;
    };
    ucbSetDefaultUserName = button("ucbSetDefaultUserName", twips(3840, 60, 315, 315),
                                   QStringLiteral(" Установить имя пользователя по умолчанию "));
    ucbSettings =
        button("ucbSettings", twips(4260, 60, 675, 675), QStringLiteral(" Настройки (F9) "));
    ucbLogs =
        button("ucbLogs", twips(4980, 60, 675, 675), QStringLiteral(" Просмотр логов (Ctrl+L) "));
    ucbMakeTransparent = button("ucbMakeTransparent", twips(5700, 60, 675, 675),
                                QStringLiteral(" Сделать окно полупрозрачным (Ctrl+0) "));
    ucbExit = button("ucbExit", twips(6420, 60, 675, 675), QStringLiteral(" Выход (Shift+Esc) "));

    lblTag[1] = new QLabel(QStringLiteral("Журнал текущей беседы:"), this);
    lblTag[1]->setGeometry(twips(120, 480, 2205, 210).adjusted(0, -2, 120, 2));
    rtfLog = new QTextEdit(this);
    rtfLog->setObjectName(QStringLiteral("rtfLog"));
    rtfLog->setGeometry(twips(60, 780, 7035, 3435));
    rtfLog->setReadOnly(true);
    rtfLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setGeometry(twips(60, 4260, 7035, 735));
    txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage->setTabChangesFocus(true);

    setTabOrder(txtUserName, rtfLog);
    setTabOrder(rtfLog, txtMessage);
}

void frmMain::createTray()
{
    stMain = new QSystemTrayIcon(this);
    stMain->setObjectName(QStringLiteral("stMain"));
    mnuMain = new QMenu(QStringLiteral("Context"), this);
    mnuMain->setObjectName(QStringLiteral("mnuMain"));
    QAction *show = mnuMain->addAction(QStringLiteral("Показать окно сообщений"));
    show->setObjectName(QStringLiteral("mnuContext0"));
    mnuMain->addSeparator();
    QAction *exit = mnuMain->addAction(QStringLiteral("Выход"));
    exit->setObjectName(QStringLiteral("mnuContext2"));
    connect(show, &QAction::triggered, this, &frmMain::ShowAndRestore);
    connect(exit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    stMain->setContextMenu(mnuMain);
    connect(stMain, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { stMain_Activated(reason); });

    icBlinker = new brfGlimmer(this);
    icBlinker->setObjectName(QStringLiteral("icBlinker"));
    connect(icBlinker, &brfGlimmer::IconChange, stMain, &QSystemTrayIcon::setIcon);
}

void frmMain::connectHandlers()
{
    connect(ucbSetDefaultUserName, &ucButton::Click, this, &frmMain::ucbSetDefaultUserName_Click);
    connect(ucbSettings, &ucButton::Click, this, &frmMain::ucbSettings_Click);
    connect(ucbLogs, &ucButton::Click, this, &frmMain::ucbLogs_Click);
    connect(ucbMakeTransparent, &ucButton::Click, this, &frmMain::ucbMakeTransparent_Click);
    connect(ucbExit, &ucButton::Click, this, &frmMain::ucbExit_Click);
    // The session manager sends both requests on a mere checkpoint as well as
    // before the end of the session; the end itself comes as a request to quit.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &) { SaveSessionCheckpoint(); });
    connect(qApp, &QGuiApplication::saveStateRequest, this,
            [this](QSessionManager &) { SaveSessionCheckpoint(); });
    new QuitRequestWatch(this);
}

QString frmMain::logFilePath() const
{
    return m_renderer->logFilePath();
}

// ---------------------------------------------------------------- start and end

void frmMain::Form_Load(bool startHidden)
{
    bfCenterFormEx(this);
    bfSetWindowResIconAll(this, QStringLiteral("A_MAIN"));
    setWindowTitle(QStringLiteral("Quillet IM :: ") + bfGetFileName(ChatFilePath));

    stMain->setToolTip(windowTitle());
    stMain->setIcon(LoadResIcon(QStringLiteral("A_MAIN")));
    // Asked for during the whole session, so that a tray that comes up later gets it.
    stMain->setVisible(true);
    m_trayCheck.setInterval(TrayCheckIntervalMs);
    connect(&m_trayCheck, &QTimer::timeout, this, &frmMain::checkTray);
    m_trayCheck.start();

    StartSubclassing();

    icBlinker->setBlinking(false);
    icBlinker->setMessageIcon(LoadResIcon(QStringLiteral("IDI_MESSAGE")));
    icBlinker->setEmptyIcon(LoadResIcon(QStringLiteral("IDI_EMPTY")));
    icBlinker->setRestIcon(stMain->icon());

    LoadButtonPictures();
    LoadChatWindowState();

    m_session = std::make_unique<ChatSession>(ExchangeFolderPath, MyGUID);
    m_session->setLogSaver([this] { return m_renderer->SaveConversationLog(true); });
    connect(m_session.get(), &ChatSession::ticked, this, &frmMain::tmrUpdate_Timer);
    connect(m_session.get(), &ChatSession::received, this, &frmMain::showReceived);
    connect(m_session.get(), &ChatSession::falseAlarmRaised, this, &frmMain::ShowDebugMessage);
    m_session->start();
    m_sessionRunning = true;
#ifdef QUILLET_TEST_HOOKS
    m_testInputPath = qEnvironmentVariable("QUILLET_TEST_INPUT");
#endif

    txtMessage->setFocus();
    if (startHidden)
        HideWindow();
}

void frmMain::LoadButtonPictures()
{
    const std::pair<ucButton *, const char *> pictures[] = {
        {ucbSettings, "IDP_SETTINGS"},
        {ucbLogs, "IDP_SHOW_LOGS"},
        {ucbMakeTransparent, "IDP_MAKE_TRANSPARENT"},
        {ucbExit, "IDP_EXIT"},
    };
    // Every failure is ignored: a picture that cannot be made leaves its button blank.
    for (const auto &[target, name] : pictures) {
        const Result<QByteArray> bytes = LoadResPicture(QLatin1String(name));
        if (!bytes)
            continue;
        const Result<QPixmap> picture = PictureFromPNG(bytes.value());
        if (picture)
            (void)target->setPicture(picture.value());
    }
}

QString frmMain::GetDefaultUserName()
{
    return bfGetUserName() + QStringLiteral(" / ") + bfGetComputerName();
}

void frmMain::LoadChatWindowState()
{
    RestoreFormPlacement(this, QString(), ChatFilePath);
    SettingsStore store;
    txtUserName->setText(
        store
            .LoadValue(QStringLiteral("Nicks"), ChatFilePath, ValueKind::Text, GetDefaultUserName())
            .toString());
}

void frmMain::SaveChatWindowState(bool silent)
{
    SaveFormPlacement(this, QString(), ChatFilePath);
    SettingsStore store;
    const Status saved = store.SaveValue(QStringLiteral("Nicks"), ChatFilePath, ValueKind::Text,
                                         txtUserName->text());
    if (!silent)
        reportStoreFailure(saved);
}

// The window hooks: the window's own activation, and wheel turns and keys of
// the two text boxes, seen before the boxes see them.
void frmMain::StartSubclassing()
{
    if (m_subclassed)
        return;
    for (QObject *hooked :
         {static_cast<QObject *>(txtUserName), static_cast<QObject *>(txtMessage),
          static_cast<QObject *>(txtMessage->viewport()), static_cast<QObject *>(rtfLog)})
        hooked->installEventFilter(this);
    m_subclassed = true;
}

void frmMain::StopSubclassing()
{
    if (!m_subclassed)
        return;
    for (QObject *hooked :
         {static_cast<QObject *>(txtUserName), static_cast<QObject *>(txtMessage),
          static_cast<QObject *>(txtMessage->viewport()), static_cast<QObject *>(rtfLog)})
        hooked->removeEventFilter(this);
    m_subclassed = false;
}

// Close decision: the user's own close (close box, window menu, Alt+F4) hides
// the window unless Shift is held or the tray menu asked for the exit; every
// other close exits after the log is saved.
void frmMain::closeEvent(QCloseEvent *event)
{
    if (!m_sessionRunning) {
        event->accept();
        return;
    }
    const bool userClose = event->spontaneous() && !m_endOfDesktopSession;
    const bool shiftHeld = QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    if (userClose && !shiftHeld && !m_exitRequested) {
        event->ignore();
        HideWindow();
        return;
    }
    m_exitRequested = false;
    const bool silent = m_endOfDesktopSession;
    if (!m_renderer->SaveConversationLog(silent) && !silent) {
        event->ignore(); // Abort: the chat goes on
        return;
    }
    ExitSession();
    event->accept();
}

void frmMain::ExitSession()
{
    m_sessionRunning = false;
    m_session->stop(); // after the exit's save: what was shown gets its marks
    icBlinker->setBlinking(false);
    SaveChatWindowState(m_endOfDesktopSession);
    StopSubclassing();
    stMain->setVisible(false);
    emit sessionEnded();
}

void frmMain::EndOfDesktopSession()
{
    if (!m_sessionRunning)
        return;
    m_endOfDesktopSession = true;
    close();
}

void frmMain::SaveSessionCheckpoint()
{
    if (!m_sessionRunning)
        return;
    (void)m_renderer->SaveConversationLog(true);
    SaveChatWindowState(true);
}

// ---------------------------------------------------------------- receiving

void frmMain::tmrUpdate_Timer()
{
    if (m_sessionRunning && !m_testInputPath.isEmpty())
        pollTestInput();
}

// One slice of received messages goes into the view as one edit; the session
// saves the log afterwards, when it is due.
void frmMain::showReceived(const QList<IncomingEntry> &entries)
{
    bool message = false;
    m_renderer->BeginBatch();
    for (const IncomingEntry &entry : entries) {
        if (entry.type == IncomingEntry::Type::ReceiveError) {
            ShowSystemMessage(entry.errorText);
            continue;
        }
        const ReceivedMessage &received = entry.message;
        m_renderer->RenderMessage(received.senderName, received.text, received.utcTime,
                                  received.kind);
        message = true;
    }
    m_renderer->EndBatch();
    if (message && QApplication::activeWindow() != this)
        icBlinker->setBlinking(true);
}

void frmMain::ShowDebugMessage(const QString &text)
{
    if (Settings.ShowDebugMessages)
        ShowSystemMessage(text);
}

void frmMain::ShowSystemMessage(const QString &text)
{
    m_renderer->RenderMessage(appTitle(), text, Clock::utcSystemTime(), MessageKind::System);
}

// ---------------------------------------------------------------- sending

void frmMain::SendChatMessage()
{
    const QString text = bfTrimEx2(txtMessage->toPlainText(), TrimBreaks);
    // Blanks and line breaks in any mix are no message: the emptiness test
    // trims both kinds, not only blanks.
    if (text.isEmpty() || bfTrimEx2(text, TrimBlanksAndBreaks).isEmpty())
        return;
    const Result<QString> written =
        WriteMessageFile(ExchangeFolderPath, GetDisplayName(txtUserName->text()), text, MyGUID);
    if (!written) {
        ShowSystemMessage(
            errorLine(QStringLiteral("Ошибка отправки сообщения. Код "), written.error()));
        return;
    }
    txtMessage->setPlainText(QString());
}

// ---------------------------------------------------------------- keys and hooks

bool frmMain::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && icBlinker->Blinking())
        icBlinker->setBlinking(false);
    return QWidget::event(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress)
        return Form_KeyDown(static_cast<QKeyEvent *>(event), watched);
    if (event->type() == QEvent::Wheel &&
        (watched == txtUserName || watched == txtMessage || watched == txtMessage->viewport()))
        return forwardWheelToLog(static_cast<QWheelEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

void frmMain::keyPressEvent(QKeyEvent *event)
{
    if (!Form_KeyDown(event, this))
        QWidget::keyPressEvent(event);
}

// Returns true when the key is consumed and must not reach the focused widget.
bool frmMain::Form_KeyDown(QKeyEvent *event, QObject *target)
{
    const ChatKeyTarget where = target == txtMessage    ? ChatKeyTarget::MessageBox
                                : target == txtUserName ? ChatKeyTarget::UserNameBox
                                                        : ChatKeyTarget::Other;
    switch (ChatKeyActionFor(event->key(), event->modifiers(), where, Settings.SendOnEnter)) {
    case ChatKeyAction::None:
        break;
    case ChatKeyAction::Hide:
        HideWindow();
        return true;
    case ChatKeyAction::Exit:
        close();
        return true;
    case ChatKeyAction::Settings:
        ucbSettings->ClickMe();
        return true;
    case ChatKeyAction::Logs:
        ucbLogs->ClickMe();
        return true;
    case ChatKeyAction::Transparency:
        ucbMakeTransparent->ClickMe();
        return true;
    case ChatKeyAction::SelectAll:
        if (where == ChatKeyTarget::MessageBox) {
            txtMessage->selectAll();
            suppressMessageKeyPress = true;
        } else {
            txtUserName->selectAll();
            suppressUserNameKeyPress = true;
        }
        break;
    case ChatKeyAction::Send:
        SendChatMessage();
        suppressMessageKeyPress = true;
        break;
    }
    // The character the key would type: swallowed once after a handled key.
    if (where == ChatKeyTarget::MessageBox && suppressMessageKeyPress) {
        suppressMessageKeyPress = false;
        return true;
    }
    if (where == ChatKeyTarget::UserNameBox && suppressUserNameKeyPress) {
        suppressUserNameKeyPress = false;
        return true;
    }
    return false;
}

// A wheel turn over the conversation scrolls the conversation, even while the
// focus (and so the turn) is in one of the text boxes.
bool frmMain::forwardWheelToLog(QWheelEvent *event)
{
    const QPoint inWindow = mapFromGlobal(event->globalPosition().toPoint());
    QWidget *child = childAt(inWindow);
    if (!child || (child != rtfLog && !rtfLog->isAncestorOf(child)))
        return false;
    QWidget *receiver = rtfLog->viewport();
    const QPointF local = receiver->mapFromGlobal(event->globalPosition());
    QWheelEvent forwarded(local, event->globalPosition(), event->pixelDelta(), event->angleDelta(),
                          event->buttons(), event->modifiers(), event->phase(), event->inverted(),
                          event->source(), event->pointingDevice());
    QCoreApplication::sendEvent(receiver, &forwarded);
    return true;
}

// ---------------------------------------------------------------- tray and window

// Hidden only while the tray icon can bring the window back; minimised otherwise.
void frmMain::HideWindow()
{
    if (trayIconShown())
        hide();
    else
        showMinimized();
}

bool frmMain::trayIconShown() const
{
    return stMain->isVisible() && TrayAvailable();
}

// A tray that comes up later takes the icon by itself (Qt watches for it
// while the icon is asked for); one that goes away takes the hidden window's
// only way back with it, so the window comes back minimised.
void frmMain::checkTray()
{
    if (m_sessionRunning && isHidden() && !trayIconShown())
        showMinimized();
}

void frmMain::ShowAndRestore()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void frmMain::stMain_Activated(int reason)
{
    // The context menu is the tray's own; every other action shows the window.
    if (reason != QSystemTrayIcon::Context)
        ShowAndRestore();
}

void frmMain::mnuExit_Click()
{
    m_exitRequested = true;
    close();
}

// ---------------------------------------------------------------- buttons

void frmMain::ucbSetDefaultUserName_Click()
{
    txtUserName->setText(GetDefaultUserName());
}

void frmMain::ucbSettings_Click()
{
    txtMessage->setFocus();
    ShowSettingsWindow(this);
}

void frmMain::ucbLogs_Click()
{
    txtMessage->setFocus();
    ShowLogsViewer();
}

void frmMain::ucbMakeTransparent_Click()
{
    m_opacityPercent = m_opacityPercent == 75 ? 100 : 75;
    SetWindowTransparency(this, m_opacityPercent, true);
}

void frmMain::ucbExit_Click()
{
    close();
}

// ---------------------------------------------------------------- headless runs

// In test builds, with QUILLET_TEST_INPUT naming a file, each line of it is sent
// as if typed and sent with the send key, then the file is removed; a line ":exit"
// exits the chat as the tray menu's "Выход" does.
void frmMain::pollTestInput()
{
#ifdef QUILLET_TEST_HOOKS
    QFile input(m_testInputPath);
    if (!input.exists() || !input.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = QString::fromUtf8(input.readAll()).split(QLatin1Char('\n'));
    input.close();
    input.remove();
    for (const QString &line : lines) {
        if (line == QLatin1String(":exit")) {
            mnuExit_Click();
            return;
        }
        if (line.isEmpty())
            continue;
        txtMessage->setPlainText(line);
        SendChatMessage();
    }
#endif
}
