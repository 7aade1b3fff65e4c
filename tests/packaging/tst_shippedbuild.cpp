#include "platform/fileattributes.h"
#include "exchange/messagefile.h"
#include "core/support.h"
#include "testenv.h"
#include "tooltest.h"

#include <QTest>

using namespace quillet;

namespace {

// The variables through which tests drive the program.
const QStringList testVariables{
    QStringLiteral("QUILLET_BOX_LOG"), QStringLiteral("QUILLET_BOX_ANSWERS"),
    QStringLiteral("QUILLET_TEST_INPUT"), QStringLiteral("QUILLET_SHOWN_MARKS")};

} // namespace

// Builds the program as people get it (the tests switched off), installs it, and
// checks that it does not take orders from the environment the way the test build
// does: no box is answered unseen, no input file is typed, no marks are moved.
class TestShippedBuild : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    QString m_program;

private slots:
    void initTestCase()
    {
        const QString build = QStringLiteral(QUILLET_BINARY_DIR "/shipped-build");
        QStringList configure{QStringLiteral("-S"),
                              TestEnvironment::sourceDir(),
                              QStringLiteral("-B"),
                              build,
                              QStringLiteral("-G"),
                              QStringLiteral(QUILLET_CMAKE_GENERATOR),
                              QStringLiteral("-DCMAKE_BUILD_TYPE=Release"),
                              QStringLiteral("-DCMAKE_CXX_COMPILER=" QUILLET_CXX_COMPILER),
                              QStringLiteral("-DQUILLET_WERROR=" QUILLET_WERROR_SETTING),
                              QStringLiteral("-DQUILLET_TESTS=OFF"),
                              QStringLiteral("-DQUILLET_BENCH=OFF")};
        if (!QStringLiteral(QUILLET_CXX_LAUNCHER).isEmpty())
            configure << QStringLiteral("-DCMAKE_CXX_COMPILER_LAUNCHER=" QUILLET_CXX_LAUNCHER);
        const ToolRun configured = runTool(QStringLiteral(QUILLET_CMAKE_COMMAND), configure);
        QVERIFY2(configured.ok(), qPrintable(configured.report()));
        const ToolRun built =
            runTool(QStringLiteral(QUILLET_CMAKE_COMMAND), {QStringLiteral("--build"), build});
        QVERIFY2(built.ok(), qPrintable(built.report()));
        const QString prefix = m_env.path(QStringLiteral("prefix"));
        const ToolRun installed =
            runTool(QStringLiteral(QUILLET_CMAKE_COMMAND),
                    {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix});
        QVERIFY2(installed.ok(), qPrintable(installed.report()));
        m_program = prefix + QLatin1Char('/') + executablePath;
    }

    // A variable the program reads is named in it; the test build names them all.
    void noVariableIsRead()
    {
        QFile shipped(m_program);
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QByteArray shippedBytes = shipped.readAll();
        QFile testBuild(TestEnvironment::executable());
        QVERIFY(testBuild.open(QIODevice::ReadOnly));
        const QByteArray testBytes = testBuild.readAll();
        for (const QString &variable : testVariables) {
            QVERIFY2(testBytes.contains(variable.toLatin1()), qPrintable(variable));
            QVERIFY2(!shippedBytes.contains(variable.toLatin1()), qPrintable(variable));
        }
    }

    // With every variable set, the installed program shows a waiting message and
    // marks it as shown in its own extended attribute, while the input file stays
    // untouched and nothing is written to the box log.
    void variablesChangeNothing()
    {
        const QString chat = m_env.touch(QStringLiteral("chats/team.QLIMChat"));
        const Result<QString> message = writeMessageFile(m_env.chats(), QStringLiteral("guest"),
                                                         QStringLiteral("hello"), newGuid());
        QVERIFY(message.ok());
        const QString input = m_env.touch(QStringLiteral("input.txt"), "typed\n:exit\n");
        const QString boxLog = m_env.path(QStringLiteral("boxes.log"));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUILLET_BOX_LOG"), boxLog);
        environment.insert(QStringLiteral("QUILLET_BOX_ANSWERS"), QStringLiteral("2"));
        environment.insert(QStringLiteral("QUILLET_TEST_INPUT"), input);
        environment.insert(QStringLiteral("QUILLET_SHOWN_MARKS"), QStringLiteral("ledger"));
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(m_program, {chat});
        QVERIFY(program.waitForStarted());
        // Shown: the first tick of the chat has run, after the input file was looked at.
        QTRY_COMPARE_WITH_TIMEOUT(dosAttributes(message.value()).value(),
                                  DosAttribute::Hidden, 20000);
        QCOMPARE(program.state(), QProcess::Running);
        QCOMPARE(TestEnvironment::readAll(input), QStringLiteral("typed\n:exit\n"));
        QVERIFY(!QFileInfo::exists(boxLog));
        QCOMPARE(QDir(m_env.chats()).entryList({QStringLiteral("*.QLIM")}, QDir::Files).size(), 1);
        program.kill();
        program.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestShippedBuild)
#include "tst_shippedbuild.moc"
