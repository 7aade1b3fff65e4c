#include "core/support.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/links.h"
#include "gui/shell.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "logsviewer/logslist.h"
#include "logsviewer/logsviewer.h"
#include "richtext/rtfwriter.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextEdit>
#include <QThreadPool>
#include <QTreeWidget>
#include <QUrl>

#include <sys/stat.h>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// The chat whose logs the viewer shows.
QString openedChat;

QString logPath(const QString &name)
{
    return joinPath(logsFolder(openedChat, false).value(), name);
}

const QString Header = u"(10:00:00 - 05.12.2026) Alice:  "_s;

// A log as the chat writes it, a header before each message.
QString writeLog(const QString &name, const QStringList &messages)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    for (const QString &message : messages)
        cursor.insertText(Header + message + u"\r\n"_s);
    if (!TextFile::writeAtomically(logPath(name), writeRtf(document)).ok())
        qFatal("cannot write %s", qPrintable(name));
    return logPath(name);
}

// The open viewer's widgets, found the way a user sees them.
struct Viewer
{
    LogsViewer *window = LogsViewer::instance();
    QListWidget *list = window->findChild<QListWidget *>(u"lstFiles"_s);
    QTextEdit *log = window->findChild<QTextEdit *>(u"rtfLog"_s);
    QLineEdit *field = window->findChild<QLineEdit *>(u"txtSearch"_s);
    QTreeWidget *results = window->findChild<QTreeWidget *>(u"lstResults"_s);

    // The messages shown (headers aside) once the log has been read, marked
    // " (red)" when shown in red bold, as errors are.
    QString shown() const
    {
        (void)QTest::qWaitFor([this] { return !window->isLoadingLog(); }, 60000);
        const QTextCharFormat format = log->document()->begin().begin().fragment().charFormat();
        const bool redBold =
            format.foreground().color() == Qt::red && format.fontWeight() == QFont::Bold;
        return log->toPlainText().remove(Header) + (redBold ? u" (red)"_s : QString());
    }
    // Searches every log and waits for the end; the rows as "log date: line".
    QStringList find(const QString &query) const
    {
        QSignalSpy finished(window->findChild<LogSearch *>(), &LogSearch::finished);
        field->setText(query);
        QTest::keyClick(field, Qt::Key_Return);
        QStringList rows{finished.wait(60000) ? u"finished"_s : u"not finished"_s};
        for (int i = 0; i < results->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *row = results->topLevelItem(i);
            rows.append(row->toolTip(0).left(10) + u": "_s + row->text(2) +
                        (row->foreground(2).color() == Qt::red ? u" (red)"_s : QString()));
        }
        return rows;
    }
    // Chooses a result as a user does; the text then selected in the log shown.
    QString choose(int row) const
    {
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {},
                          results->visualItemRect(results->topLevelItem(row)).center());
        (void)shown();
        return log->textCursor().selectedText();
    }
};

// Shows the viewer and makes it the active window, where its keys work.
Viewer showViewer()
{
    showLogsViewer(openedChat);
    QApplication::setActiveWindow(LogsViewer::instance());
    return {};
}

} // namespace

class TestLogsViewer : public QObject
{
    Q_OBJECT

public slots:
    // Takes the addresses the desktop is asked to open, in place of its handlers.
    void openUrl(const QUrl &url) { m_opened.append(url); }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        openedChat = m_env->chats() + u"/team.QLIMChat"_s;
        appSettings() = SettingsRecord();
        // Every box is recorded; one that a test does not take fails it in cleanup().
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request.text);
            return BoxReply{};
        });
    }
    void cleanup()
    {
        if (LogsViewer::instance())
            LogsViewer::instance()->close();
        QTRY_VERIFY(!LogsViewer::instance());
        QVERIFY(QThreadPool::globalInstance()->waitForDone()); // closed while reading: safe
        m_env.reset();
        QVERIFY2(std::exchange(m_boxes, {}).isEmpty(), "an unexpected box");
    }

    // Normal "*.RTF" files in any letter case are logs; hidden or system ones (by
    // their DOS attributes), dot files, folders, links and pipes are not.
    void listsAndShows()
    {
        const QString folder = m_env->path(u"logs"_s);
        const QList<std::pair<QString, QByteArray>> files{
            {u"a.RTF"_s, "0x20"}, {u"b.rtf"_s, "0x1"}, {u"c.Rtf"_s, "zz"},
            {u"h.RTF"_s, "0x2"},  {u"s.RTF"_s, "0x4"}, {u"n.RTF"_s, QByteArray("0x22\0", 5)},
            {u".x.RTF"_s, {}},    {u"x.txt"_s, {}},    {u"x.RTFX"_s, {}},
            {u"x.RTF.bak"_s, {}}};
        for (const auto &[name, attributes] : files) {
            const QString path = m_env->touch(u"logs/"_s + name, "{\\rtf1 x}");
            QVERIFY(attributes.isEmpty() || setDosAttributeText(path, attributes));
        }
        QDir().mkpath(folder + u"/d.RTF"_s);
        QVERIFY(QFile::link(m_env->touch(u"elsewhere.RTF"_s), folder + u"/l.RTF"_s));
        QCOMPARE(::mkfifo(QFile::encodeName(folder + u"/p.RTF"_s).constData(), 0600), 0);

        const LogsList list = buildLogsList(folder, true, true);
        QCOMPARE(list.names, (QStringList{u"c.Rtf"_s, u"b.rtf"_s, u"a.RTF"_s}));
        // Nothing, and nothing made, for a missing folder or a file.
        QVERIFY(buildLogsList(m_env->path(u"missing/logs"_s), true, true).names.isEmpty());
        QVERIFY(buildLogsList(m_env->path(u"elsewhere.RTF"_s), true, true).names.isEmpty());
        QVERIFY(!QFileInfo::exists(m_env->path(u"missing"_s)));

        // Newest first, and the newest shown; a click on the selected log reads it
        // again, and one gone or too large since shows its error in red bold.
        writeLog(u"2026-12-05 11-00-00.RTF"_s, {u"middle"_s});
        const QFileInfo newest(writeLog(u"2026-12-05 16-24-27.RTF"_s, {u"newest"_s}));
        writeLog(u"2026-01-31 23-59-59.RTF"_s, {u"oldest"_s});
        const Viewer v = showViewer();
        QCOMPARE(v.list->item(0)->text(), newest.fileName());
        QCOMPARE(v.shown(), u"newest\n"_s);

        writeLog(newest.fileName(), {u"rewritten"_s});
        const QPoint selected = v.list->visualItemRect(v.list->currentItem()).center();
        QTest::mouseClick(v.list->viewport(), Qt::LeftButton, {}, selected);
        QCOMPARE(v.shown(), u"rewritten\n"_s);
        QVERIFY(QFile::remove(newest.filePath()));
        QTest::mouseClick(v.list->viewport(), Qt::LeftButton, {}, selected);
        QCOMPARE(v.shown(), formatLogError(Error::fromErrno(ENOENT)) + u" (red)"_s);
        QVERIFY(QFile::resize(logPath(u"2026-12-05 11-00-00.RTF"_s), MaxLogFileSize + 1));
        QTest::keyClick(v.list, Qt::Key_Down);
        QCOMPARE(v.shown(), formatLogError(Error::make(ErrorCode::LogTooLarge)) + u" (red)"_s);
    }

    // A log chosen while a large one is read shows, even when the large one ends
    // later; closing while a log is read is safe.
    void choosingWhileALogIsRead()
    {
        writeLog(u"2026-12-05 10-00-00.RTF"_s, {u"small"_s});
        writeLog(u"2026-12-05 11-00-00.RTF"_s, QStringList(60000, u"line"_s));
        const Viewer v = showViewer();
        QVERIFY(v.window->isLoadingLog());
        QTest::keyClick(v.list, Qt::Key_Down);
        QCOMPARE(v.shown(), u"small\n"_s);
        QVERIFY(QThreadPool::globalInstance()->waitForDone());
        QCoreApplication::processEvents();
        QCOMPARE(v.shown(), u"small\n"_s);
        QTest::keyClick(v.list, Qt::Key_Up); // closed by cleanup() while this is read
    }

    // The viewer only reads: without logs no folder is made, and the folder that
    // is not there cannot be opened (a box says so); once there, it opens. Closed
    // and shown again, the viewer lists afresh.
    void openingTheLogsFolderAndReopening()
    {
        QStringList opened;
        Shell::setOpener([&opened](const QUrl &url) {
            opened.append(url.toLocalFile());
            return true;
        });
        const QString folder = logsFolder(openedChat, true).value();
        Viewer v = showViewer();
        QTest::mouseClick(v.window->findChild<QPushButton *>(u"cmdOpenLogsFolder"_s),
                          Qt::LeftButton);
        QVERIFY(m_boxes.takeFirst().startsWith(folder));
        QVERIFY(!QFileInfo::exists(parentFolder(folder)));
        v.window->close();
        QTRY_VERIFY(!LogsViewer::instance());
        writeLog(u"2026-12-05 16-24-27.RTF"_s, {u"x"_s});
        v = showViewer();
        QCOMPARE(v.shown(), u"x\n"_s);
        QTest::mouseClick(v.window->findChild<QPushButton *>(u"cmdOpenLogsFolder"_s),
                          Qt::LeftButton);
        Shell::resetOpener();
        QCOMPARE(opened, QStringList{folder});
    }

    // Ctrl+F opens the search; results come newest log first, an unreadable log in
    // red in its place; a result chosen shows its log with the match selected.
    // Typing stops the search under way.
    void searchAndChoose()
    {
        writeLog(u"2026-11-30 09-00-00.RTF"_s, {u"купи елку"_s});
        writeLog(u"2026-12-05 16-24-27.RTF"_s, {u"У Ёлки"_s, u"нет"_s, u"ёлка\r\nна площади"_s});
        QVERIFY(QFile::copy(m_env->touch(u"bad"_s, "not a log"),
                            logPath(u"2026-12-04 10-00-00.RTF"_s)));
        const Viewer v = showViewer();
        QVERIFY(QTest::qWaitForWindowActive(v.window));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), v.field);
        const QString error = formatLogError(Error::make(ErrorCode::RtfMalformed));
        QCOMPARE(v.find(u"елк"_s),
                 (QStringList{u"finished"_s, u"2026-12-05: У Ёлки"_s, u"2026-12-05: ёлка"_s,
                              u"2026-12-04: "_s + QString(error).replace(u'\n', u' ') + u" (red)"_s,
                              u"2026-11-30: купи елку"_s}));
        QCOMPARE(v.choose(3), u"елк"_s);
        QCOMPARE(v.list->currentItem()->text(), u"2026-11-30 09-00-00.RTF"_s);
        QCOMPARE(v.choose(0), u"Ёлк"_s);
        QCOMPARE(v.choose(2), QString());
        QCOMPARE(v.shown(), error + u" (red)"_s);

        v.field->setText(u"ёлк"_s);
        QTest::keyClick(v.field, Qt::Key_Return);
        QVERIFY(v.window->findChild<LogSearch *>()->isRunning());
        v.field->setText(u"нет"_s);
        QVERIFY(!v.window->findChild<LogSearch *>()->isRunning());
    }

    // A link in a log is a link: a click opens it; a field to another scheme is
    // text. A link to a file opens it, unless it could run: a script is only shown
    // in its folder, and its menu cannot open it.
    void links()
    {
        const QString notes = m_env->touch(u"notes.txt"_s, "notes");
        const QString script = m_env->touch(u"run.txt"_s, "#!/bin/sh\n");
        // A sent file whose message folder a sync service turned into a link, elsewhere.
        const QString elsewhere = parentFolder(m_env->touch(u"elsewhere/a.txt"_s, "a"));
        QVERIFY(QDir().mkpath(m_env->path(u"chats/Files"_s)) &&
                QFile::link(elsewhere, m_env->path(u"chats/Files/{GUID}"_s)));
        const QString linked = m_env->path(u"chats/Files/{GUID}/a.txt"_s);
        const auto field = [](const QByteArray &url, const char *text) {
            return "{\\field{\\*\\fldinst{HYPERLINK \"" + url + "\"}}{\\fldrslt{\\plain\\fs24 " +
                   text + "}}} ";
        };
        writeLog(u"2026-12-05 16-24-27.RTF"_s, {});
        QVERIFY(TextFile::writeAtomically(
                    logPath(u"2026-12-05 16-24-27.RTF"_s),
                    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\plain\\fs24 see " +
                        field("https://example.org/a", "example") + "or " +
                        field("javascript:alert(1)", "evil") +
                        field(QUrl::fromLocalFile(notes).toEncoded(), "local") +
                        field(QUrl::fromLocalFile(script).toEncoded(), "script") +
                        field(QUrl::fromLocalFile(linked).toEncoded(), "linked") + "}")
                    .ok());
        QList<QUrl> shown;
        Shell::setOpener([&shown](const QUrl &url) {
            shown.append(url);
            return true;
        });
        const auto resetShell = qScopeGuard([] { Shell::resetOpener(); });
        const QStringList schemes{u"http"_s, u"https"_s, u"javascript"_s, u"file"_s};
        for (const QString &scheme : schemes)
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        const auto unset = qScopeGuard([&schemes] {
            for (const QString &scheme : schemes)
                QDesktopServices::unsetUrlHandler(scheme);
        });
        const Viewer v = showViewer();
        QCOMPARE(v.shown(), u"see example or evil local script linked "_s);
        QWidget *viewport = v.log->viewport();
        const auto pointAt = [&v](const QString &word, int offset) {
            QTextCursor cursor(v.log->document());
            cursor.setPosition(int(v.log->toPlainText().indexOf(word)) + offset);
            return v.log->cursorRect(cursor).center() + QPoint(1, 0);
        };
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pointAt(u"example"_s, 3));
        QCOMPARE(m_opened, QList<QUrl>{QUrl(u"https://example.org/a"_s)});
        QTextCharFormat hostile; // as a view's own document may hold
        hostile.setAnchor(true);
        hostile.setAnchorHref(u"javascript:alert(2)"_s);
        QTextCursor(v.log->document()).insertText(u"bad "_s, hostile);
        for (const QString &word : {u"evil"_s, u"bad"_s})
            QTest::mouseClick(viewport, Qt::LeftButton, {}, pointAt(word, 2));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pointAt(u"local"_s, 2));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pointAt(u"script"_s, 2));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pointAt(u"linked"_s, 2));
        QCOMPARE(m_opened.takeLast(), QUrl::fromLocalFile(notes));
        QCOMPARE(shown, QList<QUrl>{QUrl::fromLocalFile(script)});
        QVERIFY(std::exchange(m_boxes, {}).join(u' ').contains(u"символической ссылкой"_s));
        QVERIFY(!openLink(nullptr, QUrl(u"javascript:alert(3)"_s))); // refused below the view too
        QCOMPARE(m_opened.size(), 1);

        const QPoint onScript = pointAt(u"script"_s, 2);
        QContextMenuEvent event(QContextMenuEvent::Mouse, onScript,
                                viewport->mapToGlobal(onScript));
        QApplication::sendEvent(viewport, &event);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(menu->actions().first()->text(), u"Открыть"_s);
        QVERIFY(!menu->actions().first()->isEnabled());
        menu->close();
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    QStringList m_boxes;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestLogsViewer)
#include "tst_logsviewer.moc"
