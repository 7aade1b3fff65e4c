#include "app/windows.h"
#include "app/guard.h"
#include "chatwindow/chatwindow.h"
#include "core/chatcontext.h"
#include "core/support.h"
#include "login/chatselectionwindow.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>

namespace quillet {

namespace {

QPointer<ChatWindow> g_chatWindow;

// The session manager ends the desktop session by telling the application
// to quit once it has saved.
class QuitRequestWatch final : public QObject
{
public:
    explicit QuitRequestWatch(QObject *parent) : QObject(parent) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == qApp && event->type() == QEvent::Quit)
            endRunningChat();
        return false;
    }
};

// The three ways a chat ends meet here: its own exit ends the program; the
// end of the desktop session, by the session manager or by a signal
// (endRunningChat), ends the chat first; the session manager's checkpoints
// save it silently.
void watchChatEnds(ChatWindow *window)
{
    QObject::connect(
        window, &ChatWindow::sessionEnded, qApp,
        [] {
            QApplication::closeAllWindows();
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    // The session manager sends both requests on a mere checkpoint as well as
    // before the end of the session; the end itself comes as a request to quit.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager &) { window->saveCheckpoint(); });
    QObject::connect(qApp, &QGuiApplication::saveStateRequest, window,
                     [window](QSessionManager &) { window->saveCheckpoint(); });
    new QuitRequestWatch(window);
}

} // namespace

// The one chat window of the process. It lives while the chat runs, hidden in
// the tray included, and the program ends when the chat really exits.
void openChatWindow(const ChatContext &chat)
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    auto *window = new ChatWindow(chat);
    g_chatWindow = window;
    window->setAttribute(Qt::WA_DeleteOnClose);
    watchChatEnds(window);
    window->startSession();
    if (!chat.startHidden)
        window->show();
}

bool endRunningChat()
{
    if (!g_chatWindow || !g_chatWindow->sessionRunning())
        return false;
    g_chatWindow->endDesktopSession();
    return true;
}

// The chat selection window; a chosen chat whose folder this copy can claim
// replaces it by the chat window.
void showChatSelection(const QString &userId)
{
    auto *window = new ChatSelectionWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &ChatSelectionWindow::chatChosen, window,
                     [window, userId](const QString &path) {
                         const ChatContext chat{path, parentFolder(path), userId};
                         if (!claimExchangeFolder(chat.exchangeFolder, window))
                             return;
                         window->close();
                         openChatWindow(chat);
                     });
    window->show();
}

} // namespace quillet
