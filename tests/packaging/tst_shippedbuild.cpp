#include "core/support.h"
#include "exchange/messagefile.h"
#include "platform/fileattributes.h"
#include "testsupport.h"
#include "tooltest.h"

#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// The variables through which tests drive the program.
const QStringList testVariables{u"QUILLET_BOX_LOG"_s, u"QUILLET_BOX_ANSWERS"_s,
                                u"QUILLET_TEST_INPUT"_s, u"QUILLET_SHOWN_MARKS"_s};

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
        QStringList configure{u"-S"_s,
                              TestEnvironment::sourceDir(),
                              u"-B"_s,
                              build,
                              u"-G"_s,
                              QStringLiteral(QUILLET_CMAKE_GENERATOR),
                              u"-DCMAKE_BUILD_TYPE=Release"_s,
                              QStringLiteral("-DCMAKE_CXX_COMPILER=" QUILLET_CXX_COMPILER),
                              QStringLiteral("-DQUILLET_WERROR=" QUILLET_WERROR_SETTING),
                              u"-DQUILLET_TESTS=OFF"_s,
                              u"-DQUILLET_BENCH=OFF"_s};
        if (!QStringLiteral(QUILLET_CXX_LAUNCHER).isEmpty())
            configure << QStringLiteral("-DCMAKE_CXX_COMPILER_LAUNCHER=" QUILLET_CXX_LAUNCHER);
        const ToolRun configured = runTool(QStringLiteral(QUILLET_CMAKE_COMMAND), configure);
        QVERIFY2(configured.ok(), qPrintable(configured.report()));
        const ToolRun built = runTool(QStringLiteral(QUILLET_CMAKE_COMMAND), {u"--build"_s, build});
        QVERIFY2(built.ok(), qPrintable(built.report()));
        const QString prefix = m_env.path(u"prefix"_s);
        const ToolRun installed = runTool(QStringLiteral(QUILLET_CMAKE_COMMAND),
                                          {u"--install"_s, build, u"--prefix"_s, prefix});
        QVERIFY2(installed.ok(), qPrintable(installed.report()));
        m_program = prefix + '/'_L1 + ::executablePath;
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
        const QString chat = m_env.touch(u"chats/team.QLIMChat"_s);
        const Result<QString> message =
            writeMessageFile(m_env.chats(), u"guest"_s, u"hello"_s, newGuid());
        QVERIFY(message.ok());
        const QString input = m_env.touch(u"input.txt"_s, "typed\n:exit\n");
        const QString boxLog = m_env.path(u"boxes.log"_s);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QUILLET_BOX_LOG"_s, boxLog);
        environment.insert(u"QUILLET_BOX_ANSWERS"_s, u"2"_s);
        environment.insert(u"QUILLET_TEST_INPUT"_s, input);
        environment.insert(u"QUILLET_SHOWN_MARKS"_s, u"ledger"_s);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(m_program, {chat});
        QVERIFY(program.waitForStarted());
        // Shown: the first tick of the chat has run, after the input file was looked at.
        QTRY_COMPARE_WITH_TIMEOUT(dosAttributes(message.value()).value(), DosAttribute::Hidden,
                                  20000);
        QCOMPARE(program.state(), QProcess::Running);
        QCOMPARE(TestEnvironment::readAll(input), u"typed\n:exit\n"_s);
        QVERIFY(!QFileInfo::exists(boxLog));
        QCOMPARE(QDir(m_env.chats()).entryList({u"*.QLIM"_s}, QDir::Files).size(), 1);
        program.kill();
        program.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestShippedBuild)
#include "tst_shippedbuild.moc"
