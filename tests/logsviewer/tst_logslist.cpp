#include "logsviewer/logslist.h"
#include "testsupport.h"

#include <sys/stat.h>

using namespace quillet;
using namespace Qt::StringLiterals;

class TestLogsList : public QObject
{
    Q_OBJECT

private slots:
    // Normal "*.RTF" files in any letter case are logs; hidden or system ones (by
    // their DOS attributes), dot files, folders, links and pipes are not.
    void listsNormalRtfFilesOnly()
    {
        TestEnvironment env;
        const QString folder = env.path(u"logs"_s);
        const QList<std::pair<QString, QByteArray>> files{
            {u"a.RTF"_s, "0x20"}, {u"b.rtf"_s, "0x1"}, {u"c.Rtf"_s, "zz"},
            {u"h.RTF"_s, "0x2"},  {u"s.RTF"_s, "0x4"}, {u"n.RTF"_s, QByteArray("0x22\0", 5)},
            {u".x.RTF"_s, {}},    {u"x.txt"_s, {}},    {u"x.RTFX"_s, {}},
            {u"x.RTF.bak"_s, {}}};
        for (const auto &[name, attributes] : files) {
            const QString path = env.touch(u"logs/"_s + name, "{\\rtf1 x}");
            QVERIFY(attributes.isEmpty() || setDosAttributeText(path, attributes));
        }
        QDir().mkpath(folder + u"/d.RTF"_s);
        QVERIFY(QFile::link(env.touch(u"elsewhere.RTF"_s), folder + u"/l.RTF"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(folder + u"/p.RTF"_s).constData(), 0600), 0);

        const LogsList list = buildLogsList(folder, true, true);
        QCOMPARE(list.names, (QStringList{u"c.Rtf"_s, u"b.rtf"_s, u"a.RTF"_s}));
        QCOMPARE(list.totalSize, 3.0 * 9);
        // Nothing, and nothing made, for a missing folder, a file, or no name (which
        // must not list the working folder).
        const QString previous = QDir::currentPath();
        QDir::setCurrent(env.root());
        for (const QString &unusable : {u"missing/logs"_s, u"elsewhere.RTF"_s, QString()})
            QCOMPARE(
                buildLogsList(unusable.isEmpty() ? unusable : env.path(unusable), true, true).names,
                QStringList());
        QDir::setCurrent(previous);
        QVERIFY(!QFileInfo::exists(env.path(u"missing"_s)));
    }

    // Sorted by name with letter case aside (a name is its log's time), or in the
    // file system's order; the row to select is the last of that order.
    void arrangesAndSelects()
    {
        TestEnvironment env;
        for (int i = 0; i < 60; ++i)
            env.touch(u"logs/2026-12-05 10-%1-00.RTF"_s.arg(i * 7 % 60, 2, 10, '0'_L1));
        const QStringList given =
            QDir(env.path(u"logs"_s)).entryList({u"*.RTF"_s}, QDir::Files, QDir::Unsorted);
        QStringList sorted = given;
        sorted.sort();
        QVERIFY2(given != sorted, "the file system gave sorted names; the test proves nothing");
        QCOMPARE(buildLogsList(env.path(u"logs"_s), false, false).names, given);

        const QStringList names{u"b.RTF"_s, u"A.rtf"_s, u"a.RTF"_s, u"B.rtf"_s};
        for (const auto &[sort, descending, arranged, selected] :
             {std::tuple{true, false, "A.rtf a.RTF B.rtf b.RTF", 3},
              {true, true, "b.RTF B.rtf a.RTF A.rtf", 0},
              {false, true, "B.rtf a.RTF A.rtf b.RTF", 0}}) {
            const LogsList list = arrangeLogNames(names, sort, descending);
            QCOMPARE(list.names.join(u' '), QLatin1String(arranged));
            QCOMPARE(list.selected, selected);
        }
        QCOMPARE(arrangeLogNames({}, true, true).selected, -1);
    }
};

QTEST_GUILESS_MAIN(TestLogsList)
#include "tst_logslist.moc"
