#include "testenv.h"
#include "tooltest.h"

#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTest>

// Installs the build into a temporary prefix, the way `cmake --install` does for a
// source install, and checks what the desktop makes of it: validators, the MIME
// database, xdg-mime's file type and default application, icons, manual page.
class TestInstall : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    QString m_prefix;

    QString installed(const QString &relative) const
    {
        return m_prefix + QLatin1Char('/') + relative;
    }

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
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), installed(QStringLiteral("share")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), installed(QStringLiteral("share")));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return environment;
    }

    QMap<QString, QString> desktopEntry() const
    {
        QMap<QString, QString> keys;
        const QStringList lines = TestEnvironment::readAll(installed(desktopEntryPath))
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals > 0 && !line.startsWith(QLatin1Char('#')))
                keys.insert(line.left(equals), line.mid(equals + 1));
        }
        return keys;
    }

private slots:
    void initTestCase()
    {
        m_prefix = m_env.path(QStringLiteral("prefix"));
        const ToolRun install =
            runTool(QStringLiteral(QUILLET_CMAKE_COMMAND),
                    {QStringLiteral("--install"), QStringLiteral(QUILLET_BINARY_DIR),
                     QStringLiteral("--prefix"), m_prefix});
        QVERIFY2(install.ok(), qPrintable(install.report()));
        // Done by the install already; repeated as a user would after copying files.
        const ToolRun mime = runTool(QStringLiteral("update-mime-database"),
                                     {installed(QStringLiteral("share/mime"))});
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
            QTest::newRow(qPrintable(QStringLiteral("icon ") + size)) << iconPath(size) << false;
        // Refreshed by the install, so chat files open with the program at once.
        QTest::newRow("MIME cache") << QStringLiteral("share/mime/mime.cache") << false;
        QTest::newRow("handler cache")
            << QStringLiteral("share/applications/mimeinfo.cache") << false;
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
        const ToolRun type = runTool(QStringLiteral("file"), {QStringLiteral("-b"), file});
        QVERIFY2(type.out.startsWith(QStringLiteral("PNG image data, %1 x %1,").arg(size)),
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
        const QString own = TestEnvironment::sourceDir() +
                            QStringLiteral("/src/gui/resources/png/A_MAIN_%1.png").arg(size);
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
        const ToolRun check =
            runTool(QStringLiteral("desktop-file-validate"), {installed(desktopEntryPath)});
        QVERIFY2(check.ok(), qPrintable(check.report()));
        // Warnings and hints do not fail the tool; they fail here.
        QVERIFY2(check.out.trimmed().isEmpty() && check.err.trimmed().isEmpty(),
                 qPrintable(check.report()));
    }

    void desktopEntryOpensChatFiles_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("type") << QStringLiteral("Type") << QStringLiteral("Application");
        QTest::newRow("command") << QStringLiteral("Exec") << QStringLiteral("quillet-im %f");
        QTest::newRow("icon") << QStringLiteral("Icon") << QStringLiteral("quillet-im");
        QTest::newRow("file type") << QStringLiteral("MimeType") << chatMimeType + u';';
        QTest::newRow("categories")
            << QStringLiteral("Categories") << QStringLiteral("Network;InstantMessaging;Chat;");
        QTest::newRow("terminal") << QStringLiteral("Terminal") << QStringLiteral("false");
        // Qt names its windows after the executable (X11 class, Wayland app id).
        QTest::newRow("window class")
            << QStringLiteral("StartupWMClass") << QStringLiteral("quillet-im");
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
        QTest::newRow("name") << QStringLiteral("Name[ru]");
        QTest::newRow("generic name") << QStringLiteral("GenericName[ru]");
        QTest::newRow("comment") << QStringLiteral("Comment[ru]");
    }
    void desktopEntrySpeaksRussian()
    {
        QFETCH(QString, key);
        const QString text = desktopEntry().value(key);
        QVERIFY2(!text.isEmpty(), qPrintable(key));
        if (key != QLatin1String("Name[ru]")) // the name is the brand, the same in Russian
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("[А-Яа-яЁё]"))),
                     qPrintable(text));
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
        QTest::newRow("empty") << QStringLiteral("Беседа.QLIMChat") << empty << true;
        QTest::newRow("byte-order mark") << QStringLiteral("Беседа.QLIMChat") << bom << true;
        QTest::newRow("lower case") << QStringLiteral("chat.qlimchat") << empty << true;
        QTest::newRow("upper case") << QStringLiteral("CHAT.QLIMCHAT") << empty << true;
        QTest::newRow("blanks in name") << QStringLiteral("Чат с семьёй.QLIMChat") << empty << true;
        QTest::newRow("text file") << QStringLiteral("chat.QLIMChat.txt") << empty << false;
        QTest::newRow("message file") << QStringLiteral("message.QLIM") << bom << false;
        QTest::newRow("extension as name") << QStringLiteral("QLIMChat") << empty << false;
    }
    void chatFilesGetTheChatType()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, isChat);
        const QString file = m_env.touch(QStringLiteral("chats/") + name, content);
        const ToolRun query = runTool(QStringLiteral("xdg-mime"),
                                      {QStringLiteral("query"), QStringLiteral("filetype"), file},
                                      desktopEnvironment());
        QVERIFY2(query.ok(), qPrintable(query.report()));
        QCOMPARE(query.out.trimmed() == chatMimeType, isChat);
    }

    void chatTypeOpensWithTheProgram()
    {
        const ToolRun query =
            runTool(QStringLiteral("xdg-mime"),
                    {QStringLiteral("query"), QStringLiteral("default"), chatMimeType},
                    desktopEnvironment());
        QVERIFY2(query.ok(), qPrintable(query.report()));
        QCOMPARE(query.out.trimmed(), QStringLiteral("quillet-im.desktop"));
    }

    // GLib-based file managers (Files, Nemo, Caja, Thunar) resolve types through GIO.
    void gioKnowsChatFiles()
    {
        const QString file =
            m_env.touch(QStringLiteral("chats/gio.QLIMChat"), QByteArray("\xFF\xFE", 2));
        const ToolRun query =
            runTool(QStringLiteral("gio"),
                    {QStringLiteral("info"), QStringLiteral("--attributes"),
                     QStringLiteral("standard::content-type,standard::icon"), file},
                    desktopEnvironment());
        QVERIFY2(query.ok(), qPrintable(query.report()));
        QVERIFY2(query.out.contains(QStringLiteral("standard::content-type: ") + chatMimeType),
                 qPrintable(query.report()));
        // Chat files carry the program's icon, as the chat selection window promises.
        QVERIFY2(query.out.contains(QStringLiteral("standard::icon: quillet-im,")),
                 qPrintable(query.report()));
    }

    // Qt-based file managers (Dolphin) read the same MIME database through QMimeDatabase,
    // which also gives the type's comment and icon.
    void qtKnowsChatFiles()
    {
        qputenv("XDG_DATA_DIRS", installed(QStringLiteral("share")).toUtf8() + ":/usr/share");
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        const QString file = m_env.touch(QStringLiteral("chats/qt.QLIMChat"));
        const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
        QCOMPARE(type.name(), chatMimeType);
        QCOMPARE(type.comment(), QStringLiteral("Файл чата"));
        QCOMPARE(type.iconName(), QStringLiteral("quillet-im"));
    }

    void metainfoValidates()
    {
        const ToolRun check = runTool(QStringLiteral("appstreamcli"),
                                      {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                       QStringLiteral("--pedantic"), installed(metainfoPath)},
                                      desktopEnvironment());
        QVERIFY2(check.ok(), qPrintable(check.report()));
        QVERIFY2(!check.out.contains(QRegularExpression(QStringLiteral("^[EWIP]: "),
                                                        QRegularExpression::MultilineOption)),
                 qPrintable(check.report()));
    }

    void metainfoNamesWhatIsInstalled()
    {
        const QString metainfo = TestEnvironment::readAll(installed(metainfoPath));
        QVERIFY(metainfo.contains(
            QStringLiteral("<launchable type=\"desktop-id\">quillet-im.desktop</launchable>")));
        QVERIFY(metainfo.contains(QStringLiteral("<binary>quillet-im</binary>")));
        QVERIFY(metainfo.contains(QStringLiteral("<mediatype>%1</mediatype>").arg(chatMimeType)));
        QVERIFY(metainfo.contains(
            QStringLiteral("<release version=\"%1\"").arg(QStringLiteral(QUILLET_VERSION))));
    }

    void manualPageRendersCleanly_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("expected");
        const QStringList common{QStringLiteral("[[/H] "),
                                 QStringLiteral("--help"),
                                 QStringLiteral("--version"),
                                 QStringLiteral("/?"),
                                 QStringLiteral(".QLIMChat"),
                                 QStringLiteral("Quillet IM.conf"),
                                 QStringLiteral("XDG_RUNTIME_DIR"),
                                 QStringLiteral("user.DOSATTRIB"),
                                 QStringLiteral("Sync Extended Attributes"),
                                 QStringLiteral("Quillet IM " QUILLET_VERSION)};
        QTest::newRow("English") << manPagePath
                                 << common + QStringList{QStringLiteral("chat-file]"),
                                                         QStringLiteral("SYNOPSIS")};
        QTest::newRow("Russian") << russianManPagePath
                                 << common + QStringList{QStringLiteral("файл-чата]"),
                                                         QStringLiteral("СИНТАКСИС")};
    }
    void manualPageRendersCleanly()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, expected);
        QProcessEnvironment environment = desktopEnvironment();
        environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("100"));
        const ToolRun rendered = runTool(
            QStringLiteral("man"),
            {QStringLiteral("--warnings"), QStringLiteral("--no-hyphenation"), QStringLiteral("-E"),
             QStringLiteral("UTF-8"), QStringLiteral("-l"), installed(page)},
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
        QTest::newRow("version") << QStringLiteral("--version")
                                 << QStringLiteral("Quillet IM " QUILLET_VERSION "\n");
        QTest::newRow("help") << QStringLiteral("--help") << QStringLiteral("[[/H] FileName]");
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
