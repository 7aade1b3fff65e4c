#pragma once

#include <QObject>
#include <QTimer>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace quillet {

class DesktopNotifier;
class TrayBlinker;
struct ReceivedMessage;

// The chat's place in the desktop's tray: the icon with its menu, the
// blinking while a message waits unseen and, while no tray shows the icon,
// the taskbar's highlight and a desktop notification in its place. The
// window connects to its requests and tells it what happens.
class ChatTray final : public QObject
{
    Q_OBJECT

public:
    // How often the desktop is asked again whether it shows tray icons.
    static constexpr int TrayCheckIntervalMs = 2000;

    explicit ChatTray(QWidget *window);
    Q_DISABLE_COPY_MOVE(ChatTray)

    // Asks for the icon for the whole session, so that a tray that comes up
    // later gets it.
    void start(const QString &toolTip);
    void stop();
    bool iconShown() const;
    bool isBlinking() const;
    // Set while the window asks the desktop for attention in place of a tray
    // icon that could blink, until the window is activated.
    bool demandsAttention() const { return m_demandsAttention; }

    // Messages came while the window was not active; `last` is the newest.
    void messagesArrived(const ReceivedMessage &last);
    // The window was activated: the user has seen what came.
    void windowActivated();

signals:
    // A click on the icon, its menu's "Показать окно сообщений" or the notification.
    void showRequested();
    // The menu's "Выход".
    void exitRequested();
    // The icon is no longer shown (the tray went away).
    void iconLost();

private:
    void createMenu();
    void clearAttention();

    QWidget *m_window;
    QSystemTrayIcon *stMain = nullptr;
    QMenu *mnuMain = nullptr;
    TrayBlinker *icBlinker = nullptr;
    DesktopNotifier *m_notifier = nullptr;
    QTimer m_trayCheck;
    bool m_demandsAttention = false;
};

} // namespace quillet
