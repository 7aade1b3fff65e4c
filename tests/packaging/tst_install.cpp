#include "testsupport.h"
#include "tooltest.h"

#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// Installs the build into a temporary prefix, the way `cmake --install` does for a
// source install, and checks what the desktop makes of it: validators, the MIME
// database, xdg-mime's file type and default application, icons, manual page.
class TestInstall : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    QString m_prefix;

    QString installed(const QString &relative) const { return m_prefix + '/'_L1 + relative; }

    // The desktop of a fresh user who sees only the temporary prefix: no desktop
    // session, so xdg-mime takes its generic, freedesktop.org path.
    QProcessEnvironment desktopEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
              "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY",
              "DBUS_SESSION_BUS_ADDRESS"})
            environment.remove(QLatin1String(name));
        environment.insert(u"XDG_DATA_DIRS"_s, installed(u"share"_s));
        environment.insert(u"XDG_DATA_HOME"_s, installed(u"share"_s));
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        return environment;
    }

    QMap<QString, QString> desktopEntry() const
    {
        QMap<QString, QString> keys;
        const QStringList lines = TestEnvironment::readAll(installed(desktopEntryPath))
                                      .split('\n'_L1, Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            const qsizetype equals = line.indexOf('='_L1);
            if (equals > 0 && !line.startsWith('#'_L1))
                keys.insert(line.left(equals), line.mid(equals + 1));
        }
        return keys;
    }

private slots:
    void initTestCase()
    {
        m_prefix = m_env.path(u"prefix"_s);
        const ToolRun install =
            runTool(QStringLiteral(QUILLET_CMAKE_COMMAND),
                    {u"--install"_s, QStringLiteral(QUILLET_BINARY_DIR), u"--prefix"_s, m_prefix});
        QVERIFY2(install.ok(), qPrintable(install.report()));
        // Done by the install already; repeated as a user would after copying files.
        const ToolRun mime = runTool(u"update-mime-database"_s, {installed(u"share/mime"_s)});
        QVERIFY2(mime.ok(), qPrintable(mime.report()));
    }

    void everyFileIsInstalled_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("executable");
        QTest::newRow("program") << executablePath << true;
        QTest::newRow("desktop entry") << desktopEntryPath << false;
        QTest::newRow("chat file type") << mimePackagePath << false;
        QTest::newRow("metainfo") << metainfoPath << false;
        QTest::newRow("manual page") << manPagePath << false;
        QTest::newRow("Russian manual page") << russianManPagePath << false;
        QTest::newRow("scalable icon") << scalableIconPath << false;
        for (const QString &size : installedIconSizes())
            QTest::newRow(qPrintable(u"icon "_s + size)) << iconPath(size) << false;
        // Refreshed by the install, so chat files open with the program at once.
        QTest::newRow("MIME cache") << u"share/mime/mime.cache"_s << false;
        QTest::newRow("handler cache") << u"share/applications/mimeinfo.cache"_s << false;
    }
    void everyFileIsInstalled()
    {
        QFETCH(QString, file);
        QFETCH(bool, executable);
        const QFileInfo info(installed(file));
        QVERIFY2(info.isFile(), qPrintable(info.filePath()));
        QVERIFY(info.size() > 0);
        QCOMPARE(info.isExecutable(), executable);
    }

    void iconsAreRenderedAtTheirSize_data()
    {
        QTest::addColumn<int>("size");
        for (const QString &size : installedIconSizes())
            QTest::newRow(qPrintable(size)) << size.toInt();
    }
    void iconsAreRenderedAtTheirSize()
    {
        QFETCH(int, size);
        const QString file = installed(iconPath(QString::number(size)));
        QImageReader reader(file);
        QCOMPARE(reader.format(), QByteArray("png"));
        QCOMPARE(reader.size(), QSize(size, size));
        const ToolRun type = runTool(u"file"_s, {u"-b"_s, file});
        QVERIFY2(type.out.startsWith(u"PNG image data, %1 x %1,"_s.arg(size)),
                 qPrintable(type.report()));
        // Something was drawn: a missing or unreadable source renders an empty picture.
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        int opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        QVERIFY2(opaque >= size * size / 8, qPrintable(QString::number(opaque)));
    }

    // The desktop shows the same picture as the program's own windows and task bar.
    void iconsMatchTheProgramIcon_data() { iconsAreRenderedAtTheirSize_data(); }
    void iconsMatchTheProgramIcon()
    {
        QFETCH(int, size);
        const QString own =
            TestEnvironment::sourceDir() + u"/src/gui/resources/png/A_MAIN_%1.png"_s.arg(size);
        const QImage expected(own);
        QVERIFY2(!expected.isNull(), qPrintable(own));
        const QImage installedIcon(installed(iconPath(QString::number(size))));
        QCOMPARE(installedIcon.convertToFormat(QImage::Format_ARGB32),
                 expected.convertToFormat(QImage::Format_ARGB32));
    }

    void scalableIconIsTheProgramArt()
    {
        QFile source(QStringLiteral(QUILLET_ICON_SVG));
        QFile copy(installed(scalableIconPath));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), source.readAll());
    }

    void desktopEntryValidates()
    {
        const ToolRun check = runTool(u"desktop-file-validate"_s, {installed(desktopEntryPath)});
        QVERIFY2(check.ok(), qPrintable(check.report()));
        // Warnings and hints do not fail the tool; they fail here.
        QVERIFY2(check.out.trimmed().isEmpty() && check.err.trimmed().isEmpty(),
                 qPrintable(check.report()));
    }

    void desktopEntryOpensChatFiles_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << u"Type"_s << u"Application"_s;
        QTest::newRow("command") << u"Exec"_s << u"quillet-im %f"_s;
        QTest::newRow("icon") << u"Icon"_s << u"quillet-im"_s;
        QTest::newRow("file type") << u"MimeType"_s << chatMimeType + u';';
        QTest::newRow("categories") << u"Categories"_s << u"Network;InstantMessaging;Chat;"_s;
        QTest::newRow("terminal") << u"Terminal"_s << u"false"_s;
        // Qt names its windows after the executable (X11 class, Wayland app id).
        QTest::newRow("window class") << u"StartupWMClass"_s << u"quillet-im"_s;
    }
    void desktopEntryOpensChatFiles()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(desktopEntry().value(key), value);
    }

    void desktopEntrySpeaksRussian_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("name") << u"Name[ru]"_s;
        QTest::newRow("generic name") << u"GenericName[ru]"_s;
        QTest::newRow("comment") << u"Comment[ru]"_s;
    }
    void desktopEntrySpeaksRussian()
    {
        QFETCH(QString, key);
        const QString text = desktopEntry().value(key);
        QVERIFY2(!text.isEmpty(), qPrintable(key));
        if (key != "Name[ru]"_L1) // the name is the brand, the same in Russian
            QVERIFY2(text.contains(QRegularExpression(u"[А-Яа-яЁё]"_s)), qPrintable(text));
    }

    // What a file manager double-click resolves: the file's type by its name, then the
    // desktop entry that handles that type.
    void chatFilesGetTheChatType_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("isChat");
        const QByteArray empty;
        const QByteArray bom("\xFF\xFE", 2);
        QTest::newRow("empty") << u"Беседа.QLIMChat"_s << empty << true;
        QTest::newRow("byte-order mark") << u"Беседа.QLIMChat"_s << bom << true;
        QTest::newRow("lower case") << u"chat.qlimchat"_s << empty << true;
        QTest::newRow("upper case") << u"CHAT.QLIMCHAT"_s << empty << true;
        QTest::newRow("blanks in name") << u"Чат с семьёй.QLIMChat"_s << empty << true;
        QTest::newRow("text file") << u"chat.QLIMChat.txt"_s << empty << false;
        QTest::newRow("message file") << u"message.QLIM"_s << bom << false;
        QTest::newRow("extension as name") << u"QLIMChat"_s << empty << false;
    }
    void chatFilesGetTheChatType()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, isChat);
        const QString file = m_env.touch(u"chats/"_s + name, content);
        const ToolRun query =
            runTool(u"xdg-mime"_s, {u"query"_s, u"filetype"_s, file}, desktopEnvironment());
        QVERIFY2(query.ok(), qPrintable(query.report()));
        QCOMPARE(query.out.trimmed() == chatMimeType, isChat);
    }

    void chatTypeOpensWithTheProgram()
    {
        const ToolRun query =
            runTool(u"xdg-mime"_s, {u"query"_s, u"default"_s, chatMimeType}, desktopEnvironment());
        QVERIFY2(query.ok(), qPrintable(query.report()));
        QCOMPARE(query.out.trimmed(), u"quillet-im.desktop"_s);
    }

    // GLib-based file managers (Files, Nemo, Caja, Thunar) resolve types through GIO.
    void gioKnowsChatFiles()
    {
        const QString file = m_env.touch(u"chats/gio.QLIMChat"_s, QByteArray("\xFF\xFE", 2));
        const ToolRun query = runTool(
            u"gio"_s,
            {u"info"_s, u"--attributes"_s, u"standard::content-type,standard::icon"_s, file},
            desktopEnvironment());
        QVERIFY2(query.ok(), qPrintable(query.report()));
        QVERIFY2(query.out.contains(u"standard::content-type: "_s + chatMimeType),
                 qPrintable(query.report()));
        // Chat files carry the program's icon, as the chat selection window promises.
        QVERIFY2(query.out.contains(u"standard::icon: quillet-im,"_s), qPrintable(query.report()));
    }

    // Qt-based file managers (Dolphin) read the same MIME database through QMimeDatabase,
    // which also gives the type's comment and icon.
    void qtKnowsChatFiles()
    {
        qputenv("XDG_DATA_DIRS", installed(u"share"_s).toUtf8() + ":/usr/share");
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        const QString file = m_env.touch(u"chats/qt.QLIMChat"_s);
        const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
        QCOMPARE(type.name(), chatMimeType);
        QCOMPARE(type.comment(), u"Файл чата"_s);
        QCOMPARE(type.iconName(), u"quillet-im"_s);
    }

    void metainfoValidates()
    {
        const ToolRun check =
            runTool(u"appstreamcli"_s,
                    {u"validate"_s, u"--no-net"_s, u"--pedantic"_s, installed(metainfoPath)},
                    desktopEnvironment());
        QVERIFY2(check.ok(), qPrintable(check.report()));
        QVERIFY2(!check.out.contains(
                     QRegularExpression(u"^[EWIP]: "_s, QRegularExpression::MultilineOption)),
                 qPrintable(check.report()));
    }

    void metainfoNamesWhatIsInstalled()
    {
        const QString metainfo = TestEnvironment::readAll(installed(metainfoPath));
        QVERIFY(metainfo.contains(
            u"<launchable type=\"desktop-id\">quillet-im.desktop</launchable>"_s));
        QVERIFY(metainfo.contains(u"<binary>quillet-im</binary>"_s));
        QVERIFY(metainfo.contains(u"<mediatype>%1</mediatype>"_s.arg(chatMimeType)));
        QVERIFY(
            metainfo.contains(u"<release version=\"%1\""_s.arg(QStringLiteral(QUILLET_VERSION))));
    }

    void manualPageRendersCleanly_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("expected");
        const QStringList common{u"[[/H] "_s,
                                 u"--help"_s,
                                 u"--version"_s,
                                 u"/?"_s,
                                 u".QLIMChat"_s,
                                 u"Quillet IM.conf"_s,
                                 u"XDG_RUNTIME_DIR"_s,
                                 u"user.DOSATTRIB"_s,
                                 u"Sync Extended Attributes"_s,
                                 QStringLiteral("Quillet IM " QUILLET_VERSION)};
        QTest::newRow("English") << manPagePath
                                 << common + QStringList{u"chat-file]"_s, u"SYNOPSIS"_s};
        QTest::newRow("Russian") << russianManPagePath
                                 << common + QStringList{u"файл-чата]"_s, u"СИНТАКСИС"_s};
    }
    void manualPageRendersCleanly()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, expected);
        QProcessEnvironment environment = desktopEnvironment();
        environment.insert(u"MANWIDTH"_s, u"100"_s);
        const ToolRun rendered = runTool(
            u"man"_s,
            {u"--warnings"_s, u"--no-hyphenation"_s, u"-E"_s, u"UTF-8"_s, u"-l"_s, installed(page)},
            environment);
        QVERIFY2(rendered.ok(), qPrintable(rendered.report()));
        QVERIFY2(rendered.err.trimmed().isEmpty(), qPrintable(rendered.err));
        const QString text = rendered.out.simplified(); // phrases may wrap
        for (const QString &phrase : expected)
            QVERIFY2(text.contains(phrase), qPrintable(phrase));
    }

    void installedProgramRuns_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");
        QTest::newRow("version") << u"--version"_s
                                 << QStringLiteral("Quillet IM " QUILLET_VERSION "\n");
        QTest::newRow("help") << u"--help"_s << u"[[/H] FileName]"_s;
    }
    void installedProgramRuns()
    {
        QFETCH(QString, option);
        QFETCH(QString, expected);
        const ToolRun run = runTool(installed(executablePath), {option});
        QVERIFY2(run.ok(), qPrintable(run.report()));
        QVERIFY2(run.out.contains(expected), qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
