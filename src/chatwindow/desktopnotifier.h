#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>

#include <optional>

class QDBusPendingCallWatcher;

namespace quillet {

// The chat's one desktop notification, posted through the freedesktop
// notification service (org.freedesktop.Notifications) on the session bus.
// A new post replaces the notification still shown instead of adding
// another. Every call is asynchronous: a desktop without the service just
// gets no notification, and nothing waits or complains.
class DesktopNotifier final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype ExcerptLength = 100;

    // On the session bus.
    explicit DesktopNotifier(QObject *parent = nullptr);
    DesktopNotifier(const QDBusConnection &bus, QObject *parent = nullptr);
    ~DesktopNotifier() override;
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

    void setIconImage(const QImage &image) { m_iconImage = image; }
    // Shows the notification, or replaces the one still shown.
    void post(const QString &title, const QString &body);
    // Closes the notification shown; the next post makes a new one.
    void withdraw();
    // The service's id of the notification shown, 0 while there is none.
    uint currentId() const { return m_id; }

signals:
    // The user clicked the notification.
    void activated();

private slots:
    // Connected by name through the bus, hence slots.
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Note
    {
        QString title;
        QString body;
    };

    void sendNext();
    void askCapabilities();
    void onCapabilities(QDBusPendingCallWatcher *call);
    void onPosted(QDBusPendingCallWatcher *call);
    void closeNotification(uint id);

    QDBusConnection m_bus;
    QImage m_iconImage;
    std::optional<Note> m_next; // waits while a call is on its way
    std::optional<bool> m_bodyMarkup;
    bool m_busy = false;
    bool m_closeWhenPosted = false; // withdrawn while its post was on its way
    uint m_id = 0;
};

// What a notification shows of a message: its first line, cut to
// DesktopNotifier::ExcerptLength characters, "…" where something was left out.
QString notificationExcerpt(const QString &text);

} // namespace quillet
