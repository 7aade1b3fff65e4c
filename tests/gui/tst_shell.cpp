#include "gui/shell.h"
#include "testsupport.h"

#include <QUrl>

using namespace quillet;
using namespace Qt::StringLiterals;

// Only an existing folder reaches the desktop, as a local URL.
class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Shell::resetOpener(); }

    void opensExistingFoldersOnly_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<int>("error");
        QTest::newRow("folder") << u"Logs/{GUID} с пробелом"_s << 0;
        QTest::newRow("missing") << u"missing"_s << int(ENOENT);
        QTest::newRow("a file") << u"file"_s << int(ENOTDIR);
        QTest::newRow("empty path") << QString() << int(ErrorCode::EmptyPath);
        QTest::newRow("refused by the desktop") << u"refused"_s << int(ErrorCode::ShellOpenFailed);
    }
    void opensExistingFoldersOnly()
    {
        QFETCH(QString, relative);
        QFETCH(int, error);
        TestEnvironment env;
        env.touch(u"file"_s);
        QDir().mkpath(env.path(u"Logs/{GUID} с пробелом"_s));
        QDir().mkpath(env.path(u"refused"_s));
        QList<QUrl> opened;
        Shell::setOpener([&](const QUrl &url) {
            opened.append(url);
            return !url.path().endsWith(u"/refused"_s);
        });
        const QString folder = relative.isEmpty() ? QString() : env.path(relative);
        const Status status = Shell::openFolder(folder);
        QCOMPARE(status ? 0 : status.error().number, error);
        QCOMPARE(opened, error == 0 || error == int(ErrorCode::ShellOpenFailed)
                             ? QList<QUrl>{QUrl::fromLocalFile(folder)}
                             : QList<QUrl>());
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
