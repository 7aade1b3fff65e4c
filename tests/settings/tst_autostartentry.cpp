#include "settings/autostartentry.h"
#include "testsupport.h"

#include "core/support.h"

#include <QStandardPaths>

using namespace quillet;
using namespace Qt::StringLiterals;

// The autostart entry must start exactly the executable with /H and the chat
// file, whatever characters the paths hold: GLib reads the entry as the desktop
// does (gio launch), and starts a script in place of the program that notes
// its folder and its arguments.
class TestAutostartEntry : public QObject
{
    Q_OBJECT

private slots:
    void desktopStartsWhatWasWritten_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("chat");
        QTest::newRow("escaped in quotes")
            << u"b \"q\" `id` $HOME \\n"_s
            << u"/srv/\"q\"/`id` $x\\y\\\\\" 100%/%f %U %%.QLIMChat"_s;
        QTest::newRow("reserved") << u"a&b|c;d"_s << u"/srv/it's/a<b>c~d*e?f#g(h).QLIMChat"_s;
        QTest::newRow("blanks, tab, line break") << u" a\tb "_s << u" /srv/Чат\tb/c\nd.QLIMChat "_s;
    }

    void desktopStartsWhatWasWritten()
    {
        QFETCH(QString, folder);
        QFETCH(QString, chat);
        const QString gio = QStandardPaths::findExecutable(u"gio"_s);
        const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
        if (gio.isEmpty() || validator.isEmpty())
            QSKIP("gio and desktop-file-validate are needed (scripts/install-deps.sh)");
        TestEnvironment env;
        const QString bin = env.path(folder);
        const QString program = env.touch(folder + u"/quillet-im"_s,
                                          "#!/bin/sh\nprintf '%s\\0' \"$(pwd)\" \"$0\" \"$@\" "
                                          ">\"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        // Replaced whole; a backslash is an ordinary character of a name here.
        const QString path = env.touch(u"config/autostart/a\\b.desktop"_s, QByteArray(9999, 'x'));
        QVERIFY(writeAutostartEntry(
                    path, {u"Беседа"_s, program, {u"/H"_s}, chat, bin, autostartIconName()})
                    .ok());
        QCOMPARE(QDir(parentFolder(path)).entryList(QDir::Files | QDir::Hidden),
                 QStringList{fileNameOf(path)});
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        for (const QStringList &command :
             {QStringList{validator, path}, QStringList{gio, u"launch"_s, path}}) {
            tool.start(command.first(), command.mid(1));
            QVERIFY(tool.waitForFinished());
            QVERIFY2(tool.exitCode() == 0 && tool.readAll().isEmpty(), qPrintable(command.first()));
        }
        QTRY_VERIFY(QFileInfo::exists(program + u".out"_s));
        QCOMPARE(TestEnvironment::readAll(program + u".out"_s).split(QChar(0)),
                 (QStringList{bin, program, u"/H"_s, chat, QString()}));
    }

    // Characters a Desktop Entry cannot carry, and a file where the autostart
    // folder belongs: refused, and nothing is written.
    void refused()
    {
        TestEnvironment env;
        const QString path = env.path(u"autostart/x.desktop"_s);
        const AutostartEntry escape{u"x"_s, u"/bin/q"_s, {}, u"/s/a\x1b[31m.QLIMChat"_s, {}, {}};
        QVERIFY(!writeAutostartEntry(path, escape).ok());
        QVERIFY(!QFileInfo::exists(path));
        env.touch(u"autostart"_s, "not a folder");
        const AutostartEntry plain{u"x"_s, u"/bin/q"_s, {}, u"/s/a.QLIMChat"_s, {}, {}};
        QCOMPARE(writeAutostartEntry(path, plain).error().number, ENOTDIR);
        QCOMPARE(TestEnvironment::readAll(env.path(u"autostart"_s)), u"not a folder"_s);
    }
};

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "tst_autostartentry.moc"
