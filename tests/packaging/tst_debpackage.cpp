#include "testenv.h"
#include "tooltest.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QTest>

// Builds the Debian package with CPack into a temporary folder and checks its control
// fields, its computed dependencies and its contents. Nothing is installed.
class TestDebPackage : public QObject
{
    Q_OBJECT

private:
    TestEnvironment m_env;
    QString m_package;
    QString m_unpacked;
    QStringList m_listing;

    QString field(const QString &name) const
    {
        return runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_package, name})
            .out.trimmed();
    }

    // "-rwxr-xr-x root/root 142816 2026-12-06 18:39 ./usr/bin/quillet-im" for a path.
    QString listingOf(const QString &path) const
    {
        for (const QString &line : m_listing) {
            if (line.endsWith(QStringLiteral(" ./") + path))
                return line;
        }
        return {};
    }

    // Package that ships a library file, as dpkg knows it (merged /usr or not).
    static QString owningPackage(const QString &library)
    {
        QStringList candidates{library, QFileInfo(library).canonicalFilePath()};
        if (library.startsWith(QLatin1String("/usr/")))
            candidates << library.mid(4);
        else
            candidates << QStringLiteral("/usr") + library;
        for (const QString &candidate : candidates) {
            const ToolRun search =
                runTool(QStringLiteral("dpkg"), {QStringLiteral("-S"), candidate});
            if (search.ok())
                return search.out.section(QLatin1Char(':'), 0, 0).trimmed();
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        const QString output = m_env.path(QStringLiteral("package"));
        const ToolRun build =
            runTool(QStringLiteral(QUILLET_CPACK_COMMAND),
                    {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), output},
                    QProcessEnvironment::systemEnvironment(), QStringLiteral(QUILLET_BINARY_DIR));
        QVERIFY2(build.ok(), qPrintable(build.report()));
        const QStringList packages = QDir(output).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(packages.size(), 1);
        m_package = output + QLatin1Char('/') + packages.first();

        const ToolRun listing =
            runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_package});
        QVERIFY2(listing.ok(), qPrintable(listing.report()));
        m_listing = listing.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);

        m_unpacked = m_env.path(QStringLiteral("unpacked"));
        const ToolRun unpack =
            runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_package, m_unpacked});
        QVERIFY2(unpack.ok(), qPrintable(unpack.report()));
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        const QString architecture =
            runTool(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).out.trimmed();
        QTest::newRow("package") << QStringLiteral("Package") << QStringLiteral("quillet-im");
        QTest::newRow("version") << QStringLiteral("Version")
                                 << QStringLiteral(QUILLET_VERSION "-1");
        QTest::newRow("architecture") << QStringLiteral("Architecture") << architecture;
        QTest::newRow("section") << QStringLiteral("Section") << QStringLiteral("net");
        QTest::newRow("priority") << QStringLiteral("Priority") << QStringLiteral("optional");
    }
    void controlFields()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QCOMPARE(field(name), value);
    }

    void describedAndMaintained()
    {
        QVERIFY(!field(QStringLiteral("Maintainer")).isEmpty());
        const QString description = field(QStringLiteral("Description"));
        QVERIFY2(description.contains(QStringLiteral(".QLIMChat")), qPrintable(description));
    }

    // Depends comes from dpkg-shlibdeps: every library the program is linked with must be
    // there, with the package that ships it and a lowest version.
    void dependsCoverEveryLinkedLibrary()
    {
        const QString depends = field(QStringLiteral("Depends"));
        for (const char *qt : {"libqt6core6", "libqt6widgets6"})
            QVERIFY2(depends.contains(QRegularExpression(QLatin1String(qt) +
                                                         QStringLiteral(R"( \(>= 6\.[0-9.]+\))"))),
                     qPrintable(depends));
        // Direct needs only: what those libraries need in turn is their packages' business.
        const QString program = m_unpacked + QStringLiteral("/usr/bin/quillet-im");
        const ToolRun dynamic = runTool(QStringLiteral("readelf"), {QStringLiteral("-d"), program});
        const ToolRun linked = runTool(QStringLiteral("ldd"), {program});
        QVERIFY2(dynamic.ok() && linked.ok(), qPrintable(dynamic.report() + linked.report()));
        const QRegularExpression needed(
            QStringLiteral(R"(\(NEEDED\)\s+Shared library: \[(\S+)\])"));
        int libraries = 0;
        for (auto match = needed.globalMatch(dynamic.out); match.hasNext();) {
            const QString soname = match.next().captured(1);
            const QRegularExpression resolved(QRegularExpression::escape(soname) +
                                              QStringLiteral(R"( => (/\S+) \()"));
            const QString library = resolved.match(linked.out).captured(1);
            QVERIFY2(!library.isEmpty(), qPrintable(soname + QStringLiteral(" not found")));
            const QString package = owningPackage(library);
            QVERIFY2(!package.isEmpty(), qPrintable(library));
            QVERIFY2(depends.contains(QRegularExpression(QStringLiteral("(^|, )") +
                                                         QRegularExpression::escape(package) +
                                                         QStringLiteral("( |,|$)"))),
                     qPrintable(library + QStringLiteral(" from ") + package +
                                QStringLiteral(" missing in: ") + depends));
            ++libraries;
        }
        QVERIFY2(libraries >= 3, qPrintable(linked.out));
        // Loaded at run time, invisible to the linker: Qt's Russian texts and
        // the Wayland platform plugin.
        for (const char *loaded : {"qt6-translations-l10n", "qt6-wayland"})
            QVERIFY2(
                depends.contains(QRegularExpression(
                    QStringLiteral("(^|, )") + QLatin1String(loaded) + QStringLiteral("( |,|$)"))),
                qPrintable(depends));
    }

    void contents_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mode");
        const QString file = QStringLiteral("-rw-r--r--");
        QTest::newRow("program") << QStringLiteral("usr/bin/quillet-im")
                                 << QStringLiteral("-rwxr-xr-x");
        QTest::newRow("desktop entry") << QStringLiteral("usr/") + desktopEntryPath << file;
        QTest::newRow("chat file type") << QStringLiteral("usr/") + mimePackagePath << file;
        QTest::newRow("metainfo") << QStringLiteral("usr/") + metainfoPath << file;
        QTest::newRow("manual page") << QStringLiteral("usr/") + manPagePath << file;
        QTest::newRow("Russian manual page") << QStringLiteral("usr/") + russianManPagePath << file;
        QTest::newRow("scalable icon") << QStringLiteral("usr/") + scalableIconPath << file;
        for (const QString &size : installedIconSizes())
            QTest::newRow(qPrintable(QStringLiteral("icon ") + size))
                << QStringLiteral("usr/") + iconPath(size) << file;
        QTest::newRow("copyright") << QStringLiteral("usr/share/doc/quillet-im/copyright") << file;
        QTest::newRow("changelog")
            << QStringLiteral("usr/share/doc/quillet-im/changelog.Debian.gz") << file;
        QTest::newRow("folder") << QStringLiteral("usr/share/icons/hicolor/48x48/apps/")
                                << QStringLiteral("drwxr-xr-x");
    }
    void contents()
    {
        QFETCH(QString, path);
        QFETCH(QString, mode);
        const QString line = listingOf(path);
        QVERIFY2(!line.isEmpty(), qPrintable(path));
        QVERIFY2(line.startsWith(mode + QStringLiteral(" root/root ")), qPrintable(line));
    }

    // Everything below /usr, owned by root, and none of the caches that dpkg triggers
    // rebuild on the target: a package shipping them would clash with the system's own.
    void onlyOwnFilesBelowUsr()
    {
        QVERIFY(!m_listing.isEmpty());
        const QRegularExpression generated(
            QStringLiteral(R"((mime\.cache|mimeinfo\.cache|icon-theme\.cache|/mime/globs2?)$)"));
        for (const QString &line : m_listing) {
            const QString path = line.section(QLatin1Char(' '), -1);
            QVERIFY2(path == QLatin1String("./") || path.startsWith(QLatin1String("./usr/")),
                     qPrintable(line));
            QVERIFY2(line.contains(QStringLiteral(" root/root ")), qPrintable(line));
            QVERIFY2(!generated.match(path).hasMatch(), qPrintable(line));
        }
    }

    // Debian's own package checker, as the archive would run it. The one tag left out
    // asks for an "intent to package" bug to close, which only uploads to Debian have.
    void lintianFindsNothing()
    {
        const ToolRun check = runTool(
            QStringLiteral("lintian"),
            {QStringLiteral("--suppress-tags"), QStringLiteral("initial-upload-closes-no-bugs"),
             QStringLiteral("--fail-on"), QStringLiteral("error,warning"), m_package});
        QVERIFY2(check.ok(), qPrintable(check.report()));
        QVERIFY2(!check.out.contains(QRegularExpression(QStringLiteral("^[EW]: "),
                                                        QRegularExpression::MultilineOption)),
                 qPrintable(check.report()));
    }

    void programIsStripped()
    {
        const ToolRun type =
            runTool(QStringLiteral("file"),
                    {QStringLiteral("-b"), m_unpacked + QStringLiteral("/usr/bin/quillet-im")});
        QVERIFY2(type.out.contains(QStringLiteral(", stripped")), qPrintable(type.report()));
    }

    // The caches are the business of the triggers of shared-mime-info, desktop-file-utils
    // and the icon theme; the package brings no maintainer scripts of its own.
    void noMaintainerScripts()
    {
        const QString control = m_env.path(QStringLiteral("control"));
        const ToolRun extract =
            runTool(QStringLiteral("dpkg-deb"), {QStringLiteral("-e"), m_package, control});
        QVERIFY2(extract.ok(), qPrintable(extract.report()));
        const QStringList entries = QDir(control).entryList(QDir::Files, QDir::Name);
        QCOMPARE(entries, QStringList({QStringLiteral("control"), QStringLiteral("md5sums")}));
    }
};

QTEST_GUILESS_MAIN(TestDebPackage)
#include "tst_debpackage.moc"
