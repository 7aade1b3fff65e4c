#include "chatwindow/chatwindow.h"
#include "core/appstate.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "gui/picturebutton.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <QApplication>
#include <QBackingStore>
#include <QDeadlineTimer>
#include <QLibraryInfo>
#include <QPlainTextEdit>
#include <QStandardPaths>

#include <chrono>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// A headless Weston of the test's own, in a private runtime folder.
class Compositor
{
public:
    // Empty when the compositor runs; otherwise why the tests cannot run.
    QString start()
    {
        const QString weston = QStandardPaths::findExecutable(u"weston"_s);
        if (weston.isEmpty())
            return u"weston is not installed"_s;
        const QString plugin =
            QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/platforms/libqwayland-generic.so"_s;
        if (!QFileInfo::exists(plugin))
            return u"Qt's Wayland platform plugin (qt6-wayland) is not installed"_s;
        if (!m_runtime.isValid())
            return u"no temporary folder"_s;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        m_weston.setProcessEnvironment(environment);
        m_weston.setProcessChannelMode(QProcess::MergedChannels);
        m_weston.start(weston, {u"--backend=headless-backend.so"_s, u"--socket=quillet"_s,
                                u"--idle-time=0"_s});
        const QString socket = m_runtime.filePath(u"quillet"_s);
        const QDeadlineTimer deadline(std::chrono::seconds(20));
        while (!QFileInfo::exists(socket) && !deadline.hasExpired() &&
               m_weston.state() != QProcess::NotRunning) {
            m_weston.waitForReadyRead(100);
        }
        if (!QFileInfo::exists(socket))
            return u"weston did not start: "_s + QString::fromLocal8Bit(m_weston.readAll());
        m_socket = socket;
        return {};
    }
    QString socket() const { return m_socket; }

    ~Compositor()
    {
        m_weston.terminate();
        m_weston.waitForFinished(5000);
    }

private:
    QTemporaryDir m_runtime;
    QProcess m_weston;
    QString m_socket;
};

// The chat that the windows of this test open.
void useChat(const QString &chatFile)
{
    ChatFilePath = chatFile;
    ExchangeFolderPath = parentFolder(chatFile);
    MyGUID = u"{11111111-2222-3333-4444-555555555555}"_s;
}

QString &skipReason()
{
    static QString reason;
    return reason;
}

// The alpha that the compositor receives for a point of the window: the
// window's own buffer, as last painted.
int alphaAt(QWidget *window, QPoint point)
{
    QPaintDevice *device = window->backingStore()->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return -1;
    const auto *image = static_cast<const QImage *>(device);
    if (!image->hasAlphaChannel())
        return 255;
    return qAlpha(image->pixel(point * image->devicePixelRatio()));
}

// A point of the window's own background, covered by no child.
QPoint backgroundPoint(QWidget *window)
{
    for (int y = 0; y < window->height(); ++y)
        for (int x = window->width() / 2; x < window->width(); ++x)
            if (!window->childAt(x, y))
                return {x, y};
    return {};
}

} // namespace

// The program's windows on a Wayland session, where the window system gives
// no whole-window opacity.
class TestWayland final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!skipReason().isEmpty())
            QSKIP(qPrintable(skipReason()));
        m_env = std::make_unique<TestEnvironment>();
        useChat(m_env->touch(u"chats/team.QLIMChat"_s));
        appSettings() = SettingsRecord{};
        Boxes::setHandler([](const BoxRequest &) { return BoxReply{BoxAnswer::Ok, {}}; });
    }
    void cleanup()
    {
        Boxes::resetHandler();
        m_env.reset();
    }

    // The toggle reaches the pixels of the window and of its children, and
    // takes them back to opaque.
    void transparencyToggleReachesTheCompositor()
    {
        QCOMPARE(QGuiApplication::platformName(), u"wayland"_s);
        ChatWindow window;
        window.startSession(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *message = window.findChild<QPlainTextEdit *>(u"txtMessage"_s);
        const QPoint inMessage = message->geometry().center();
        const QPoint background = backgroundPoint(&window);
        QTRY_COMPARE(alphaAt(&window, inMessage), 255);
        QCOMPARE(alphaAt(&window, background), 255);

        auto *button = window.findChild<PictureButton *>(u"ucbMakeTransparent"_s);
        button->click();
        // 75 %: alpha 191, give or take the rounding of premultiplied pixels.
        QTRY_VERIFY(qAbs(alphaAt(&window, inMessage) - 191) <= 1);
        QVERIFY(qAbs(alphaAt(&window, background) - 191) <= 1);
        QVERIFY(qAbs(alphaAt(&window, button->geometry().center()) - 191) <= 1);
        button->click();
        QTRY_COMPARE(alphaAt(&window, inMessage), 255);
        QCOMPARE(alphaAt(&window, background), 255);
        QCOMPARE(window.opacityPercent(), 100);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

int main(int argc, char *argv[])
{
    Compositor compositor;
    skipReason() = compositor.start();
    if (skipReason().isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "wayland");
        qputenv("WAYLAND_DISPLAY", QFile::encodeName(compositor.socket()));
    }
    QApplication app(argc, argv);
    TestWayland test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wayland.moc"
