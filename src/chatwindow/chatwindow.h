#pragma once

#include "core/chatcontext.h"
#include "exchange/chatsession.h"
#include "exchange/conversation.h"
#include "exchange/messagekind.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QTextEdit;

namespace quillet {

class ChatTray;
class FileSending;
class MessageEdit;
class MessageSpelling;
class MessageRenderer;
class PictureButton;
struct MessageTime;

// The window of the one running chat: the user name and tool buttons on top,
// the conversation in the middle, the message box at the bottom. It shows
// what the session of its chat receives, sends on Enter or Ctrl+Enter, hides to the tray on its
// close box and ends the session only on an explicit exit.
class ChatWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit ChatWindow(const ChatContext &chat, QWidget *parent = nullptr);
    ~ChatWindow() override;
    Q_DISABLE_COPY_MOVE(ChatWindow)

    // The start sequence; for a hidden start the window is hidden at its end.
    void startSession();

    static QString defaultUserName();
    int opacityPercent() const { return m_opacityPercent; }
    bool sessionRunning() const { return m_sessionRunning; }
    QString logFilePath() const;
    // The receive side of the chat; null until load.
    ChatSession *session() const { return m_session.get(); }
    // The desktop session ends: the chat exits, saving its log, without hiding
    // first and without asking anything (nobody is there to answer).
    void endDesktopSession();
    // The session manager asks to save without ending the chat: the log, the
    // user name and the placement are saved silently.
    void saveCheckpoint();
    bool demandsAttention() const;

signals:
    // The chat really exited: the log is saved, the window state stored.
    void sessionEnded();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createWidgets();
    void layOut();
    void connectHandlers();

    // Start and end
    void loadButtonPictures();
    void restoreState();
    void loadEarlierMessages();
    void saveState(bool silent);
    void installEventFilters();
    void removeEventFilters();
    void exitSession();

    // Receiving: the session reads the folder, the window shows what it got.
    void onUpdateTimer();
    void showReceived(qsizetype first, qsizetype count);
    void showDebugMessage(const QString &text);
    void showSystemMessage(const QString &text);

    // Sending
    void sendMessage();

    // Keys, window hooks, tray
    bool handleKey(QKeyEvent *event, QObject *target);
    void hideWindow();
    void showAndRestore();
    void exitFromTray();

    // Buttons
    void resetUserName();
    void openSettings();
    void applySettings();
    void openLogs();
    void toggleTransparency();
    void exitChat();

    // Headless runs: messages and files to send and an exit request from a control file.
    void pollTestInput();

    QLabel *lblTag[2] = {};
    QLineEdit *txtUserName = nullptr;
    PictureButton *ucbSetDefaultUserName = nullptr;
    PictureButton *ucbSettings = nullptr;
    PictureButton *ucbLogs = nullptr;
    PictureButton *ucbMakeTransparent = nullptr;
    PictureButton *ucbExit = nullptr;
    QTextEdit *rtfLog = nullptr;
    MessageEdit *txtMessage = nullptr;
    FileSending *m_files = nullptr;
    ChatTray *m_tray = nullptr;
    MessageSpelling *m_spelling = nullptr;

    const ChatContext m_chat;
    Conversation m_conversation;
    std::unique_ptr<MessageRenderer> m_renderer;
    std::unique_ptr<ChatSession> m_session;
    bool m_exitRequested = false;
    bool m_endOfDesktopSession = false;
    bool m_sessionRunning = false;
    bool m_filtersInstalled = false;
    bool m_suppressMessageKeyPress = false;
    bool m_suppressUserNameKeyPress = false;
    int m_opacityPercent = 0;
    QString m_testInputPath;
    QString m_title;
};

} // namespace quillet
