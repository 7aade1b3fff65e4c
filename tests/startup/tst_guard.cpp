// The exchange-folder guard between real running copies of the program.
#include "testsupport.h"

#include <csignal>

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Copy
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QString log;
};

Copy start(const TestEnvironment &env, const QString &name, const QStringList &arguments)
{
    Copy copy;
    copy.log = env.path(name + u".log"_s);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QUILLET_BOX_LOG"_s, copy.log);
    copy.process->setProcessEnvironment(environment);
    copy.process->start(TestEnvironment::executable(), arguments);
    return copy;
}

QString warning(const QString &folder)
{
    return u"48\t"_s + folder +
           u"\\r\\n\\r\\nВ этом каталоге уже идёт чат.\\r\\n"
           "Попробуйте поискать иконку программы в трее.\t\n"_s;
}

void stop(Copy &copy)
{
    copy.process->kill();
    copy.process->waitForFinished();
}

} // namespace

class TestGuard : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyIsWarnedUntilTheFirstEnds()
    {
        TestEnvironment env;
        const QString chat = env.touch(u"chats/team.QLIMChat"_s);
        const QString sibling = env.touch(u"chats/other.QLIMChat"_s);

        Copy first = start(env, u"first"_s, {chat});
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(first.log),
                                  u"window\tQuillet IM :: team.QLIMChat\n"_s, 20000);

        // Another chat file of the same folder is the same conversation.
        for (const QString &file : {chat, sibling}) {
            Copy second = start(env, u"second"_s, {file});
            QTRY_COMPARE_WITH_TIMEOUT(
                TestEnvironment::readAll(second.log),
                warning(env.chats()) + u"window\tQuillet IM :: Вход в систему\n"_s, 20000);
            stop(second);
            QFile::remove(second.log);
        }
        QCOMPARE(first.process->state(), QProcess::Running);

        // A crash frees the folder as an orderly end does.
        ::kill(static_cast<pid_t>(first.process->processId()), SIGKILL);
        first.process->waitForFinished();
        Copy third = start(env, u"third"_s, {sibling});
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(third.log),
                                  u"window\tQuillet IM :: other.QLIMChat\n"_s, 20000);
        stop(third);
    }

    void longFolderPathsAreStillGuarded()
    {
        TestEnvironment env;
        QString folder = env.chats();
        for (int i = 0; i < 4; ++i)
            folder += '/'_L1 + QString(100, QChar(u'ж'));
        QVERIFY(QDir().mkpath(folder));
        const QString chat = folder + u"/team.QLIMChat"_s;
        QFile(chat).open(QIODevice::WriteOnly);

        Copy first = start(env, u"first"_s, {chat});
        QTRY_VERIFY_WITH_TIMEOUT(TestEnvironment::readAll(first.log).startsWith(u"window"_s),
                                 20000);
        Copy second = start(env, u"second"_s, {chat});
        QTRY_VERIFY_WITH_TIMEOUT(TestEnvironment::readAll(second.log).startsWith(warning(folder)),
                                 20000);
        stop(second);
        stop(first);
    }

    void consoleOptionsNeedNoWindow()
    {
        QProcess help;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"none-such"_s);
        help.setProcessEnvironment(environment);
        help.start(TestEnvironment::executable(), {u"--help"_s});
        QVERIFY(help.waitForFinished());
        QCOMPARE(help.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(help.readAllStandardOutput()),
                 u"Использование:\n\nquillet-im[.EXE] [[/H] FileName]\n\n"
                 "FileName - файл чата.\n/H - скрыть окно чата при запуске.\n"_s);
        help.start(TestEnvironment::executable(), {u"--version"_s});
        QVERIFY(help.waitForFinished());
        QVERIFY(help.readAllStandardOutput().startsWith("Quillet IM 1."));
    }
};

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
