// The exchange-folder guard between real running copies of the program.
#include "testenv.h"

#include <csignal>

#include <QProcess>
#include <QTest>

namespace {

struct Copy
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QString log;
};

Copy start(const TestEnvironment &env, const QString &name, const QStringList &arguments)
{
    Copy copy;
    copy.log = env.path(name + QStringLiteral(".log"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLET_BOX_LOG"), copy.log);
    copy.process->setProcessEnvironment(environment);
    copy.process->start(TestEnvironment::executable(), arguments);
    return copy;
}

QString warning(const QString &folder)
{
    return QStringLiteral("48\t") + folder +
           QStringLiteral("\\r\\n\\r\\nВ этом каталоге уже идёт чат.\\r\\n"
                          "Попробуйте поискать иконку программы в трее.\t\n");
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
        const QString chat = env.touch(QStringLiteral("chats/team.QLIMChat"));
        const QString sibling = env.touch(QStringLiteral("chats/other.QLIMChat"));

        Copy first = start(env, QStringLiteral("first"), {chat});
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(first.log),
                                  QStringLiteral("window\tQuillet IM :: team.QLIMChat\n"), 20000);

        // Another chat file of the same folder is the same conversation.
        for (const QString &file : {chat, sibling}) {
            Copy second = start(env, QStringLiteral("second"), {file});
            QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(second.log),
                                      warning(env.chats()) +
                                          QStringLiteral("window\tQuillet IM :: Вход в систему\n"),
                                      20000);
            stop(second);
            QFile::remove(second.log);
        }
        QCOMPARE(first.process->state(), QProcess::Running);

        // A crash frees the folder as an orderly end does.
        ::kill(static_cast<pid_t>(first.process->processId()), SIGKILL);
        first.process->waitForFinished();
        Copy third = start(env, QStringLiteral("third"), {sibling});
        QTRY_COMPARE_WITH_TIMEOUT(TestEnvironment::readAll(third.log),
                                  QStringLiteral("window\tQuillet IM :: other.QLIMChat\n"), 20000);
        stop(third);
    }

    void longFolderPathsAreStillGuarded()
    {
        TestEnvironment env;
        QString folder = env.chats();
        for (int i = 0; i < 4; ++i)
            folder += QLatin1Char('/') + QString(100, QChar(u'ж'));
        QVERIFY(QDir().mkpath(folder));
        const QString chat = folder + QStringLiteral("/team.QLIMChat");
        QFile(chat).open(QIODevice::WriteOnly);

        Copy first = start(env, QStringLiteral("first"), {chat});
        QTRY_VERIFY_WITH_TIMEOUT(
            TestEnvironment::readAll(first.log).startsWith(QStringLiteral("window")), 20000);
        Copy second = start(env, QStringLiteral("second"), {chat});
        QTRY_VERIFY_WITH_TIMEOUT(TestEnvironment::readAll(second.log).startsWith(warning(folder)),
                                 20000);
        stop(second);
        stop(first);
    }

    void consoleOptionsNeedNoWindow()
    {
        QProcess help;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("none-such"));
        help.setProcessEnvironment(environment);
        help.start(TestEnvironment::executable(), {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished());
        QCOMPARE(help.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(help.readAllStandardOutput()),
                 QStringLiteral("Использование:\n\nquillet-im[.EXE] [[/H] FileName]\n\n"
                                "FileName - файл чата.\n/H - скрыть окно чата при запуске.\n"));
        help.start(TestEnvironment::executable(), {QStringLiteral("--version")});
        QVERIFY(help.waitForFinished());
        QVERIFY(help.readAllStandardOutput().startsWith("Quillet IM 1."));
    }
};

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
