#include "logsviewer/logslist.h"
#include "platform/normalfiles.h"
#include "testsupport.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <QDir>
#include <QFile>
#include <QTest>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

void setDosAttributes(const QString &path, const QByteArray &value)
{
    QVERIFY2(::setxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", value.constData(),
                        static_cast<size_t>(value.size()), 0) == 0,
             "cannot set user.DOSATTRIB");
}

} // namespace

class TestLogsList : public QObject
{
    Q_OBJECT

private slots:
    // Which entries of a logs folder count as logs.
    void listsNormalRtfFilesOnly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("listed");

        QTest::newRow("upper case") << "2026-12-05 16-24-27.RTF"
                                    << "file" << true;
        QTest::newRow("lower case") << "2026-12-05 16-24-28.rtf"
                                    << "file" << true;
        QTest::newRow("mixed case") << "x.Rtf"
                                    << "file" << true;
        QTest::newRow("other extension") << "x.txt"
                                         << "file" << false;
        QTest::newRow("longer extension") << "x.RTFX"
                                          << "file" << false;
        QTest::newRow("extension only in the middle") << "x.RTF.bak"
                                                      << "file" << false;
        QTest::newRow("dot file") << ".x.RTF"
                                  << "file" << false;
        QTest::newRow("hidden attribute") << "h.RTF"
                                          << "hidden" << false;
        QTest::newRow("system attribute") << "s.RTF"
                                          << "system" << false;
        QTest::newRow("hidden and archive") << "ha.RTF"
                                            << "hidden+archive" << false;
        QTest::newRow("archive attribute") << "a.RTF"
                                           << "archive" << true;
        QTest::newRow("read-only attribute") << "r.RTF"
                                             << "readonly" << true;
        QTest::newRow("garbage attribute") << "g.RTF"
                                           << "garbage" << true;
        QTest::newRow("folder") << "d.RTF"
                                << "folder" << false;
        QTest::newRow("symbolic link") << "l.RTF"
                                       << "link" << false;
        QTest::newRow("pipe") << "p.RTF"
                              << "pipe" << false;
    }
    void listsNormalRtfFilesOnly()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, listed);

        TestEnvironment env;
        const QString folder = env.path(u"logs"_s);
        QDir().mkpath(folder);
        const QString path = folder + '/'_L1 + name;
        const QByteArray content("{\\rtf1 x}");
        if (kind == "folder"_L1) {
            QDir().mkpath(path);
        } else if (kind == "link"_L1) {
            const QString target = env.touch(u"elsewhere.RTF"_s, content);
            QVERIFY(QFile::link(target, path));
        } else if (kind == "pipe"_L1) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            env.touch(u"logs/"_s + name, content);
            const QHash<QString, QByteArray> attributes = {
                {u"hidden"_s, "0x2"},   {u"system"_s, "0x4"},   {u"hidden+archive"_s, "0x22"},
                {u"archive"_s, "0x20"}, {u"readonly"_s, "0x1"}, {u"garbage"_s, "zz"}};
            if (attributes.contains(kind))
                setDosAttributes(path, attributes.value(kind));
        }

        const LogsList list = buildLogsList(folder, true, true);
        QCOMPARE(list.names.contains(name), listed);
        QCOMPARE(list.names.size(), listed ? 1 : 0);
        QCOMPARE(list.totalSize, listed ? double(content.size()) : 0.0);
        QCOMPARE(list.selected, listed ? 0 : -1);
    }

    void attributeWithTrailingNulCountsAsHidden()
    {
        TestEnvironment env;
        const QString path = env.touch(u"logs/n.RTF"_s, "x");
        setDosAttributes(path, QByteArray("0x2\0", 4));
        QVERIFY(isHiddenOrSystemFile(path));
        QVERIFY(buildLogsList(env.path(u"logs"_s), true, true).names.isEmpty());
    }

    // The order of the list and the row selected, for every pair of settings.
    void arrangesAndSelectsTheLastOfTheCollection_data()
    {
        QTest::addColumn<bool>("sort");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("selected");

        const QStringList given = {u"2026-12-05 16-24-27.RTF"_s, u"2026-01-31 09-00-00.RTF"_s,
                                   u"2026-12-05 08-00-00.RTF"_s};
        QTest::newRow("sorted, descending")
            << true << true << QStringList{given[0], given[2], given[1]} << 0;
        QTest::newRow("sorted, ascending")
            << true << false << QStringList{given[1], given[2], given[0]} << 2;
        QTest::newRow("unsorted, descending")
            << false << true << QStringList{given[2], given[1], given[0]} << 0;
        QTest::newRow("unsorted, ascending") << false << false << given << 2;
    }
    void arrangesAndSelectsTheLastOfTheCollection()
    {
        QFETCH(bool, sort);
        QFETCH(bool, descending);
        QFETCH(QStringList, expected);
        QFETCH(int, selected);

        const QStringList given = {u"2026-12-05 16-24-27.RTF"_s, u"2026-01-31 09-00-00.RTF"_s,
                                   u"2026-12-05 08-00-00.RTF"_s};
        const LogsList list = arrangeLogNames(given, sort, descending);
        QCOMPARE(list.names, expected);
        QCOMPARE(list.selected, selected);
    }

    void emptyCollectionSelectsNothing()
    {
        for (bool sort : {false, true}) {
            for (bool descending : {false, true})
                QCOMPARE(arrangeLogNames({}, sort, descending).selected, -1);
        }
    }

    void sortIgnoresLetterCaseAndIsTotal()
    {
        QStringList names = {u"b.RTF"_s, u"A.rtf"_s, u"a.RTF"_s, u"B.rtf"_s};
        sortLogNames(names);
        QCOMPARE(names, (QStringList{u"A.rtf"_s, u"a.RTF"_s, u"B.rtf"_s, u"b.RTF"_s}));
    }

    // Unsorted, the list keeps the order in which the file system enumerates.
    void unsortedFollowsTheFileSystemOrder()
    {
        TestEnvironment env;
        const QString folder = env.path(u"logs"_s);
        for (int i = 0; i < 60; ++i) {
            env.touch(u"logs/2026-12-05 10-%1-%2.RTF"_s.arg(i % 60, 2, 10, '0'_L1)
                          .arg((i * 7) % 60, 2, 10, '0'_L1),
                      QByteArray(i + 1, 'x'));
        }
        env.touch(u"logs/note.txt"_s, "not a log");
        const QStringList enumerated =
            QDir(folder).entryList({u"*.RTF"_s}, QDir::Files, QDir::Unsorted);
        QCOMPARE(enumerated.size(), 60);
        QVERIFY2(enumerated != arrangeLogNames(enumerated, true, false).names,
                 "the file system gave sorted names; the test proves nothing");

        const LogsList list = buildLogsList(folder, false, false);
        QCOMPARE(list.names, enumerated);
        QCOMPARE(list.selected, 59);
        QCOMPARE(list.totalSize, 60.0 * 61 / 2);
    }

    void missingOrUnusableFolderGivesAnEmptyList_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << "missing/logs";
        QTest::newRow("a file") << "file.RTF";
        QTest::newRow("empty name") << "";
    }
    void missingOrUnusableFolderGivesAnEmptyList()
    {
        QFETCH(QString, folder);
        TestEnvironment env;
        env.touch(u"file.RTF"_s, "{\\rtf1 x}");
        // An empty folder name must not list the working directory.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(env.root());
        const QString path = folder.isEmpty() ? QString() : env.path(folder);
        const LogsList list = buildLogsList(path, true, true);
        QDir::setCurrent(previous);
        QVERIFY(list.names.isEmpty());
        QCOMPARE(list.totalSize, 0.0);
        QCOMPARE(list.selected, -1);
        QVERIFY(!QFileInfo::exists(env.path(u"missing"_s)));
    }
};

QTEST_GUILESS_MAIN(TestLogsList)
#include "tst_logslist.moc"
