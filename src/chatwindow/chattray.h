#pragma once

#include "chatwindow/eventsound.h"

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
// blinking and the count of the messages that wait unseen, the sound of their
// arrival and, while no tray shows the icon, the taskbar's highlight and a
// desktop notification in its place. The window connects to its requests and
// tells it what happens.
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

    // `count` messages came while the window was not active; `last` is the
    // newest. One sound stands for all the messages of a batch.
    void messagesArrived(const ReceivedMessage &last, int count);
    // The session has dispatched all it found: the next message sounds again.
    void batchFinished() { m_soundedThisBatch = false; }
    // The window was activated: the user has seen what came.
    void windowActivated();
    int unreadCount() const { return m_unread; }
    const EventSound &sound() const { return m_sound; }

signals:
    // A click on the icon, its menu's "Показать окно сообщений" or the notification.
    void showRequested();
    // The menu's "Отправить файл…".
    void sendFileRequested();
    // The menu's "Выход".
    void exitRequested();
    // The icon is no longer shown (the tray went away).
    void iconLost();
    void unreadCountChanged(int count);

private:
    void createMenu();
    void clearAttention();
    void setUnreadCount(int count);

    QWidget *m_window;
    QSystemTrayIcon *stMain = nullptr;
    QMenu *mnuMain = nullptr;
    TrayBlinker *icBlinker = nullptr;
    DesktopNotifier *m_notifier = nullptr;
    QTimer m_trayCheck;
    EventSound m_sound;
    QString m_toolTip;
    int m_unread = 0;
    bool m_demandsAttention = false;
    bool m_soundedThisBatch = false;
};

} // namespace quillet
