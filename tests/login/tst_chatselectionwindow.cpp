#include "login/chatselectionwindow.h"

#include "app/guard.h"
#include "app/windows.h"
#include "core/appstate.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/picturebutton.h"
#include "testsupport.h"

#include <QApplication>
#include <QPointer>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// No chat is open yet.
void useNoChat()
{
    ChatFilePath.clear();
    ExchangeFolderPath.clear();
}

QString rememberedFolder(const char *key)
{
    return SettingsStore().loadValue(u"OFN Paths"_s, QLatin1String(key), ValueKind::Text).toString();
}

} // namespace

// The chat selection window as the program shows it, driven through its
// buttons; file dialogs and boxes are answered through their seams, the
// chat files and the exchange-folder guard are real.
class tst_ChatSelectionWindow final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QList<FileDialog::Request> m_dialogs;
    QList<BoxRequest> m_boxes;

    // Opens the window, then presses its buttons, the file dialogs answered by
    // `paths` (an empty one cancels); the window while it is still open.
    QPointer<ChatSelectionWindow> press(const QStringList &buttons, QStringList paths)
    {
        FileDialog::setHandler([this, paths](const FileDialog::Request &request) mutable {
            m_dialogs.append(request);
            const QString path = paths.isEmpty() ? QString() : paths.takeFirst();
            return FileDialog::Reply{!path.isEmpty(), path};
        });
        const QWidgetList before = QApplication::topLevelWidgets();
        showChatSelection();
        QPointer<ChatSelectionWindow> window;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (!before.contains(widget) && qobject_cast<ChatSelectionWindow *>(widget))
                window = static_cast<ChatSelectionWindow *>(widget);
        for (const QString &button : buttons)
            if (window)
                window->findChild<PictureButton *>(button)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window;
    }
    // The selection window has gone and the chat window of `path` is shown.
    static bool enteredChat(const QPointer<ChatSelectionWindow> &window, const QString &path)
    {
        bool shown = false;
        for (QWidget *widget : QApplication::topLevelWidgets())
            shown |= widget->isVisible() && widget->windowTitle() == u"Quillet IM :: "_s + fileNameOf(path);
        return !window && ChatFilePath == path && ExchangeFolderPath == parentFolder(path) && shown;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        useNoChat();
        m_dialogs.clear();
        m_boxes.clear();
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{BoxAnswer::Ok, {}};
        });
    }
    void cleanup()
    {
        QList<QPointer<QWidget>> windows; // a chat window takes its own helpers with it
        for (QWidget *widget : QApplication::topLevelWidgets())
            windows.append(widget);
        for (const QPointer<QWidget> &window : windows)
            delete window.data();
        releaseExchangeFolder();
        FileDialog::resetHandler();
        Boxes::resetHandler();
        m_env.reset();
    }

    void create_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("existing"); // null: no file there before
        QTest::addColumn<bool>("entered");
        QTest::newRow("new file") << u"chats/Бес\\еда 'a' \"b\" $c .QLIMChat"_s << QString() << true;
        QTest::newRow("no extension added") << u"chats/Беседа"_s << QString() << true;
        QTest::newRow("existing file emptied") << u"chats/old.QLIMChat"_s << u"old text"_s << true;
        QTest::newRow("missing folder") << u"missing/a.QLIMChat"_s << QString() << false;
        QTest::newRow("file as folder") << u"plain/a.QLIMChat"_s << QString() << false;
        QTest::newRow("folder in the way") << u"chats/dir.QLIMChat"_s << QString() << false;
    }
    // A created chat file holds no text (at most the byte-order mark of one);
    // one that cannot be written is reported and the window stays for another try.
    void create()
    {
        QFETCH(QString, name);
        QFETCH(QString, existing);
        QFETCH(bool, entered);
        QDir().mkpath(m_env->path(u"chats/dir.QLIMChat"_s));
        m_env->touch(u"plain"_s, "a file");
        if (!existing.isNull())
            m_env->touch(name, existing.toUtf8());
        const QString path = m_env->path(name);
        QPointer<ChatSelectionWindow> window = press({u"ucbCreateChat"_s}, {path});
        QCOMPARE(m_dialogs.size(), 1);
        QCOMPARE(m_dialogs.at(0).mode, FileDialog::Mode::Save);
        QCOMPARE(rememberedFolder("Laste Create File Directory"), parentFolder(path));
        QCOMPARE(m_boxes.size(), entered ? 0 : 1);
        QCOMPARE(enteredChat(window, path), entered);
        if (entered) {
            const Result<QString> text = TextFile::readText(path);
            QVERIFY(text.ok() && text.value().isEmpty() && QFileInfo(path).size() <= 3);
        } else {
            QVERIFY(m_boxes.at(0).text.startsWith(u"Не удалось создать файл чата.\r\n\r\nКод "_s));
            QVERIFY(window && window->isVisible() && ChatFilePath.isEmpty());
        }
    }

    // Any file may be opened as a chat and is left as it is.
    void openAnyFile()
    {
        const QString opened = m_env->touch(u"B/notes.txt"_s, "kept as it is");
        QPointer<ChatSelectionWindow> window = press({u"ucbOpenChat"_s}, {opened});
        QCOMPARE(m_dialogs.at(0).filter, ChatSelectionWindow::chatFileFilter());
        QVERIFY(enteredChat(window, opened));
        QCOMPARE(TestEnvironment::readAll(opened), u"kept as it is"_s);
        QCOMPARE(rememberedFolder("Laste Open File Directory"), parentFolder(opened));
    }

    // A folder that another running copy holds is refused with a box; the
    // created file stays, and the window waits for another choice.
    void folderHeldElsewhere()
    {
        ExchangeFolderLock other;
        QVERIFY(!other.isHeldElsewhere(m_env->chats()));
        const QString created = m_env->chats() + u"/Беседа.QLIMChat"_s;
        const QString free = m_env->touch(u"other/free.QLIMChat"_s);
        QPointer<ChatSelectionWindow> window = press({u"ucbCreateChat"_s}, {created, free});
        QVERIFY(QFileInfo(created).isFile());
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes.at(0).text.startsWith(m_env->chats()));
        QVERIFY(window && window->isVisible());
        window->findChild<PictureButton *>(u"ucbOpenChat"_s)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(enteredChat(window, free));
    }
};

QTEST_MAIN(tst_ChatSelectionWindow)
#include "tst_chatselectionwindow.moc"
