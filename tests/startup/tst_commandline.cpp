#include "app/commandline.h"
#include "app/guard.h"
#include "core/appstate.h"
#include "gui/boxes.h"
#include "testsupport.h"

#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

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
        QCOMPARE(parse({u"/H"_s}), StartupAction::SelectChat);
        QVERIFY(!StartHidden); // reset: there is no chat to hide
        QVERIFY(m_boxes.isEmpty());
    }

    void existingFileOpensTheChat()
    {
        TestEnvironment env;
        const QString chat = env.touch(u"chats/team.QLIMChat"_s);
        QCOMPARE(parse({u"/h"_s, chat}), StartupAction::OpenChat);
        QVERIFY(StartHidden);
        QCOMPARE(ChatFilePath, chat);
        QCOMPARE(ExchangeFolderPath, env.chats());
        QCOMPARE(parse({chat}), StartupAction::OpenChat);
        QVERIFY(!StartHidden);
        // Two file names: the second one counts, in its own letter case.
        const QString other = env.touch(u"other/Second.TXT"_s);
        QCOMPARE(parse({chat, other}), StartupAction::OpenChat);
        QCOMPARE(ChatFilePath, other);
        QCOMPARE(ExchangeFolderPath, env.path(u"other"_s));
        QVERIFY(m_boxes.isEmpty());
    }

    void usageWinsWherever()
    {
        TestEnvironment env;
        const QString chat = env.touch(u"chats/team.QLIMChat"_s);
        QCOMPARE(parse({chat, u"/?"_s}), StartupAction::ShowUsage);
        QCOMPARE(parse({u"/?"_s, chat}), StartupAction::ShowUsage);
        QCOMPARE(parse({u"/?"_s, u"missing"_s}), StartupAction::ShowUsage);
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(ChatFilePath.isEmpty());
        showUsageBox();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].style, (BoxStyle{BoxButtons::Ok, BoxIcon::Information}));
        const QString program =
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        QCOMPARE(m_boxes[0].text, u"Использование:\r\n\r\n"_s + program +
                                      u"[.EXE] [[/H] FileName]\r\n\r\n"
                                      "FileName - файл чата.\r\n"
                                      "/H - скрыть окно чата при запуске."_s);
    }

    void relativeNameAgainstTheCurrentFolder()
    {
        TestEnvironment env;
        const QString chat = env.touch(u"chats/sub/team.QLIMChat"_s);
        const QString saved = QDir::currentPath();
        QDir::setCurrent(env.chats());
        QCOMPARE(parse({u"sub/../sub/team.QLIMChat"_s}), StartupAction::OpenChat);
        QCOMPARE(ChatFilePath, chat);
        QCOMPARE(ExchangeFolderPath, env.path(u"chats/sub"_s));
        QDir::setCurrent(env.root());
        QCOMPARE(parse({u"team.QLIMChat"_s}), StartupAction::SelectChat);
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
        const QString missing = env.path(u"chats/нет.QLIMChat"_s);
        QStringList arguments{missing};
        if (hidden)
            arguments.prepend(u"/H"_s);
        QCOMPARE(parse(arguments), StartupAction::SelectChat);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, missing + u"\r\n\r\nФайл не существует."_s);
        QCOMPARE(m_boxes[0].style, (BoxStyle{BoxButtons::Ok, BoxIcon::Stop}));
        QVERIFY(ChatFilePath.isEmpty());
        QVERIFY(ExchangeFolderPath.isEmpty());
        // A folder is not a chat file either.
        QCOMPARE(parse({env.chats()}), StartupAction::SelectChat);
        QCOMPARE(m_boxes.size(), 1);
    }

    void mutexNames()
    {
        const QString prefix = u"{66DD9D8B-670E-4254-B796-24EA1C03BF32}-"_s;
        QCOMPARE(exchangeMutexName(u"C:\\Chats\\Team"_s), prefix + u"C??Chats?Team"_s);
        QCOMPARE(exchangeMutexName(u"C:/Chats/Team"_s), prefix + u"C??Chats?Team"_s);
        QCOMPARE(exchangeMutexName(u"/home/ann/Sync/Семья/"_s),
                 prefix + u"?home?ann?Sync?Семья?"_s);
        QVERIFY(exchangeMutexName(u"/Chats"_s) != exchangeMutexName(u"/chats"_s));
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
        QVERIFY(!elsewhere.isHeldElsewhere(env.path(u"other"_s)));
        releaseExchangeFolder();
        QVERIFY(!other.isHeldElsewhere(env.chats()));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
