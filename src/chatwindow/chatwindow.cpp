#include "frmmain.h"
#include "windows.h"

#include <QApplication>
#include <QPointer>

namespace {
QPointer<frmMain> g_chatWindow;
}

// The one chat window of the process. It lives while the chat runs, hidden in
// the tray included, and the program ends when the chat really exits.
void OpenChatWindow(bool hidden)
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
    auto *window = new frmMain;
    g_chatWindow = window;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(
        window, &frmMain::sessionEnded, qApp,
        [] {
            QApplication::closeAllWindows();
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
    window->Form_Load(hidden);
    if (!hidden)
        window->show();
}

bool EndRunningChat()
{
    if (!g_chatWindow || !g_chatWindow->sessionRunning())
        return false;
    g_chatWindow->EndOfDesktopSession();
    return true;
}
