#include "app/windows.h"
#include "app/guard.h"
#include "chatwindow/chatwindow.h"
#include "core/chatcontext.h"
#include "core/support.h"
#include "login/chatselectionwindow.h"

#include <QApplication>
#include <QPointer>

namespace quillet {

namespace {
QPointer<ChatWindow> g_chatWindow;
}

// The one chat window of the process. It lives while the chat runs, hidden in
// the tray included, and the program ends when the chat really exits.
void openChatWindow(const ChatContext &chat)
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    auto *window = new ChatWindow(chat);
    g_chatWindow = window;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(
        window, &ChatWindow::sessionEnded, qApp,
        [] {
            QApplication::closeAllWindows();
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
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
