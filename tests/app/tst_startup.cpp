#include "app/commandline.h"
#include "app/guard.h"
#include "app/startup.h"
#include "testsupport.h"

#include <csignal>

#include "app/windows.h"
#include "chatwindow/chatwindow.h"
#include "core/settingsstore.h"
#include "core/support.h"
#include "gui/boxes.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QSessionManager>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(setUpApplication(*static_cast<QApplication *>(QCoreApplication::instance())));
    }

    // Run in the chats folder, which holds team.QLIMChat, sub/Second.TXT and
    // held/x.QLIMChat (its folder held by another copy).
    void commandLine_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<StartupAction>("action");
        QTest::addColumn<QString>("chat");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<int>("box");
        const auto select = StartupAction::SelectChat;
        const auto open = StartupAction::OpenChat;
        QTest::newRow("/h and a chat")
            << u"/h|team.QLIMChat"_s << open << u"team.QLIMChat"_s << true << 0;
        QTest::newRow("a chat") << u"sub/../team.QLIMChat"_s << open << u"team.QLIMChat"_s << false
                                << 0;
        QTest::newRow("missing file") << u"/H|нет.QLIMChat"_s << select << QString() << false << 16;
        QTest::newRow("folder held elsewhere")
            << u"held/x.QLIMChat"_s << select << QString() << false << 48;
    }
    void commandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, chat);
        QFETCH(int, box);
        TestEnvironment env;
        env.touch(u"chats/team.QLIMChat"_s);
        env.touch(u"chats/sub/Second.TXT"_s);
        ExchangeFolderLock other;
        QVERIFY(!other.isHeldElsewhere(parentFolder(env.touch(u"chats/held/x.QLIMChat"_s))));
        const QString saved = QDir::currentPath();
        QDir::setCurrent(env.chats());
        QList<int> boxes;
        Boxes::setHandler(
            [&](const BoxRequest &r) { return boxes << r.style.number(), BoxReply{}; });
        const StartupRequest request =
            parseCommandLine(arguments.split('|'_L1, Qt::SkipEmptyParts));
        releaseExchangeFolder();
        Boxes::resetHandler();
        QDir::setCurrent(saved);
        QTEST(request.action, "action");
        const QString path = chat.isEmpty() ? QString() : env.chats() + '/'_L1 + chat;
        QCOMPARE(request.chat.chatFile, path);
        QTEST(request.chat.startHidden, "hidden");
        QCOMPARE(boxes, box ? QList<int>{box} : QList<int>{});
    }

    // Real running copies: one chat per folder, however long its path; another
    // chat file of the same folder is the same conversation; a crash frees it.
    void oneCopyPerFolder()
    {
        TestEnvironment env;
        const QString folder = u"chats/"_s + QString(100, u'ж') + '/'_L1 + QString(100, u'ж');
        const QString chat = env.touch(folder + u"/team.QLIMChat"_s);
        const QString sibling = env.touch(folder + u"/other.QLIMChat"_s);
        const auto first = startProgram({chat}, env.path(u"1.log"_s));
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(env.path(u"1.log"_s)),
                                  u"window\tQuillet IM :: team.QLIMChat\n"_s, 20000);
        const auto second = startProgram({sibling}, env.path(u"2.log"_s));
        const auto secondLog = [&] { return TestEnvironment::readAll(env.path(u"2.log"_s)); };
        QTRY_VERIFY_WITH_TIMEOUT(
            secondLog().endsWith(u"\nwindow\tQuillet IM :: Вход в систему\n"_s), 20000);
        QVERIFY(secondLog().startsWith(u"48\t"_s + env.path(folder)));
        second->kill();
        second->waitForFinished();
        QCOMPARE(first->state(), QProcess::Running);
        ::kill(pid_t(first->processId()), SIGKILL);
        first->waitForFinished();
        const auto third = startProgram({sibling}, env.path(u"3.log"_s));
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(env.path(u"3.log"_s)),
                                  u"window\tQuillet IM :: other.QLIMChat\n"_s, 20000);
        third->kill();
        third->waitForFinished();
    }

    // The session manager's checkpoint saves the chat silently; its request to
    // quit ends the chat, as the end of the desktop session does.
    void sessionManagerEndsTheChat()
    {
        TestEnvironment env;
        const QString chatFile = env.touch(u"chats/team.QLIMChat"_s);
        // Eats the request to quit once the chat has seen it: this test goes on.
        struct QuitEater final : QObject
        {
            bool eventFilter(QObject *, QEvent *e) override { return e->type() == QEvent::Quit; }
        } eater;
        qApp->installEventFilter(&eater); // before the chat's, so it sees the request last
        openChatWindow(
            {chatFile, parentFolder(chatFile), u"{11111111-2222-3333-4444-555555555555}"_s});
        QPointer<ChatWindow> window;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *chat = qobject_cast<ChatWindow *>(widget))
                window = chat;
        QVERIFY(window);
        window->findChild<QLineEdit *>(u"txtUserName"_s)->setText(u"Пётр"_s);

        auto *manager = qApp->findChild<QSessionManager *>();
        QVERIFY(manager);
        emit qApp->commitDataRequest(*manager);
        QCOMPARE(SettingsStore().loadValue(u"Nicks"_s, chatFile, ValueKind::Text), u"Пётр"_s);
        QVERIFY(window->sessionRunning());
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
        QVERIFY(!window->sessionRunning());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
