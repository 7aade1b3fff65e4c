#include "chatwindow/chatwindow.h"

#include "chatwindow/chattray.h"
#include "chatwindow/filesending.h"
#include "chatwindow/keymap.h"
#include "chatwindow/messagerenderer.h"
#include "chatwindow/spellingmenu.h"
#include "chatwindow/transparency.h"
#include "core/messagetime.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "gui/links.h"
#include "gui/picturebutton.h"
#include "gui/placement.h"
#include "gui/resources.h"
#include "gui/wheelforwarding.h"
#include "logsviewer/earliermessages.h"
#include "logsviewer/logsviewer.h"
#include "settings/settings.h"
#include "settings/settingsdialog.h"
#include "spelling/spellchecker.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// The stored section of the window's placement, named as the stores know it.
const QString PlacementSection = u"Placement frmMain"_s;
// The window's design, in pixels at 96 dpi; with the desktop's fonts a part
// grows where its text needs more room.
constexpr int ToolButtonSide = 45;
constexpr int SmallButtonSide = 21;
constexpr int ButtonSpacing = 3;
constexpr int LabelSpacing = 12;
constexpr int ToolsSpacing = 7;
constexpr int CaptionIndent = 4;
constexpr int UserNameWidth = 165;
constexpr QSize ConversationMinimumSize(469, 229);
constexpr int MessageBoxDesignHeight = 49;
constexpr int MessageBoxLines = 3;

// Three lines of the box's font, and never less than the design.
int messageBoxHeight(const QPlainTextEdit *box)
{
    const int frame = 2 * box->frameWidth();
    const int margins = qRound(2 * box->document()->documentMargin());
    const int lines = MessageBoxLines * box->fontMetrics().lineSpacing();
    return qMax(MessageBoxDesignHeight, lines + frame + margins);
}

// One checker for the process: its dictionaries are loaded once. It goes
// with the application, before its worker could outlive Qt.
SpellChecker &spellChecker()
{
    static SpellChecker *const checker = new SpellChecker(qApp);
    return *checker;
}

QString errorLine(const QString &lead, const Error &error)
{
    return lead + errorNumberText(error.number) + u"\r\n"_s + error.description;
}

} // namespace

ChatWindow::ChatWindow(const ChatContext &chat, QWidget *parent) : QWidget(parent), m_chat(chat)
{
    setObjectName(u"ChatWindow"_s);
    createWidgets();
    m_tray = new ChatTray(this);
    connectHandlers();
    m_renderer =
        std::make_unique<MessageRenderer>(rtfLog, this, m_chat.chatFile, m_chat.exchangeFolder);
}

ChatWindow::~ChatWindow()
{
    removeEventFilters();
}

void ChatWindow::createWidgets()
{
    prepareWindowTransparency(this);

    lblTag[0] = new QLabel(u"Меня зовут:"_s, this);
    txtUserName = new QLineEdit(this);
    txtUserName->setObjectName(u"txtUserName"_s);
    txtUserName->setMinimumWidth(UserNameWidth);

    const auto button = [this](const char *name, int side, const QString &tip) {
        auto *created = new PictureButton(this);
        created->setObjectName(QLatin1String(name));
        created->setSide(side);
        created->setToolTip(tip);
        return created;
    };
    ucbSetDefaultUserName = button("ucbSetDefaultUserName", SmallButtonSide,
                                   u" Установить имя пользователя по умолчанию "_s);
    ucbSettings = button("ucbSettings", ToolButtonSide, u" Настройки (F9) "_s);
    ucbLogs = button("ucbLogs", ToolButtonSide, u" Просмотр логов (Ctrl+L) "_s);
    ucbMakeTransparent =
        button("ucbMakeTransparent", ToolButtonSide, u" Сделать окно полупрозрачным (Ctrl+0) "_s);
    ucbExit = button("ucbExit", ToolButtonSide, u" Выход (Shift+Esc) "_s);

    lblTag[1] = new QLabel(u"Журнал текущей беседы:"_s, this);
    rtfLog = new QTextEdit(this);
    rtfLog->setObjectName(u"rtfLog"_s);
    rtfLog->setMinimumSize(ConversationMinimumSize);
    rtfLog->setReadOnly(true);
    rtfLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    enableLinks(rtfLog);
    rtfLog->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(rtfLog, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = rtfLog->createStandardContextMenu();
        addLinkActions(menu, *rtfLog, pos);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(rtfLog->viewport()->mapToGlobal(pos));
    });
    txtMessage = new MessageEdit(this);
    txtMessage->setObjectName(u"txtMessage"_s);
    txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage->setTabChangesFocus(true);
    txtMessage->setFixedHeight(messageBoxHeight(txtMessage));
    m_spelling = new MessageSpelling(txtMessage, spellChecker());
    m_spelling->setEnabled(appSettings().checkSpelling);
    txtMessage->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(txtMessage, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const std::unique_ptr<QMenu> menu(m_spelling->createContextMenu(pos));
        m_files->addMenuEntry(menu.get());
        menu->exec(txtMessage->viewport()->mapToGlobal(pos));
    });

    setTabOrder(txtUserName, rtfLog);
    setTabOrder(rtfLog, txtMessage);

    // Names a screen reader speaks; the buttons are named by their tooltips.
    lblTag[0]->setBuddy(txtUserName);
    lblTag[1]->setBuddy(rtfLog);
    txtMessage->setAccessibleName(u"Сообщение"_s);
    m_files = new FileSending(m_chat, txtMessage, txtUserName, this);
    for (QWidget *target :
         {static_cast<QWidget *>(this), static_cast<QWidget *>(txtUserName), rtfLog->viewport()})
        m_files->acceptDrops(target);
    layOut();
}

// The name row and the conversation's caption stand left of the four tool
// buttons; the conversation takes whatever room the window has, the message
// box keeps its height.
void ChatWindow::layOut()
{
    auto *nameRow = new QHBoxLayout;
    nameRow->setSpacing(ButtonSpacing);
    nameRow->addWidget(lblTag[0]);
    nameRow->addSpacing(LabelSpacing - ButtonSpacing);
    nameRow->addWidget(txtUserName, 1);
    nameRow->addWidget(ucbSetDefaultUserName);

    auto *captions = new QVBoxLayout;
    captions->setContentsMargins(CaptionIndent, 0, 0, 0);
    captions->setSpacing(0);
    captions->addLayout(nameRow);
    captions->addStretch(1);
    captions->addWidget(lblTag[1]);

    auto *top = new QHBoxLayout;
    top->setSpacing(ButtonSpacing);
    top->addLayout(captions, 1);
    top->addSpacing(ToolsSpacing - ButtonSpacing);
    for (PictureButton *tool : {ucbSettings, ucbLogs, ucbMakeTransparent, ucbExit})
        top->addWidget(tool, 0, Qt::AlignTop);

    auto *window = new QVBoxLayout(this);
    window->setContentsMargins(4, 4, 5, 5);
    window->setSpacing(ButtonSpacing);
    window->addLayout(top);
    window->addWidget(rtfLog, 1);
    window->addWidget(txtMessage);
    window->addWidget(m_files);
    resize(minimumSizeHint());
}

void ChatWindow::connectHandlers()
{
    connect(ucbSetDefaultUserName, &PictureButton::clicked, this, &ChatWindow::resetUserName);
    connect(ucbSettings, &PictureButton::clicked, this, &ChatWindow::openSettings);
    connect(ucbLogs, &PictureButton::clicked, this, &ChatWindow::openLogs);
    connect(ucbMakeTransparent, &PictureButton::clicked, this, &ChatWindow::toggleTransparency);
    connect(ucbExit, &PictureButton::clicked, this, &ChatWindow::exitChat);
    connect(m_tray, &ChatTray::showRequested, this, &ChatWindow::showAndRestore);
    connect(m_tray, &ChatTray::exitRequested, this, &ChatWindow::exitFromTray);
    connect(m_tray, &ChatTray::sendFileRequested, this, [this] {
        showAndRestore();
        m_files->chooseAndSend();
    });
    connect(m_files, &FileSending::failed, this, [this](const Error &error) {
        showSystemMessage(errorLine(u"Ошибка отправки сообщения. Код "_s, error));
    });
    connect(m_files, &FileSending::refused, this, &ChatWindow::showSystemMessage);
    connect(m_tray, &ChatTray::unreadCountChanged, this, [this](int count) {
        setWindowTitle(count ? u"(%1) "_s.arg(count) + m_title : m_title);
    });
    // The tray that goes away takes the hidden window's only way back with it,
    // so the window comes back minimised.
    connect(m_tray, &ChatTray::iconLost, this, [this] {
        if (m_sessionRunning && isHidden())
            showMinimized();
    });
}

QString ChatWindow::logFilePath() const
{
    return m_renderer->logFilePath();
}

// ---------------------------------------------------------------- start and end

void ChatWindow::startSession()
{
    centerOnScreen(this);
    setWindowIconFromResource(this, u"A_MAIN"_s);
    m_title = u"Quillet IM :: "_s + fileNameOf(m_chat.chatFile);
    setWindowTitle(m_title);

    m_tray->start(windowTitle());
    installEventFilters();

    loadButtonPictures();
    restoreState();

    m_session =
        std::make_unique<ChatSession>(m_chat.exchangeFolder, m_chat.userId, &m_conversation);
    m_session->setLogSaver([this] { return m_renderer->saveLog(true); });
    connect(m_session.get(), &ChatSession::ticked, this, &ChatWindow::onUpdateTimer);
    connect(m_session.get(), &ChatSession::received, this, &ChatWindow::showReceived);
    connect(m_session.get(), &ChatSession::falseAlarmRaised, this, &ChatWindow::showDebugMessage);
    connect(m_session.get(), &ChatSession::batchFinished, m_tray, &ChatTray::batchFinished);
    m_session->start();
    m_sessionRunning = true;
    loadEarlierMessages();
#ifdef QUILLET_TEST_HOOKS
    m_testInputPath = qEnvironmentVariable("QUILLET_TEST_INPUT");
#endif

    txtMessage->setFocus();
    if (m_chat.startHidden)
        hideWindow();
}

// On a worker thread: the first tick's backlog never waits for the old logs.
void ChatWindow::loadEarlierMessages()
{
    if (!appSettings().showEarlierMessages)
        return;
    const Result<QString> folder = logsFolder(m_chat.chatFile, true);
    if (!folder)
        return;
    auto *loader = new EarlierMessagesLoader(this);
    connect(loader, &EarlierMessagesLoader::loaded, this,
            [this, loader](const QList<EarlierMessage> &messages) {
                m_renderer->showEarlierMessages(messages, txtUserName->text());
                loader->deleteLater();
            });
    loader->start(folder.value(), Clock::nowLocal());
}

void ChatWindow::loadButtonPictures()
{
    ucbSettings->setPictureFromResource(u"IDP_SETTINGS"_s);
    ucbLogs->setPictureFromResource(u"IDP_SHOW_LOGS"_s);
    ucbMakeTransparent->setPictureFromResource(u"IDP_MAKE_TRANSPARENT"_s);
    ucbExit->setPictureFromResource(u"IDP_EXIT"_s);
}

QString ChatWindow::defaultUserName()
{
    return userName() + u" / "_s + computerName();
}

void ChatWindow::restoreState()
{
    restoreWindowPlacement(this, PlacementSection, m_chat.chatFile);
    SettingsStore store;
    txtUserName->setText(
        store.loadValue(u"Nicks"_s, m_chat.chatFile, ValueKind::Text, defaultUserName())
            .toString());
}

void ChatWindow::saveState(bool silent)
{
    const Status placed = saveWindowPlacement(this, PlacementSection, m_chat.chatFile);
    SettingsStore store;
    const Status saved =
        store.saveValue(u"Nicks"_s, m_chat.chatFile, ValueKind::Text, txtUserName->text());
    if (!silent)
        reportStoreFailure(saved ? placed : saved);
}

// The window hooks: the window's own activation, and wheel turns and keys of
// the two text boxes, seen before the boxes see them.
void ChatWindow::installEventFilters()
{
    if (m_filtersInstalled)
        return;
    for (QObject *hooked :
         {static_cast<QObject *>(txtUserName), static_cast<QObject *>(txtMessage),
          static_cast<QObject *>(txtMessage->viewport()), static_cast<QObject *>(rtfLog)})
        hooked->installEventFilter(this);
    m_filtersInstalled = true;
}

void ChatWindow::removeEventFilters()
{
    if (!m_filtersInstalled)
        return;
    for (QObject *hooked :
         {static_cast<QObject *>(txtUserName), static_cast<QObject *>(txtMessage),
          static_cast<QObject *>(txtMessage->viewport()), static_cast<QObject *>(rtfLog)})
        hooked->removeEventFilter(this);
    m_filtersInstalled = false;
}

// Close decision: the user's own close (close box, window menu, Alt+F4) hides
// the window unless Shift is held or the tray menu asked for the exit; every
// other close exits after the log is saved.
void ChatWindow::closeEvent(QCloseEvent *event)
{
    if (!m_sessionRunning) {
        event->accept();
        return;
    }
    const bool userClose = event->spontaneous() && !m_endOfDesktopSession;
    const bool shiftHeld = QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
    if (userClose && !shiftHeld && !m_exitRequested) {
        event->ignore();
        hideWindow();
        return;
    }
    m_exitRequested = false;
    const bool silent = m_endOfDesktopSession;
    if (!m_renderer->saveLog(silent) && !silent) {
        event->ignore(); // Abort: the chat goes on
        return;
    }
    exitSession();
    event->accept();
}

void ChatWindow::exitSession()
{
    m_sessionRunning = false;
    m_session->stop(); // after the exit's save: what was shown gets its marks
    m_tray->stop();
    saveState(m_endOfDesktopSession);
    removeEventFilters();
    emit sessionEnded();
}

void ChatWindow::endDesktopSession()
{
    if (!m_sessionRunning)
        return;
    m_endOfDesktopSession = true;
    close();
}

void ChatWindow::saveCheckpoint()
{
    if (!m_sessionRunning)
        return;
    // Silent, as nobody may be there to answer; a log not saved now is saved
    // with the next message or at the exit.
    (void)m_renderer->saveLog(true);
    saveState(true);
}

bool ChatWindow::demandsAttention() const
{
    return m_tray->demandsAttention();
}

// ---------------------------------------------------------------- receiving

void ChatWindow::onUpdateTimer()
{
    if (m_sessionRunning && !m_testInputPath.isEmpty())
        pollTestInput();
}

// One slice of received messages goes into the view as one edit; the session
// saves the log afterwards, when it is due.
void ChatWindow::showReceived(qsizetype first, qsizetype count)
{
    const ReceivedMessage *last = nullptr;
    int messages = 0;
    m_renderer->beginBatch();
    for (qsizetype i = first; i < first + count; ++i) {
        const ConversationMessage &entry = m_conversation.at(i);
        m_renderer->renderMessage(entry);
        if (entry.message.kind != MessageKind::System) {
            last = &entry.message;
            ++messages;
        }
    }
    m_renderer->endBatch();
    if (last && QApplication::activeWindow() != this)
        m_tray->messagesArrived(*last, messages);
}

void ChatWindow::showDebugMessage(const QString &text)
{
    if (appSettings().showDebugMessages)
        showSystemMessage(text);
}

void ChatWindow::showSystemMessage(const QString &text)
{
    m_renderer->renderMessage(m_conversation.append(
        {{appTitle(), text, Clock::utcMessageTime(), MessageKind::System, {}}, {}}));
}

// ---------------------------------------------------------------- sending

void ChatWindow::sendMessage()
{
    const QString text = txtMessage->messageText();
    if (text.isEmpty())
        return;
    const Result<QString> written = writeMessageFile(
        m_chat.exchangeFolder, displayName(txtUserName->text()), text, m_chat.userId);
    if (!written) {
        showSystemMessage(errorLine(u"Ошибка отправки сообщения. Код "_s, written.error()));
        return;
    }
    txtMessage->setPlainText(QString());
}

// ---------------------------------------------------------------- keys and hooks

bool ChatWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        m_tray->windowActivated();
    return QWidget::event(event);
}

bool ChatWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress)
        return handleKey(static_cast<QKeyEvent *>(event), watched);
    if (event->type() == QEvent::Wheel &&
        (watched == txtUserName || watched == txtMessage || watched == txtMessage->viewport()))
        return forwardWheelToView(this, rtfLog, *static_cast<QWheelEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

void ChatWindow::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event, this))
        QWidget::keyPressEvent(event);
}

// Returns true when the key is consumed and must not reach the focused widget.
bool ChatWindow::handleKey(QKeyEvent *event, QObject *target)
{
    const ChatKeyTarget where = target == txtMessage    ? ChatKeyTarget::MessageBox
                                : target == txtUserName ? ChatKeyTarget::UserNameBox
                                                        : ChatKeyTarget::Other;
    switch (chatKeyAction(event->key(), event->modifiers(), where, appSettings().sendOnEnter)) {
    case ChatKeyAction::None:
        break;
    case ChatKeyAction::Hide:
        hideWindow();
        return true;
    case ChatKeyAction::Exit:
        close();
        return true;
    case ChatKeyAction::Settings:
        ucbSettings->click();
        return true;
    case ChatKeyAction::Logs:
        ucbLogs->click();
        return true;
    case ChatKeyAction::Transparency:
        ucbMakeTransparent->click();
        return true;
    case ChatKeyAction::SelectAll:
        if (where == ChatKeyTarget::MessageBox) {
            txtMessage->selectAll();
            m_suppressMessageKeyPress = true;
        } else {
            txtUserName->selectAll();
            m_suppressUserNameKeyPress = true;
        }
        break;
    case ChatKeyAction::Send:
        sendMessage();
        m_suppressMessageKeyPress = true;
        break;
    }
    // The character the key would type: swallowed once after a handled key.
    if (where == ChatKeyTarget::MessageBox && m_suppressMessageKeyPress) {
        m_suppressMessageKeyPress = false;
        return true;
    }
    if (where == ChatKeyTarget::UserNameBox && m_suppressUserNameKeyPress) {
        m_suppressUserNameKeyPress = false;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- tray and window

// Hidden only while the tray icon can bring the window back; minimised otherwise.
void ChatWindow::hideWindow()
{
    if (m_tray->iconShown())
        hide();
    else
        showMinimized();
}

void ChatWindow::showAndRestore()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void ChatWindow::exitFromTray()
{
    m_exitRequested = true;
    close();
}

// ---------------------------------------------------------------- buttons

void ChatWindow::resetUserName()
{
    txtUserName->setText(defaultUserName());
}

void ChatWindow::openSettings()
{
    txtMessage->setFocus();
    showSettingsDialog(this, m_chat);
    // One connection however often the dialog is asked for: Qt refuses a unique
    // connection to a lambda, so this takes a member function.
    connect(SettingsDialog::instance(), &SettingsDialog::applied, this, &ChatWindow::applySettings,
            Qt::UniqueConnection);
}

void ChatWindow::applySettings()
{
    m_spelling->setEnabled(appSettings().checkSpelling);
}

void ChatWindow::openLogs()
{
    txtMessage->setFocus();
    showLogsViewer(m_chat.chatFile);
}

void ChatWindow::toggleTransparency()
{
    m_opacityPercent = m_opacityPercent == 75 ? 100 : 75;
    setWindowTransparency(this, m_opacityPercent, true);
}

void ChatWindow::exitChat()
{
    close();
}

// ---------------------------------------------------------------- headless runs

// In test builds, with QUILLET_TEST_INPUT naming a file, each line of it is sent
// as if typed and sent with the send key, then the file is removed; a line
// ":send <absolute path>[TAB<path>...]" sends those files as a drop does, the
// box's text their caption; ":dump <path>" writes the conversation as HTML there;
// a line ":exit" exits the chat as the tray menu's "Выход" does.
void ChatWindow::pollTestInput()
{
#ifdef QUILLET_TEST_HOOKS
    QFile input(m_testInputPath);
    if (!input.exists() || !input.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = QString::fromUtf8(input.readAll()).split('\n'_L1);
    input.close();
    input.remove();
    for (const QString &line : lines) {
        if (line == ":exit"_L1) {
            exitFromTray();
            return;
        }
        if (line.startsWith(":send "_L1)) {
            m_files->sendFiles(line.sliced(6).split('\t'_L1));
            continue;
        }
        if (line.startsWith(":dump "_L1)) {
            QSaveFile dump(line.sliced(6));
            if (dump.open(QIODevice::WriteOnly) && dump.write(rtfLog->toHtml().toUtf8()) >= 0)
                dump.commit();
            continue;
        }
        if (line.isEmpty())
            continue;
        txtMessage->setPlainText(line);
        sendMessage();
    }
#endif
}

} // namespace quillet
