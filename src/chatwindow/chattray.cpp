#include "chatwindow/chattray.h"

#include "chatwindow/desktopnotifier.h"
#include "chatwindow/messagerenderer.h"
#include "chatwindow/trayavailability.h"
#include "chatwindow/trayblinker.h"
#include "core/support.h"
#include "exchange/chatsession.h"
#include "gui/resources.h"
#include "settings/settings.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

constexpr int NotificationIconSize = 64;

} // namespace

ChatTray::ChatTray(QWidget *window) : QObject(window), m_window(window)
{
    stMain = new QSystemTrayIcon(this);
    stMain->setObjectName(u"stMain"_s);
    createMenu();
    connect(stMain, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                // The context menu is the tray's own; every other action shows the window.
                if (why != QSystemTrayIcon::Context)
                    emit showRequested();
            });

    icBlinker = new TrayBlinker(this);
    icBlinker->setObjectName(u"icBlinker"_s);
    connect(icBlinker, &TrayBlinker::iconChanged, stMain, &QSystemTrayIcon::setIcon);

    m_notifier = new DesktopNotifier(this);
    connect(m_notifier, &DesktopNotifier::activated, this, &ChatTray::showRequested);

    m_trayCheck.setInterval(TrayCheckIntervalMs);
    connect(&m_trayCheck, &QTimer::timeout, this, [this] {
        if (!iconShown())
            emit iconLost();
    });
}

void ChatTray::createMenu()
{
    mnuMain = new QMenu(u"Context"_s, m_window);
    mnuMain->setObjectName(u"mnuMain"_s);
    QAction *show = mnuMain->addAction(u"Показать окно сообщений"_s);
    show->setObjectName(u"mnuContext0"_s);
    QAction *send = mnuMain->addAction(u"Отправить файл…"_s);
    send->setObjectName(u"mnuSendFile"_s);
    mnuMain->addSeparator();
    QAction *exit = mnuMain->addAction(u"Выход"_s);
    exit->setObjectName(u"mnuContext2"_s);
    connect(show, &QAction::triggered, this, &ChatTray::showRequested);
    connect(send, &QAction::triggered, this, &ChatTray::sendFileRequested);
    connect(exit, &QAction::triggered, this, &ChatTray::exitRequested);
    stMain->setContextMenu(mnuMain);
}

void ChatTray::start(const QString &toolTip)
{
    m_toolTip = toolTip;
    setUnreadCount(0);
    stMain->setIcon(resourceIcon(u"A_MAIN"_s));
    stMain->setVisible(true);
    m_trayCheck.start();

    icBlinker->setBlinking(false);
    icBlinker->setMessageIcon(resourceIcon(u"IDI_MESSAGE"_s));
    icBlinker->setEmptyIcon(resourceIcon(u"IDI_EMPTY"_s));
    icBlinker->setRestIcon(stMain->icon());
    m_notifier->setIconImage(stMain->icon().pixmap(NotificationIconSize).toImage());
}

void ChatTray::stop()
{
    m_trayCheck.stop();
    icBlinker->setBlinking(false);
    clearAttention();
    stMain->setVisible(false);
}

bool ChatTray::iconShown() const
{
    return stMain->isVisible() && trayAvailable();
}

bool ChatTray::isBlinking() const
{
    return icBlinker->isBlinking();
}

// Without a tray nobody sees the blinking: the taskbar highlights the window
// and the desktop shows who wrote, one notification standing for all the
// messages until the window is activated.
void ChatTray::messagesArrived(const ReceivedMessage &last, int count)
{
    icBlinker->setBlinking(true);
    setUnreadCount(m_unread + count);
    if (appSettings().newMessageSound && !m_soundedThisBatch) {
        m_soundedThisBatch = true;
        m_sound.play("message-new-instant", u"Новое сообщение"_s);
    }
    if (iconShown())
        return;
    m_demandsAttention = true;
    QApplication::alert(m_window);
    m_notifier->post(displayName(last.senderName), notificationExcerpt(last.text));
}

void ChatTray::windowActivated()
{
    if (icBlinker->isBlinking())
        icBlinker->setBlinking(false);
    clearAttention();
    setUnreadCount(0);
}

void ChatTray::setUnreadCount(int count)
{
    const bool changed = count != m_unread;
    m_unread = count;
    stMain->setToolTip(count ? m_toolTip + '\n'_L1 + newMessagesText(count) : m_toolTip);
    if (changed)
        emit unreadCountChanged(count);
}

// The taskbar's highlight goes by itself when the window is activated (Qt
// and the window manager take it back); the notification is ours to close.
void ChatTray::clearAttention()
{
    if (!m_demandsAttention)
        return;
    m_demandsAttention = false;
    m_notifier->withdraw();
}

} // namespace quillet
