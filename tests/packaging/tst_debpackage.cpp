#include "testsupport.h"
#include "tooltest.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

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
        return runTool(u"dpkg-deb"_s, {u"-f"_s, m_package, name}).out.trimmed();
    }

    // "-rwxr-xr-x root/root 142816 2026-12-06 18:39 ./usr/bin/quillet-im" for a path.
    QString listingOf(const QString &path) const
    {
        for (const QString &line : m_listing) {
            if (line.endsWith(u" ./"_s + path))
                return line;
        }
        return {};
    }

    // Package that ships a library file, as dpkg knows it (merged /usr or not).
    static QString owningPackage(const QString &library)
    {
        QStringList candidates{library, QFileInfo(library).canonicalFilePath()};
        if (library.startsWith("/usr/"_L1))
            candidates << library.mid(4);
        else
            candidates << u"/usr"_s + library;
        for (const QString &candidate : candidates) {
            const ToolRun search = runTool(u"dpkg"_s, {u"-S"_s, candidate});
            if (search.ok())
                return search.out.section(':'_L1, 0, 0).trimmed();
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        const QString output = m_env.path(u"package"_s);
        const ToolRun build =
            runTool(QStringLiteral(QUILLET_CPACK_COMMAND), {u"-G"_s, u"DEB"_s, u"-B"_s, output},
                    QProcessEnvironment::systemEnvironment(), QStringLiteral(QUILLET_BINARY_DIR));
        QVERIFY2(build.ok(), qPrintable(build.report()));
        const QStringList packages = QDir(output).entryList({u"*.deb"_s}, QDir::Files);
        QCOMPARE(packages.size(), 1);
        m_package = output + '/'_L1 + packages.first();

        const ToolRun listing = runTool(u"dpkg-deb"_s, {u"-c"_s, m_package});
        QVERIFY2(listing.ok(), qPrintable(listing.report()));
        m_listing = listing.out.split('\n'_L1, Qt::SkipEmptyParts);

        m_unpacked = m_env.path(u"unpacked"_s);
        const ToolRun unpack = runTool(u"dpkg-deb"_s, {u"-x"_s, m_package, m_unpacked});
        QVERIFY2(unpack.ok(), qPrintable(unpack.report()));
    }

    void controlFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        const QString architecture = runTool(u"dpkg"_s, {u"--print-architecture"_s}).out.trimmed();
        QTest::newRow("package") << u"Package"_s << u"quillet-im"_s;
        QTest::newRow("version") << u"Version"_s << QStringLiteral(QUILLET_VERSION "-1");
        QTest::newRow("architecture") << u"Architecture"_s << architecture;
        QTest::newRow("section") << u"Section"_s << u"net"_s;
        QTest::newRow("priority") << u"Priority"_s << u"optional"_s;
    }
    void controlFields()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QCOMPARE(field(name), value);
    }

    void describedAndMaintained()
    {
        QVERIFY(!field(u"Maintainer"_s).isEmpty());
        const QString description = field(u"Description"_s);
        QVERIFY2(description.contains(u".QLIMChat"_s), qPrintable(description));
    }

    // Depends comes from dpkg-shlibdeps: every library the program is linked with must be
    // there, with the package that ships it and a lowest version.
    void dependsCoverEveryLinkedLibrary()
    {
        const QString depends = field(u"Depends"_s);
        for (const char *qt : {"libqt6core6", "libqt6widgets6"})
            QVERIFY2(depends.contains(QRegularExpression(QLatin1String(qt) +
                                                         QStringLiteral(R"( \(>= 6\.[0-9.]+\))"))),
                     qPrintable(depends));
        // Direct needs only: what those libraries need in turn is their packages' business.
        const QString program = m_unpacked + u"/usr/bin/quillet-im"_s;
        const ToolRun dynamic = runTool(u"readelf"_s, {u"-d"_s, program});
        const ToolRun linked = runTool(u"ldd"_s, {program});
        QVERIFY2(dynamic.ok() && linked.ok(), qPrintable(dynamic.report() + linked.report()));
        const QRegularExpression needed(
            QStringLiteral(R"(\(NEEDED\)\s+Shared library: \[(\S+)\])"));
        int libraries = 0;
        for (auto match = needed.globalMatch(dynamic.out); match.hasNext();) {
            const QString soname = match.next().captured(1);
            const QRegularExpression resolved(QRegularExpression::escape(soname) +
                                              QStringLiteral(R"( => (/\S+) \()"));
            const QString library = resolved.match(linked.out).captured(1);
            QVERIFY2(!library.isEmpty(), qPrintable(soname + u" not found"_s));
            const QString package = owningPackage(library);
            QVERIFY2(!package.isEmpty(), qPrintable(library));
            QVERIFY2(depends.contains(QRegularExpression(
                         u"(^|, )"_s + QRegularExpression::escape(package) + u"( |,|$)"_s)),
                     qPrintable(library + u" from "_s + package + u" missing in: "_s + depends));
            ++libraries;
        }
        QVERIFY2(libraries >= 3, qPrintable(linked.out));
        // Loaded at run time, invisible to the linker: Qt's Russian texts and
        // the Wayland platform plugin.
        for (const char *loaded : {"qt6-translations-l10n", "qt6-wayland"})
            QVERIFY2(depends.contains(
                         QRegularExpression(u"(^|, )"_s + QLatin1String(loaded) + u"( |,|$)"_s)),
                     qPrintable(depends));
    }

    void contents_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mode");
        const QString file = u"-rw-r--r--"_s;
        QTest::newRow("program") << u"usr/bin/quillet-im"_s << u"-rwxr-xr-x"_s;
        QTest::newRow("desktop entry") << u"usr/"_s + desktopEntryPath << file;
        QTest::newRow("chat file type") << u"usr/"_s + mimePackagePath << file;
        QTest::newRow("metainfo") << u"usr/"_s + metainfoPath << file;
        QTest::newRow("manual page") << u"usr/"_s + manPagePath << file;
        QTest::newRow("Russian manual page") << u"usr/"_s + russianManPagePath << file;
        QTest::newRow("scalable icon") << u"usr/"_s + scalableIconPath << file;
        for (const QString &size : installedIconSizes())
            QTest::newRow(qPrintable(u"icon "_s + size)) << u"usr/"_s + iconPath(size) << file;
        QTest::newRow("copyright") << u"usr/share/doc/quillet-im/copyright"_s << file;
        QTest::newRow("changelog") << u"usr/share/doc/quillet-im/changelog.Debian.gz"_s << file;
        QTest::newRow("folder") << u"usr/share/icons/hicolor/48x48/apps/"_s << u"drwxr-xr-x"_s;
    }
    void contents()
    {
        QFETCH(QString, path);
        QFETCH(QString, mode);
        const QString line = listingOf(path);
        QVERIFY2(!line.isEmpty(), qPrintable(path));
        QVERIFY2(line.startsWith(mode + u" root/root "_s), qPrintable(line));
    }

    // Everything below /usr, owned by root, and none of the caches that dpkg triggers
    // rebuild on the target: a package shipping them would clash with the system's own.
    void onlyOwnFilesBelowUsr()
    {
        QVERIFY(!m_listing.isEmpty());
        const QRegularExpression generated(
            QStringLiteral(R"((mime\.cache|mimeinfo\.cache|icon-theme\.cache|/mime/globs2?)$)"));
        for (const QString &line : m_listing) {
            const QString path = line.section(' '_L1, -1);
            QVERIFY2(path == "./"_L1 || path.startsWith("./usr/"_L1), qPrintable(line));
            QVERIFY2(line.contains(u" root/root "_s), qPrintable(line));
            QVERIFY2(!generated.match(path).hasMatch(), qPrintable(line));
        }
    }

    // Debian's own package checker, as the archive would run it. The one tag left out
    // asks for an "intent to package" bug to close, which only uploads to Debian have.
    void lintianFindsNothing()
    {
        const ToolRun check =
            runTool(u"lintian"_s, {u"--suppress-tags"_s, u"initial-upload-closes-no-bugs"_s,
                                   u"--fail-on"_s, u"error,warning"_s, m_package});
        QVERIFY2(check.ok(), qPrintable(check.report()));
        QVERIFY2(!check.out.contains(
                     QRegularExpression(u"^[EW]: "_s, QRegularExpression::MultilineOption)),
                 qPrintable(check.report()));
    }

    void programIsStripped()
    {
        const ToolRun type = runTool(u"file"_s, {u"-b"_s, m_unpacked + u"/usr/bin/quillet-im"_s});
        QVERIFY2(type.out.contains(u", stripped"_s), qPrintable(type.report()));
    }

    // The caches are the business of the triggers of shared-mime-info, desktop-file-utils
    // and the icon theme; the package brings no maintainer scripts of its own.
    void noMaintainerScripts()
    {
        const QString control = m_env.path(u"control"_s);
        const ToolRun extract = runTool(u"dpkg-deb"_s, {u"-e"_s, m_package, control});
        QVERIFY2(extract.ok(), qPrintable(extract.report()));
        const QStringList entries = QDir(control).entryList(QDir::Files, QDir::Name);
        QCOMPARE(entries, QStringList({u"control"_s, u"md5sums"_s}));
    }
};

QTEST_GUILESS_MAIN(TestDebPackage)
#include "tst_debpackage.moc"
