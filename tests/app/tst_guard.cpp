// The exchange-folder guard between real running copies of the program.
#include "testsupport.h"

#include <csignal>

#include <QTest>

using namespace Qt::StringLiterals;

class TestGuard : public QObject
{
    Q_OBJECT

private slots:
    // One running chat per folder, however long its path: another chat file of
    // the same folder is the same conversation, and a crash frees the folder.
    void oneCopyPerFolder()
    {
        TestEnvironment env;
        QString folder = env.chats();
        for (int i = 0; i < 4; ++i)
            folder += '/'_L1 + QString(100, QChar(u'ж'));
        const QString chat = env.touch(folder.mid(env.root().size() + 1) + u"/team.QLIMChat"_s);
        const QString sibling = env.touch(folder.mid(env.root().size() + 1) + u"/other.QLIMChat"_s);
        const QString firstLog = env.path(u"first.log"_s);
        const auto first = startProgram({chat}, firstLog);
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(firstLog),
                                  u"window\tQuillet IM :: team.QLIMChat\n"_s, 20000);
        for (const QString &file : {chat, sibling}) {
            const QString log = env.path(QFileInfo(file).fileName() + u".log"_s);
            const auto second = startProgram({file}, log);
            QTRY_COMPARE_WITH_TIMEOUT(
                TestEnvironment::readAll(log),
                u"48\t"_s + folder +
                    u"\\r\\n\\r\\nВ этом каталоге уже идёт чат.\\r\\nПопробуйте поискать иконку "
                    "программы в трее.\t\nwindow\tQuillet IM :: Вход в систему\n"_s,
                20000);
            second->kill();
            second->waitForFinished();
        }
        QCOMPARE(first->state(), QProcess::Running);

        ::kill(pid_t(first->processId()), SIGKILL);
        first->waitForFinished();
        const QString thirdLog = env.path(u"third.log"_s);
        const auto third = startProgram({sibling}, thirdLog);
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(thirdLog),
                                  u"window\tQuillet IM :: other.QLIMChat\n"_s, 20000);
        third->kill();
        third->waitForFinished();
    }

    // --help and --version answer on the console, without any window.
    void consoleOptionsNeedNoWindow()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"none-such"_s);
        QProcess program;
        program.setProcessEnvironment(environment);
        for (const QString &option : {u"--help"_s, u"--version"_s}) {
            program.start(TestEnvironment::executable(), {option});
            QVERIFY(program.waitForFinished());
            QCOMPARE(program.exitCode(), 0);
            QVERIFY(program.readAllStandardOutput().contains(
                option == "--help"_L1 ? "[[/H] FileName]" : "Quillet IM " QUILLET_VERSION));
        }
    }
};

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
