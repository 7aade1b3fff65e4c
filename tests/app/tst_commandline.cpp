#include "app/commandline.h"
#include "app/guard.h"
#include "core/appstate.h"
#include "gui/boxes.h"
#include "testsupport.h"

#include "core/support.h"

#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// What the start-up keeps of the command line.
struct Opened
{
    QString chat;
    QString folder;
    bool hidden = false;
};

Opened opened()
{
    return {ChatFilePath, ExchangeFolderPath, StartHidden};
}

void forgetChat()
{
    releaseExchangeFolder();
    ChatFilePath.clear();
    ExchangeFolderPath.clear();
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        Boxes::resetHandler();
        forgetChat();
    }

    // Run in the chats folder, which holds team.QLIMChat, sub/Second.TXT and
    // held/x.QLIMChat (its folder claimed by another copy).
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<StartupAction>("action");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("chat");
        QTest::addColumn<int>("box");
        const auto select = StartupAction::SelectChat;
        const auto open = StartupAction::OpenChat;
        const auto usage = StartupAction::ShowUsage;
        QTest::newRow("nothing") << QStringList{} << select << false << QString() << 0;
        QTest::newRow("/H alone") << QStringList{u"/H"_s} << select << false << QString() << 0;
        QTest::newRow("/h and a chat")
            << QStringList{u"/h"_s, u"team.QLIMChat"_s} << open << true << u"team.QLIMChat"_s << 0;
        QTest::newRow("a chat") << QStringList{u"sub/../team.QLIMChat"_s} << open << false
                                << u"team.QLIMChat"_s << 0;
        QTest::newRow("the last name counts")
            << QStringList{u"team.QLIMChat"_s, u"sub/Second.TXT"_s, u"/H"_s} << open << true
            << u"sub/Second.TXT"_s << 0;
        QTest::newRow("/? anywhere") << QStringList{u"team.QLIMChat"_s, u"/?"_s, u"missing"_s}
                                     << usage << false << QString() << 0;
        QTest::newRow("missing file")
            << QStringList{u"/H"_s, u"нет.QLIMChat"_s} << select << true << QString() << 16;
        QTest::newRow("a folder") << QStringList{u"sub"_s} << select << false << QString() << 16;
        QTest::newRow("folder held elsewhere")
            << QStringList{u"held/x.QLIMChat"_s} << select << false << QString() << 48;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(StartupAction, action);
        QFETCH(bool, hidden);
        QFETCH(QString, chat);
        QFETCH(int, box);
        TestEnvironment env;
        env.touch(u"chats/team.QLIMChat"_s);
        env.touch(u"chats/sub/Second.TXT"_s);
        const QString held = parentFolder(env.touch(u"chats/held/x.QLIMChat"_s));
        ExchangeFolderLock other;
        QVERIFY(!other.isHeldElsewhere(held));
        const QString saved = QDir::currentPath();
        QDir::setCurrent(env.chats());
        QList<BoxRequest> boxes;
        Boxes::setHandler([&](const BoxRequest &r) {
            boxes.append(r);
            return BoxReply{};
        });
        QCOMPARE(parseCommandLine(arguments), action);
        QDir::setCurrent(saved);
        const QString chatPath = chat.isEmpty() ? QString() : env.chats() + '/'_L1 + chat;
        QCOMPARE(opened().chat, chatPath);
        QCOMPARE(opened().folder, parentFolder(chatPath));
        QCOMPARE(opened().hidden, hidden);
        QCOMPARE(boxes.size(), box ? 1 : 0);
        if (box)
            QCOMPARE(boxes.first().style.number(), box);
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
