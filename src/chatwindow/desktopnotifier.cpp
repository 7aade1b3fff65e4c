#include "chatwindow/desktopnotifier.h"

#include "core/support.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

using namespace Qt::StringLiterals;

namespace quillet {

namespace {

const QString Service = u"org.freedesktop.Notifications"_s;
const QString Path = u"/org/freedesktop/Notifications"_s;
const QString Interface = u"org.freedesktop.Notifications"_s;
const QString DefaultAction = u"default"_s;
// The names the desktop knows the program by (its desktop entry and icon).
const QString ApplicationName = u"Quillet IM"_s;
const QString DesktopEntry = u"quillet-im"_s;
constexpr int ServerChoosesTimeout = -1;

QDBusMessage notificationCall(const QString &method)
{
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}

// The icon itself, for runs where the icon theme does not have it (an
// uninstalled build): (iiibiiay) width, height, row stride, alpha, bits per
// sample, channels, RGBA bytes.
QDBusArgument imageData(const QImage &icon)
{
    const QImage image = icon.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument argument;
    argument.beginStructure();
    argument << image.width() << image.height() << int(image.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
    argument.endStructure();
    return argument;
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent)
{}

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    // From any sender: naming the service would make Qt ask the bus for its
    // owner and wait for the answer. Only our own ids count anyway.
    m_bus.connect(QString(), Path, Interface, u"ActionInvoked"_s, this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(QString(), Path, Interface, u"NotificationClosed"_s, this,
                  SLOT(onNotificationClosed(uint, uint)));
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::post(const QString &title, const QString &body)
{
    m_next = Note{title, body};
    sendNext();
}

void DesktopNotifier::withdraw()
{
    m_next.reset();
    m_closeWhenPosted = m_busy;
    if (m_id != 0)
        closeNotification(std::exchange(m_id, 0));
}

// One call at a time, so that a post replaces the notification of the one
// before it; posts meanwhile collapse into the latest.
void DesktopNotifier::sendNext()
{
    if (m_busy || !m_next)
        return;
    if (!m_bus.isConnected()) {
        m_next.reset();
        return;
    }
    if (!m_bodyMarkup) {
        askCapabilities();
        return;
    }
    const Note note = *std::exchange(m_next, std::nullopt);
    QDBusMessage call = notificationCall(u"Notify"_s);
    QVariantMap hints{{u"desktop-entry"_s, DesktopEntry}, {u"category"_s, u"im.received"_s}};
    if (!m_iconImage.isNull())
        hints.insert(u"image-data"_s, QVariant::fromValue(imageData(m_iconImage)));
    // A server that reads markup in the body would take "<" and "&" of a
    // message for markup.
    const QString body = *m_bodyMarkup ? note.body.toHtmlEscaped() : note.body;
    call << ApplicationName << m_id << DesktopEntry << note.title << body
         << QStringList{DefaultAction, u"Показать окно сообщений"_s} << hints
         << ServerChoosesTimeout;
    m_busy = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::onPosted);
}

void DesktopNotifier::askCapabilities()
{
    m_busy = true;
    auto *watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(notificationCall(u"GetCapabilities"_s)), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::onCapabilities);
}

void DesktopNotifier::onCapabilities(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    m_busy = false;
    m_closeWhenPosted = false;
    const QDBusPendingReply<QStringList> reply = *call;
    if (reply.isError()) {
        // No service: the notification is dropped, and asked for afresh next time.
        m_next.reset();
        return;
    }
    m_bodyMarkup = reply.value().contains(u"body-markup"_s);
    sendNext();
}

void DesktopNotifier::onPosted(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    m_busy = false;
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError())
        m_id = 0;
    else if (m_closeWhenPosted)
        closeNotification(reply.value());
    else
        m_id = reply.value();
    m_closeWhenPosted = false;
    sendNext();
}

void DesktopNotifier::closeNotification(uint id)
{
    QDBusMessage call = notificationCall(u"CloseNotification"_s);
    call << id;
    call.setAutoStartService(false);
    // No answer awaited: a notification already gone is no matter.
    m_bus.send(call);
}

void DesktopNotifier::onActionInvoked(uint id, const QString &action)
{
    if (id != 0 && id == m_id && action == DefaultAction)
        emit activated();
}

void DesktopNotifier::onNotificationClosed(uint id, uint /*reason*/)
{
    if (id != 0 && id == m_id)
        m_id = 0;
}

QString notificationExcerpt(const QString &text)
{
    const QString trimmed = trimText(text, TrimBlanksAndBreaks);
    qsizetype end = 0;
    while (end < trimmed.size() && trimmed.at(end) != u'\n' && trimmed.at(end) != u'\r')
        ++end;
    bool cut = end < trimmed.size();
    if (end > DesktopNotifier::ExcerptLength) {
        end = DesktopNotifier::ExcerptLength;
        if (trimmed.at(end - 1).isHighSurrogate())
            --end;
        cut = true;
    }
    const QString line = trimText(trimmed.left(end), TrimBlanks);
    return cut ? line + u'…' : line;
}

} // namespace quillet
