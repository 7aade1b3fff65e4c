#include "core/appstate.h"
#include "gui/boxes.h"
#include "app/commandline.h"
#include "app/guard.h"
#include "testenv.h"

#include <QTest>

using namespace quillet;

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    QList<BoxRequest> m_boxes;

    StartupAction parse(const QStringList &arguments)
    {
        releaseExchangeFolder();
        ChatFilePath.clear();
        ExchangeFolderPath.clear();
        m_boxes.clear();
        return parseCommandLine(arguments);
    }

private slots:
    void init()
    {
        Boxes::setHandler([this](const BoxRequest &r) {
            m_boxes.append(r);
            return BoxReply{};
        });
    }
    void cleanup()
    {
        Boxes::resetHandler();
        releaseExchangeFolder();
    }

    void noFileSelectsAChat()
    {
        TestEnvironment env;
        QCOMPARE(parse({}), StartupAction::SelectChat);
        QVERIFY(!StartHidden);
        QCOMPARE(parse({QStringLiteral("/H")}), StartupAction::SelectChat);
        QVERIFY(!StartHidden); // reset: there is no chat to hide
        QVERIFY(m_boxes.isEmpty());
    }

    void existingFileOpensTheChat()
    {
        TestEnvironment env;
        const QString chat = env.touch(QStringLiteral("chats/team.QLIMChat"));
        QCOMPARE(parse({QStringLiteral("/h"), chat}), StartupAction::OpenChat);
        QVERIFY(StartHidden);
        QCOMPARE(ChatFilePath, chat);
        QCOMPARE(ExchangeFolderPath, env.chats());
        QCOMPARE(parse({chat}), StartupAction::OpenChat);
        QVERIFY(!StartHidden);
        // Two file names: the second one counts, in its own letter case.
        const QString other = env.touch(QStringLiteral("other/Second.TXT"));
        QCOMPARE(parse({chat, other}), StartupAction::OpenChat);
        QCOMPARE(ChatFilePath, other);
        QCOMPARE(ExchangeFolderPath, env.path(QStringLiteral("other")));
        QVERIFY(m_boxes.isEmpty());
    }

    void usageWinsWherever()
    {
        TestEnvironment env;
        const QString chat = env.touch(QStringLiteral("chats/team.QLIMChat"));
        QCOMPARE(parse({chat, QStringLiteral("/?")}), StartupAction::ShowUsage);
        QCOMPARE(parse({QStringLiteral("/?"), chat}), StartupAction::ShowUsage);
        QCOMPARE(parse({QStringLiteral("/?"), QStringLiteral("missing")}),
                 StartupAction::ShowUsage);
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(ChatFilePath.isEmpty());
        showUsageBox();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].style, (BoxStyle{BoxButtons::Ok, BoxIcon::Information}));
        const QString program =
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        QCOMPARE(m_boxes[0].text, QStringLiteral("Использование:\r\n\r\n") + program +
                                      QStringLiteral("[.EXE] [[/H] FileName]\r\n\r\n"
                                                     "FileName - файл чата.\r\n"
                                                     "/H - скрыть окно чата при запуске."));
    }

    void relativeNameAgainstTheCurrentFolder()
    {
        TestEnvironment env;
        const QString chat = env.touch(QStringLiteral("chats/sub/team.QLIMChat"));
        const QString saved = QDir::currentPath();
        QDir::setCurrent(env.chats());
        QCOMPARE(parse({QStringLiteral("sub/../sub/team.QLIMChat")}), StartupAction::OpenChat);
        QCOMPARE(ChatFilePath, chat);
        QCOMPARE(ExchangeFolderPath, env.path(QStringLiteral("chats/sub")));
        QDir::setCurrent(env.root());
        QCOMPARE(parse({QStringLiteral("team.QLIMChat")}), StartupAction::SelectChat);
        QDir::setCurrent(saved);
    }

    void missingFile_data()
    {
        QTest::addColumn<bool>("hidden");
        QTest::newRow("plain") << false;
        QTest::newRow("with /H") << true;
    }

    void missingFile()
    {
        QFETCH(bool, hidden);
        TestEnvironment env;
        const QString missing = env.path(QStringLiteral("chats/нет.QLIMChat"));
        QStringList arguments{missing};
        if (hidden)
            arguments.prepend(QStringLiteral("/H"));
        QCOMPARE(parse(arguments), StartupAction::SelectChat);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, missing + QStringLiteral("\r\n\r\nФайл не существует."));
        QCOMPARE(m_boxes[0].style, (BoxStyle{BoxButtons::Ok, BoxIcon::Stop}));
        QVERIFY(ChatFilePath.isEmpty());
        QVERIFY(ExchangeFolderPath.isEmpty());
        // A folder is not a chat file either.
        QCOMPARE(parse({env.chats()}), StartupAction::SelectChat);
        QCOMPARE(m_boxes.size(), 1);
    }

    void mutexNames()
    {
        const QString prefix = QStringLiteral("{66DD9D8B-670E-4254-B796-24EA1C03BF32}-");
        QCOMPARE(exchangeMutexName(QStringLiteral("C:\\Chats\\Team")),
                 prefix + QStringLiteral("C??Chats?Team"));
        QCOMPARE(exchangeMutexName(QStringLiteral("C:/Chats/Team")),
                 prefix + QStringLiteral("C??Chats?Team"));
        QCOMPARE(exchangeMutexName(QStringLiteral("/home/ann/Sync/Семья/")),
                 prefix + QStringLiteral("?home?ann?Sync?Семья?"));
        QVERIFY(exchangeMutexName(QStringLiteral("/Chats")) !=
                exchangeMutexName(QStringLiteral("/chats")));
    }

    void guardInOneProcess()
    {
        TestEnvironment env;
        ExchangeFolderPath = env.chats();
        QVERIFY(claimExchangeFolder());
        // A second holder (as another process would be) is refused with the warning.
        ExchangeFolderLock other;
        QVERIFY(other.isHeldElsewhere(env.chats()));
        ExchangeFolderLock elsewhere;
        QVERIFY(!elsewhere.isHeldElsewhere(env.path(QStringLiteral("other"))));
        releaseExchangeFolder();
        QVERIFY(!other.isHeldElsewhere(env.chats()));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
