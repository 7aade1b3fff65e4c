#pragma once

#include "chatsession.h"
#include "messagekind.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class MessageRenderer;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSystemTrayIcon;
class QTextEdit;
class brfGlimmer;
class ucButton;
struct SystemTime;

// The window of the one running chat: the user name and tool buttons on top,
// the conversation in the middle, the message box at the bottom. It takes
// its chat from ChatFilePath and ExchangeFolderPath, shows what its chat
// session receives, sends on Enter or Ctrl+Enter, hides to the tray on its
// close box and ends the session only on an explicit exit.
class frmMain final : public QWidget
{
    Q_OBJECT

public:
    // How often the desktop is asked again whether it shows tray icons.
    static constexpr int TrayCheckIntervalMs = 2000;

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;
    Q_DISABLE_COPY_MOVE(frmMain)

    // The start sequence; with startHidden the window is hidden at its end.
    void Form_Load(bool startHidden);

    static QString GetDefaultUserName();
    int opacityPercent() const { return m_opacityPercent; }
    bool sessionRunning() const { return m_sessionRunning; }
    QString logFilePath() const;
    // The receive side of the chat; null until Form_Load.
    ChatSession *session() const { return m_session.get(); }
    // The desktop session ends: the chat exits, saving its log, without hiding
    // first and without asking anything (nobody is there to answer).
    void EndOfDesktopSession();
    // The session manager asks to save without ending the chat: the log, the
    // user name and the placement are saved silently.
    void SaveSessionCheckpoint();

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
    void createTray();
    void connectHandlers();

    // Start and end
    void LoadButtonPictures();
    void LoadChatWindowState();
    void SaveChatWindowState(bool silent);
    void StartSubclassing();
    void StopSubclassing();
    void ExitSession();

    // Receiving: the session reads the folder, the window shows what it got.
    void tmrUpdate_Timer();
    void showReceived(const QList<IncomingEntry> &entries);
    void ShowDebugMessage(const QString &text);
    void ShowSystemMessage(const QString &text);

    // Sending
    void SendChatMessage();

    // Keys, window hooks, tray
    bool Form_KeyDown(QKeyEvent *event, QObject *target);
    bool forwardWheelToLog(QWheelEvent *event);
    void HideWindow();
    bool trayIconShown() const;
    void checkTray();
    void ShowAndRestore();
    void stMain_Activated(int reason);
    void mnuExit_Click();

    // Buttons
    void ucbSetDefaultUserName_Click();
    void ucbSettings_Click();
    void ucbLogs_Click();
    void ucbMakeTransparent_Click();
    void ucbExit_Click();

    // Headless runs: messages to send and an exit request from a control file.
    void pollTestInput();

    QLabel *lblTag[2] = {};
    QLineEdit *txtUserName = nullptr;
    ucButton *ucbSetDefaultUserName = nullptr;
    ucButton *ucbSettings = nullptr;
    ucButton *ucbLogs = nullptr;
    ucButton *ucbMakeTransparent = nullptr;
    ucButton *ucbExit = nullptr;
    QTextEdit *rtfLog = nullptr;
    QPlainTextEdit *txtMessage = nullptr;
    QSystemTrayIcon *stMain = nullptr;
    brfGlimmer *icBlinker = nullptr;
    QMenu *mnuMain = nullptr;
    QTimer m_trayCheck;

    std::unique_ptr<MessageRenderer> m_renderer;
    std::unique_ptr<ChatSession> m_session;
    bool m_exitRequested = false;
    bool m_endOfDesktopSession = false;
    bool m_sessionRunning = false;
    bool m_subclassed = false;
    bool suppressMessageKeyPress = false;
    bool suppressUserNameKeyPress = false;
    int m_opacityPercent = 0;
    QString m_testInputPath;
};
