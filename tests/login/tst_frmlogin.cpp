#include "app/guard.h"
#include "app/windows.h"
#include "core/appstate.h"
#include "core/settingsstore.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/picturebutton.h"
#include "login/chatselectionwindow.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>

using namespace quillet;
using namespace Qt::StringLiterals;

// The chat selection window driven through its real buttons and keys; file
// dialogs and boxes are answered through their seams, the exchange-folder
// guard and the chat files are real.
// A new chat file holds no text: at most the byte-order mark of an empty text.
bool holdsNoText(const QString &path)
{
    const Result<QString> text = TextFile::readText(path);
    return text.ok() && text.value().isEmpty() && QFileInfo(path).size() <= 3;
}

class TestFrmLogin : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QList<FileDialog::Request> m_dialogs;
    QList<BoxRequest> m_boxes;

    static ChatSelectionWindow *openSelection()
    {
        showChatSelection();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<ChatSelectionWindow *>(widget);
                window && window->isVisible())
                return window;
        }
        return nullptr;
    }

    // Answers the next file dialogs with these paths; an empty path cancels.
    void answerFileDialogs(QStringList paths)
    {
        FileDialog::setHandler([this, paths](const FileDialog::Request &request) mutable {
            m_dialogs.append(request);
            const QString path = paths.isEmpty() ? QString() : paths.takeFirst();
            return FileDialog::Reply{!path.isEmpty(), path};
        });
    }

    static void click(ChatSelectionWindow *window, const char *button)
    {
        QTest::mouseClick(window->findChild<PictureButton *>(QLatin1String(button)),
                          Qt::LeftButton);
    }

    static QWidget *chatWindow(const QString &fileName)
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowTitle() == u"Quillet IM :: "_s + fileName)
                return widget;
        }
        return nullptr;
    }

    static QString stored(const char *key)
    {
        return SettingsStore()
            .loadValue(u"OFN Paths"_s, QLatin1String(key), ValueKind::Text)
            .toString();
    }

    // Passes when the selection window has gone and the chat window of `path` is shown.
    static bool enteredChat(const QPointer<ChatSelectionWindow> &window, const QString &path)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const qsizetype slash = path.lastIndexOf('/'_L1);
        return !window && ChatFilePath == path && ExchangeFolderPath == path.left(slash) &&
               chatWindow(path.mid(slash + 1));
    }

    // Passes when the window is still open for another try and no chat was entered.
    static bool stillSelecting(const QPointer<ChatSelectionWindow> &window)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window && window->isVisible() && ChatFilePath.isEmpty() &&
               ExchangeFolderPath.isEmpty();
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_dialogs.clear();
        m_boxes.clear();
        ChatFilePath.clear();
        ExchangeFolderPath.clear();
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{BoxAnswer::Ok, {}};
        });
    }

    void cleanup()
    {
        // A chat window takes its own top-level helpers (menus, dialogs) with it.
        QList<QPointer<QWidget>> windows;
        for (QWidget *widget : QApplication::topLevelWidgets())
            windows.append(widget);
        for (const QPointer<QWidget> &window : windows)
            delete window.data();
        releaseExchangeFolder();
        FileDialog::resetHandler();
        Boxes::resetHandler();
        m_env.reset();
    }

    void escapeWithoutModifiersCloses_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Escape") << int(Qt::NoModifier) << true;
        QTest::newRow("Shift+Escape") << int(Qt::ShiftModifier) << false;
        QTest::newRow("Ctrl+Escape") << int(Qt::ControlModifier) << false;
        QTest::newRow("Alt+Escape") << int(Qt::AltModifier) << false;
    }

    void escapeWithoutModifiersCloses()
    {
        QFETCH(int, modifiers);
        QFETCH(bool, closes);
        QPointer<ChatSelectionWindow> window = openSelection();
        QTest::keyClick(window.data(), Qt::Key_Escape, Qt::KeyboardModifiers(modifiers));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.isNull(), closes);
        if (!closes)
            QVERIFY(window->isVisible());
    }

    // Without a mouse: every action is a named push button that Tab reaches
    // and Space presses.
    void keyboardAndScreenReaderReachEveryAction()
    {
        answerFileDialogs({});
        QPointer<ChatSelectionWindow> window = openSelection();
        QVERIFY(QTest::qWaitForWindowActive(window.data()));
        QStringList names;
        for (const char *name : {"ucbCreateChat", "ucbOpenChat", "ucbExit"}) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(
                window->findChild<PictureButton *>(QLatin1String(name)));
            QCOMPARE(accessible->role(), QAccessible::Button);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), name);
            names.append(accessible->text(QAccessible::Name));
        }
        names.removeDuplicates();
        QCOMPARE(names.size(), 3);

        auto *open = window->findChild<PictureButton *>(u"ucbOpenChat"_s);
        for (int tabs = 0; tabs < 4 && QApplication::focusWidget() != open; ++tabs)
            QTest::keyClick(window.data(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), open);
        QTest::keyClick(open, Qt::Key_Space);
        QCOMPARE(m_dialogs.size(), 1);
        QCOMPARE(m_dialogs[0].mode, FileDialog::Mode::Open);
    }

    void exitButtonCloses()
    {
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbExit");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        QVERIFY(m_dialogs.isEmpty());
    }

    void creatingWritesAnEmptyChatFileAndEntersIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("cyrillic") << u"Беседа.QLIMChat"_s;
        QTest::newRow("backslash") << u"Бес\\еда\\.QLIMChat"_s;
        QTest::newRow("blanks and quotes") << u" 'a' \"b\" $c .QLIMChat"_s;
        QTest::newRow("no extension") << u"Беседа"_s;
    }

    void creatingWritesAnEmptyChatFileAndEntersIt()
    {
        QFETCH(QString, name);
        const QString path = m_env->chats() + '/'_L1 + name;
        answerFileDialogs({path});
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbCreateChat");
        QCOMPARE(m_dialogs.size(), 1);
        QCOMPARE(m_dialogs[0].mode, FileDialog::Mode::Save);
        QCOMPARE(m_dialogs[0].filter, u"Файлы чата (*.QLIMChat);;Все файлы (*)"_s);
        QCOMPARE(m_dialogs[0].initialFolder, QString()); // first use
        QCOMPARE(m_dialogs[0].owner, window.data());
        QVERIFY(QFileInfo(path).isFile());
        QVERIFY(holdsNoText(path));
        QVERIFY(enteredChat(window, path));
        QCOMPARE(stored("Laste Create File Directory"), m_env->chats());
        QVERIFY(m_boxes.isEmpty());
    }

    // A chat file that exists already is replaced by an empty one (the dialog asked).
    void creatingOverAnExistingFileEmptiesIt()
    {
        const QString path = m_env->touch(u"chats/old.QLIMChat"_s, "old text");
        answerFileDialogs({path});
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbCreateChat");
        QVERIFY(holdsNoText(path));
        QVERIFY(enteredChat(window, path));
    }

    // Closing the selection window, the last one, must not end the program
    // when the chat window takes its place.
    void enteringAChatKeepsTheProgramRunning()
    {
        struct QuitSpy final : QObject
        {
            bool seen = false;
            bool eventFilter(QObject *, QEvent *event) override
            {
                seen = seen || event->type() == QEvent::Quit;
                return false;
            }
        } spy;
        const QString path = m_env->chats() + u"/Беседа.QLIMChat"_s;
        answerFileDialogs({path});
        QPointer<ChatSelectionWindow> window = openSelection();
        // As at start-up, before any chat window may have changed it.
        QApplication::setQuitOnLastWindowClosed(true);
        QTimer::singleShot(0, this, [&] {
            qApp->installEventFilter(&spy);
            click(window, "ucbCreateChat");
            QCoreApplication::sendPostedEvents();
            qApp->removeEventFilter(&spy);
            QCoreApplication::exit(0);
        });
        QApplication::exec();
        QVERIFY(!spy.seen);
        QVERIFY(enteredChat(window, path));
    }

    void openingAFileOfAnyTypeEntersItsChat()
    {
        const QString path = m_env->touch(u"shared/notes.txt"_s, "kept as it is");
        answerFileDialogs({path});
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbOpenChat");
        QCOMPARE(m_dialogs.size(), 1);
        QCOMPARE(m_dialogs[0].mode, FileDialog::Mode::Open);
        QCOMPARE(m_dialogs[0].filter, ChatSelectionWindow::chatFileFilter());
        QVERIFY(enteredChat(window, path));
        QCOMPARE(TestEnvironment::readAll(path), u"kept as it is"_s);
        QCOMPARE(stored("Laste Open File Directory"), m_env->path(u"shared"_s));
        QCOMPARE(stored("Laste Create File Directory"), QString());
    }

    void rememberedFoldersSurviveARestart()
    {
        const QString created = m_env->path(u"A/Семья.QLIMChat"_s);
        QDir().mkpath(m_env->path(u"A"_s));
        const QString opened = m_env->touch(u"B/Работа.QLIMChat"_s);
        answerFileDialogs({created});
        click(openSelection(), "ucbCreateChat");
        releaseExchangeFolder();
        answerFileDialogs({opened});
        click(openSelection(), "ucbOpenChat");
        releaseExchangeFolder();

        // A new window, as after a restart, reads the folders from the store.
        answerFileDialogs({});
        ChatSelectionWindow *window = openSelection();
        click(window, "ucbCreateChat");
        click(window, "ucbOpenChat");
        QCOMPARE(m_dialogs.size(), 4);
        QCOMPARE(m_dialogs[2].initialFolder, m_env->path(u"A"_s));
        QCOMPARE(m_dialogs[3].initialFolder, m_env->path(u"B"_s));
    }

    void cancelledDialogsChangeNothing()
    {
        answerFileDialogs({});
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbCreateChat");
        click(window, "ucbOpenChat");
        QCOMPARE(m_dialogs.size(), 2);
        QVERIFY(stillSelecting(window));
        QVERIFY(!QFileInfo::exists(SettingsStore::filePath()) ||
                stored("Laste Create File Directory").isEmpty());
        QVERIFY(m_boxes.isEmpty());
    }

    void failedCreationIsReportedAndWindowStays_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing folder") << u"missing/a.QLIMChat"_s << u"missing"_s;
        QTest::newRow("folder in the way") << u"chats/dir.QLIMChat"_s << u"chats"_s;
        QTest::newRow("file as folder") << u"plain/a.QLIMChat"_s << u"plain"_s;
    }

    void failedCreationIsReportedAndWindowStays()
    {
        QFETCH(QString, relative);
        QFETCH(QString, folder);
        QDir().mkpath(m_env->path(u"chats/dir.QLIMChat"_s));
        m_env->touch(u"plain"_s, "a file");
        answerFileDialogs({m_env->path(relative)});
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbCreateChat");
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].style, (BoxStyle{BoxButtons::Ok, BoxIcon::Stop}));
        QVERIFY2(m_boxes[0].text.startsWith(u"Не удалось создать файл чата.\r\n"
                                            "\r\nКод "_s),
                 qPrintable(m_boxes[0].text));
        QVERIFY(stillSelecting(window));
        // The folder was remembered before the file was written.
        QCOMPARE(stored("Laste Create File Directory"), m_env->path(folder));
    }

    void guardRefusalKeepsTheCreatedFileAndTheWindow()
    {
        ExchangeFolderLock other; // another running copy holds the folder
        QVERIFY(!other.isHeldElsewhere(m_env->chats()));
        const QString path = m_env->chats() + u"/Беседа.QLIMChat"_s;
        answerFileDialogs({path});
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbCreateChat");
        QVERIFY(QFileInfo(path).isFile());
        QVERIFY(holdsNoText(path));
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes[0].text.startsWith(m_env->chats()));
        QVERIFY(stillSelecting(window));
        QVERIFY(!chatWindow(u"Беседа.QLIMChat"_s));
    }

    void guardRefusalOnOpeningLeavesTheWindowForAnotherTry()
    {
        ExchangeFolderLock other;
        QVERIFY(!other.isHeldElsewhere(m_env->chats()));
        const QString held = m_env->touch(u"chats/held.QLIMChat"_s);
        const QString free = m_env->touch(u"other/free.QLIMChat"_s);
        answerFileDialogs({held, free});
        QPointer<ChatSelectionWindow> window = openSelection();
        click(window, "ucbOpenChat");
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(stillSelecting(window));
        click(window, "ucbOpenChat");
        QVERIFY(enteredChat(window, free));
    }
};

QTEST_MAIN(TestFrmLogin)
#include "tst_frmlogin.moc"
