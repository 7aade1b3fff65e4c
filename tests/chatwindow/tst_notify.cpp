#include "chattestsupport.h"
#include "chatwindow/chatwindow.h"
#include "chatwindow/desktopnotifier.h"
#include "chatwindow/messagerenderer.h"
#include "chatwindow/trayavailability.h"
#include "chatwindow/trayblinker.h"
#include "core/appstate.h"
#include "gui/boxes.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString NotificationsService = u"org.freedesktop.Notifications"_s;
const QString NotificationsPath = u"/org/freedesktop/Notifications"_s;

// A bus of our own: dbus-run-session with a configuration that activates no
// service, kept alive by a shell that waits on its input.
class PrivateBus
{
public:
    bool start(QString *failure)
    {
        const QString runner = QStandardPaths::findExecutable(u"dbus-run-session"_s);
        if (runner.isEmpty()) {
            *failure = u"dbus-run-session is not installed (Debian package dbus-daemon)"_s;
            return false;
        }
        QFile config(m_dir.filePath(u"session.conf"_s));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                         .arg(m_dir.path())
                         .toUtf8());
        config.close();
        m_process.start(runner, {u"--config-file="_s + config.fileName(), u"--"_s, u"sh"_s, u"-c"_s,
                                 u"echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat"_s});
        while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
        }
        m_address = QString::fromUtf8(m_process.readLine()).trimmed();
        *failure = u"the private bus did not start"_s;
        return !m_address.isEmpty();
    }

    ~PrivateBus()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }

    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_address;
};

// A notification service as the desktop runs one: it keeps the notifications
// open until they are replaced or closed, and records every call.
class NotificationServer final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Note
    {
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QSize imageSize;
        int opaquePixels = 0;
        uint id = 0;
    };

    QList<Note> notes;
    QSet<uint> open;
    QStringList capabilities;

    void reset()
    {
        notes.clear();
        open.clear();
        capabilities = {u"body"_s, u"actions"_s};
    }

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int /*timeout*/)
    {
        Note note{appName, replacesId, appIcon, summary, body, actions, {}, 0, 0};
        if (hints.contains(u"image-data"_s)) {
            const auto image = hints.value(u"image-data"_s).value<QDBusArgument>();
            int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
            bool alpha = false;
            QByteArray data;
            image.beginStructure();
            image >> width >> height >> stride >> alpha >> bits >> channels >> data;
            image.endStructure();
            if (alpha && bits == 8 && channels == 4 && data.size() == qsizetype(stride) * height &&
                stride >= width * 4) {
                note.imageSize = QSize(width, height);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        note.opaquePixels += data.at(y * stride + x * 4 + 3) != 0;
            }
        }
        // As the protocol has it: a replacement keeps the id it replaces.
        note.id = replacesId != 0 ? replacesId : ++m_lastId;
        open.insert(note.id);
        notes.append(note);
        return note.id;
    }

    void CloseNotification(uint id)
    {
        if (open.remove(id))
            emit NotificationClosed(id, 3);
    }

    QStringList GetCapabilities() { return capabilities; }

    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        vendor = u"tests"_s;
        version = u"1"_s;
        specVersion = u"1.2"_s;
        return u"test notification server"_s;
    }

signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString &actionKey);

private:
    uint m_lastId = 0;
};

} // namespace

class tst_Notify final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void excerpt_data();
    void excerpt();
    void bodyMarkup_data();
    void bodyMarkup();
    void notifierFollowsTheServer();
    void messagesWhileInactiveWithoutTray();
    void activatingTheNotificationShowsTheWindow();
    void ownTextsNotifyNothing();
    void withTrayOnlyBlinking();
    void withoutServiceNothingIsLost();
    void programNotifiesOnTheSessionBus();

private:
    ChatWindow *openWindow();
    void activateOther();
    QString viewText() const;
    // The last notification once it is the one from this sender.
    bool notifiedBy(const QString &sender) const
    {
        return !m_server.notes.isEmpty() && m_server.notes.last().summary == sender;
    }

    std::unique_ptr<PrivateBus> m_bus;
    QDBusConnection m_serviceBus{QString()};
    NotificationServer m_server;
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<ChatWindow> m_window;
    std::unique_ptr<QWidget> m_other;
    QList<BoxRequest> m_boxes;
};

void tst_Notify::initTestCase()
{
    m_bus = std::make_unique<PrivateBus>();
    QString failure;
    if (!m_bus->start(&failure))
        QSKIP(qPrintable(failure));
    // Before anything asks for the session bus: every notifier talks to ours.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
    m_serviceBus = QDBusConnection::connectToBus(m_bus->address(), u"notification-service"_s);
    QVERIFY(m_serviceBus.isConnected());
    QVERIFY(m_serviceBus.registerObject(NotificationsPath, &m_server,
                                        QDBusConnection::ExportAllSlots |
                                            QDBusConnection::ExportAllSignals));
    QVERIFY(m_serviceBus.registerService(NotificationsService));
    QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(NotificationsService),
             "the session bus is not the private one");
}

void tst_Notify::init()
{
    m_server.reset();
    m_env = std::make_unique<TestEnvironment>();
    ChatFilePath = m_env->touch(u"chats/team.QLIMChat"_s);
    ExchangeFolderPath = m_env->chats();
    MyGUID = u"{11111111-2222-3333-4444-555555555555}"_s;
    appSettings() = SettingsRecord{};
    overrideTrayAvailable(false);
    m_boxes.clear();
    Boxes::setHandler([this](const BoxRequest &request) {
        m_boxes.append(request);
        return BoxReply{BoxAnswer::Ok, {}};
    });
}

void tst_Notify::cleanup()
{
    m_window.reset();
    m_other.reset();
    overrideTrayAvailable(std::nullopt);
    Boxes::resetHandler();
    m_env.reset();
}

void tst_Notify::cleanupTestCase()
{
    if (m_serviceBus.isConnected())
        QDBusConnection::disconnectFromBus(m_serviceBus.name());
    m_bus.reset();
}

ChatWindow *tst_Notify::openWindow()
{
    m_window = std::make_unique<ChatWindow>();
    m_window->startSession(false);
    m_window->show();
    m_window->activateWindow();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qWarning("chat window not active");
    return m_window.get();
}

// Another program's window in front of the chat.
void tst_Notify::activateOther()
{
    if (!m_other)
        m_other = std::make_unique<QWidget>();
    m_other->show();
    m_other->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_other.get()));
}

QString tst_Notify::viewText() const
{
    return m_window->findChild<QTextEdit *>(u"rtfLog"_s)->toPlainText();
}

void tst_Notify::excerpt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QString longLine = QString(DesktopNotifier::ExcerptLength + 20, u'x');
    const QString cutLine = QString(DesktopNotifier::ExcerptLength, u'x') + u'…';
    QTest::newRow("one line") << u"hello there"_s << u"hello there"_s;
    QTest::newRow("first of several") << u"first\r\nsecond\nthird"_s << u"first…"_s;
    QTest::newRow("leading breaks and blanks") << u"\r\n \t\nfirst\nsecond"_s << u"first…"_s;
    QTest::newRow("long line is cut") << longLine << cutLine;
    // A character outside the basic plane across the cut goes whole.
    QString straddling = QString(DesktopNotifier::ExcerptLength - 1, u'x') + u"😀 tail"_s;
    QTest::newRow("no half character")
        << straddling << QString(DesktopNotifier::ExcerptLength - 1, u'x') + u'…';
    QTest::newRow("blank text") << u" \r\n "_s << QString();
}

void tst_Notify::excerpt()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(notificationExcerpt(text), expected);
}

// Only a server that reads markup in the body gets "<" and "&" escaped.
void tst_Notify::bodyMarkup_data()
{
    QTest::addColumn<bool>("markup");
    QTest::addColumn<QString>("body");
    QTest::newRow("plain server") << false << u"<b>x</b> & y"_s;
    QTest::newRow("markup server") << true << u"&lt;b&gt;x&lt;/b&gt; &amp; y"_s;
}

void tst_Notify::bodyMarkup()
{
    QFETCH(bool, markup);
    QFETCH(QString, body);
    if (markup)
        m_server.capabilities << u"body-markup"_s;
    DesktopNotifier notifier;
    notifier.post(u"anna"_s, u"<b>x</b> & y"_s);
    QTRY_COMPARE(m_server.notes.size(), 1);
    QCOMPARE(m_server.notes.at(0).body, body);
}

// Clicks count only on our own notification; one the user closed is not
// replaced; a withdrawn one goes, even while its post is on its way.
void tst_Notify::notifierFollowsTheServer()
{
    DesktopNotifier notifier;
    QSignalSpy clicked(&notifier, &DesktopNotifier::activated);
    notifier.post(u"anna"_s, u"one"_s);
    QTRY_COMPARE(m_server.notes.size(), 1);
    QTRY_COMPARE(notifier.currentId(), m_server.notes.at(0).id);
    const uint first = notifier.currentId();
    QVERIFY(first != 0);

    emit m_server.ActionInvoked(first + 1, u"default"_s); // another program's
    emit m_server.ActionInvoked(first, u"reply"_s);       // not the click
    emit m_server.NotificationClosed(first, 2);           // the user closed it
    m_server.open.remove(first);
    QTRY_COMPARE(notifier.currentId(), 0u);
    QCOMPARE(clicked.count(), 0);

    notifier.post(u"anna"_s, u"two"_s);
    QTRY_COMPARE(m_server.notes.size(), 2);
    QCOMPARE(m_server.notes.at(1).replacesId, 0u);
    QTRY_VERIFY(notifier.currentId() != 0);
    emit m_server.ActionInvoked(notifier.currentId(), u"default"_s);
    QTRY_COMPARE(clicked.count(), 1);

    // Withdrawn while the replacing post is still on its way.
    notifier.post(u"anna"_s, u"three"_s);
    notifier.withdraw();
    notifier.post(u"boris"_s, u"four"_s);
    QTRY_VERIFY(notifiedBy(u"boris"_s));
    QCOMPARE(m_server.notes.last().replacesId, 0u);
    QTRY_COMPARE(m_server.open, QSet<uint>{m_server.notes.last().id});

    notifier.withdraw();
    QTRY_VERIFY(m_server.open.isEmpty());
}

void tst_Notify::messagesWhileInactiveWithoutTray()
{
    ChatWindow *window = openWindow();
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s,
                        u"\r\nhello <there> & all\r\nsecond line"_s);
    QTRY_COMPARE(m_server.notes.size(), 1);
    const NotificationServer::Note first = m_server.notes.at(0);
    QCOMPARE(first.appName, u"Quillet IM"_s);
    QCOMPARE(first.summary, u"anna"_s);
    QCOMPARE(first.body, u"hello <there> & all…"_s);
    QCOMPARE(first.replacesId, 0u);
    QCOMPARE(first.appIcon, u"quillet-im"_s);
    QVERIFY(first.imageSize.isValid());
    QVERIFY(first.opaquePixels > 0);
    QVERIFY(first.actions.contains(u"default"_s));
    QVERIFY(window->demandsAttention());

    // A second message replaces the notification.
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"boris"_s, u"again"_s);
    QTRY_COMPARE(m_server.notes.size(), 2);
    QCOMPARE(m_server.notes.at(1).summary, u"boris"_s);
    QCOMPARE(m_server.notes.at(1).replacesId, first.id);
    QCOMPARE(m_server.open.size(), 1);

    // Activating the window clears it all.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(!window->demandsAttention());
    QTRY_VERIFY(m_server.open.isEmpty());

    // While active: nothing.
    writeForeignMessage(ExchangeFolderPath, 10, 0, 2, u"anna"_s, u"seen at once"_s);
    QTRY_VERIFY(viewText().contains(u"seen at once"_s));
    QVERIFY(!window->demandsAttention());

    // Inactive again: a new notification, under the name the conversation shows.
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 3, u"  "_s, u"from nobody"_s);
    QTRY_VERIFY(notifiedBy(displayName(QString())));
    QCOMPARE(m_server.notes.size(), 3);
    QCOMPARE(m_server.notes.last().replacesId, 0u);
    QVERIFY(window->demandsAttention());
}

void tst_Notify::activatingTheNotificationShowsTheWindow()
{
    ChatWindow *window = openWindow();
    QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
    QTRY_VERIFY(window->isMinimized());
    activateOther(); // the desktop's doing; the offscreen platform leaves it to us
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"look"_s);
    QTRY_COMPARE(m_server.notes.size(), 1);
    QVERIFY(window->demandsAttention());

    emit m_server.ActionInvoked(m_server.notes.at(0).id, u"default"_s);
    QTRY_VERIFY(!window->isMinimized());
    QVERIFY(window->isVisible());
    QVERIFY(window->sessionRunning());
}

// Error lines and debug lines are the chat's own: they ask for nothing.
void tst_Notify::ownTextsNotifyNothing()
{
    appSettings().showDebugMessages = true;
    ChatWindow *window = openWindow();
    activateOther();
    // A broken file left long ago (a fresh one would wait for its writer).
    const QString broken = m_env->touch(u"broken.QLIM"_s, QByteArray("2026\0x", 6));
    QFile old(broken);
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                            QFileDevice::FileModificationTime));
    old.close();
    QVERIFY(QFile::rename(broken, ExchangeFolderPath + u"/2026-12-05 09-00-00-00-000 x.QLIM"_s));
    QTRY_VERIFY(viewText().contains(u"Ошибка получения сообщения. Код "_s));
    QTRY_VERIFY(viewText().contains(u"Ложное срабатывание"_s));
    QVERIFY(!window->demandsAttention());

    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"real"_s);
    QTRY_VERIFY(notifiedBy(u"anna"_s));
    QCOMPARE(m_server.notes.size(), 1);
    QCOMPARE(m_server.notes.at(0).body, u"real"_s);
}

// With a tray shown the icon blinks and the desktop is left alone; once the
// tray has gone, the next message notifies.
void tst_Notify::withTrayOnlyBlinking()
{
    overrideTrayAvailable(true);
    ChatWindow *window = openWindow();
    auto *blinker = window->findChild<TrayBlinker *>(u"icBlinker"_s);
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"blink"_s);
    QTRY_VERIFY(blinker->isBlinking());
    QVERIFY(!window->demandsAttention());

    overrideTrayAvailable(false);
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"boris"_s, u"notify"_s);
    QTRY_VERIFY(notifiedBy(u"boris"_s));
    QCOMPARE(m_server.notes.size(), 1);
    QVERIFY(window->demandsAttention());
    QVERIFY(blinker->isBlinking());
}

void tst_Notify::withoutServiceNothingIsLost()
{
    QVERIFY(m_serviceBus.unregisterService(NotificationsService));
    ChatWindow *window = openWindow();
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"nobody listens"_s);
    QTRY_VERIFY(viewText().contains(u"nobody listens"_s));
    QVERIFY(window->demandsAttention());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(!window->demandsAttention());

    // The service comes (back): the next message notifies, as a new one.
    QVERIFY(m_serviceBus.registerService(NotificationsService));
    activateOther();
    writeForeignMessage(ExchangeFolderPath, 10, 0, 1, u"boris"_s, u"now heard"_s);
    QTRY_VERIFY(notifiedBy(u"boris"_s));
    QCOMPARE(m_server.notes.size(), 1);
    QCOMPARE(m_server.notes.at(0).replacesId, 0u);
    QVERIFY(m_boxes.isEmpty());

    // No bus at all.
    const QDBusConnection none =
        QDBusConnection::connectToBus(u"unix:path="_s + m_env->path(u"no-bus"_s), u"no-bus"_s);
    QVERIFY(!none.isConnected());
    DesktopNotifier notifier(none);
    notifier.post(u"anna"_s, u"lost"_s);
    notifier.withdraw();
    QCOMPARE(notifier.currentId(), 0u);
    QDBusConnection::disconnectFromBus(none.name());
}

// The program itself finds the service on its session bus: started hidden
// on an X display without a tray, it notifies of a message from outside.
void tst_Notify::programNotifiesOnTheSessionBus()
{
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        QSKIP("Xvfb is not installed (scripts/install-deps.sh installs it)");
    QProcess xServer;
    xServer.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s, u"-screen"_s,
                              u"0"_s, u"1024x768x24"_s});
    if (!xServer.waitForReadyRead(10000))
        QSKIP("no X server could be started (Xvfb)");
    const QString display = QString::fromLatin1(xServer.readLine()).trimmed();
    const auto stopX = qScopeGuard([&xServer] {
        xServer.terminate();
        xServer.waitForFinished();
    });

    const QString input = m_env->path(u"input.txt"_s);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, u':' + display);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(u"QUILLET_BOX_LOG"_s, m_env->path(u"boxes.log"_s));
    environment.insert(u"QUILLET_TEST_INPUT"_s, input);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(TestEnvironment::executable(), {u"/H"_s, ChatFilePath});
    QVERIFY(program.waitForStarted());

    writeForeignMessage(ExchangeFolderPath, 10, 0, 0, u"anna"_s, u"to the program"_s);
    QTRY_VERIFY_WITH_TIMEOUT(notifiedBy(u"anna"_s), 10000);
    QCOMPARE(m_server.notes.last().body, u"to the program"_s);

    m_env->touch(u"input.txt"_s, ":exit\n");
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_MAIN(tst_Notify)
#include "tst_notify.moc"
