#include "gui/shell.h"
#include "testsupport.h"

#include <QApplication>
#include <QTest>
#include <QUrl>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Shell::resetOpener(); }

    void opensAnExistingFolderAsLocalUrl()
    {
        TestEnvironment env;
        const QString folder = env.path(u"Logs/{GUID} с пробелом"_s);
        QDir().mkpath(folder);
        QList<QUrl> opened;
        Shell::setOpener([&](const QUrl &url) {
            opened.append(url);
            return true;
        });
        QVERIFY(Shell::openFolder(folder).ok());
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened[0].isLocalFile());
        QCOMPARE(opened[0].toLocalFile(), folder);
    }

    // A path that is not an existing folder never reaches the desktop.
    void refusesWhatIsNotAFolder_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("number");
        QTest::newRow("missing") << "missing" << int(ENOENT);
        QTest::newRow("a file") << "file" << int(ENOTDIR);
        QTest::newRow("empty path") << "" << int(ErrorCode::EmptyPath);
    }
    void refusesWhatIsNotAFolder()
    {
        QFETCH(QString, relative);
        QFETCH(int, number);
        TestEnvironment env;
        env.touch(u"file"_s);
        int calls = 0;
        Shell::setOpener([&](const QUrl &) { return ++calls > 0; });
        const Status status =
            Shell::openFolder(relative.isEmpty() ? QString() : env.path(relative));
        QVERIFY(!status.ok());
        QCOMPARE(status.error().number, number);
        QVERIFY(!status.error().description.isEmpty());
        QCOMPARE(calls, 0);
    }

    void reportsTheDesktopsRefusal()
    {
        TestEnvironment env;
        Shell::setOpener([](const QUrl &) { return false; });
        const Status status = Shell::openFolder(env.root());
        QVERIFY(!status.ok());
        QCOMPARE(status.error().number, int(ErrorCode::ShellOpenFailed));
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
