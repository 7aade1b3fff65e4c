#include "core/support.h"
#include "gui/boxes.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "logsviewer/logsearchpanel.h"
#include "logsviewer/logsviewer.h"
#include "richtext/rtflogfile.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeWidget>

#include <memory>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

struct Message
{
    QString sender;
    QString time; // "HH:mm:ss - dd.MM.yyyy"
    QString text;
};

QString logsFolder()
{
    const Result<QString> folder = quillet::logsFolder(false);
    return folder ? folder.value() : QString();
}

// Writes a log as the chat does: spacer, bold header, body, saved through the
// conversation log's own writer.
QString writeLog(const QString &name, const QList<Message> &messages)
{
    const QString path = joinPath(logsFolder(), name);
    QTextDocument document;
    RtfLogFile log(&document);
    QTextCursor cursor(&document);
    QTextCharFormat head;
    head.setFontPointSize(8);
    head.setFontWeight(QFont::Bold);
    QTextCharFormat body;
    body.setFontPointSize(9);
    QTextCharFormat spacer;
    spacer.setFontPointSize(3);
    for (const Message &message : messages) {
        if (!document.isEmpty())
            cursor.insertText(u" \r\n"_s, spacer);
        cursor.insertText(u'(' + message.time + u") "_s + message.sender + u":  "_s, head);
        cursor.insertText(message.text + u"\r\n"_s, body);
    }
    if (!log.save(path).ok())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Many large logs, so that a search is far from its end when its first results arrive.
void writeManyLogs(int count)
{
    QList<Message> messages;
    for (int m = 0; m < 2000; ++m)
        messages.append({u"Alice"_s, u"08:00:00 - 10.01.2026"_s, u"alpha %1"_s.arg(m)});
    const QString first = writeLog(u"2026-01-10 08-00-00.RTF"_s, messages);
    for (int i = 1; i < count; ++i) {
        const QString name = u"2026-01-10 07-%1-%2.RTF"_s.arg(i / 60, 2, 10, QChar(u'0'))
                                 .arg(i % 60, 2, 10, QChar(u'0'));
        if (!QFile::copy(first, joinPath(logsFolder(), name)))
            qFatal("cannot copy a log");
    }
    writeLog(u"2026-01-11 08-00-00.RTF"_s, {{u"Борис"_s, u"08:00:00 - 11.01.2026"_s, u"omega"_s}});
}

// Types text into a widget key by key, as QTest::keyClicks does for Latin-1 only.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

struct Row
{
    QString log; // file name
    QString line;
    QString message;
    bool isError = false;
    QBrush foreground;
};

// The open viewer and its search, found the way a user sees them.
struct Ui
{
    LogsViewer *window = nullptr;
    QListWidget *lstFiles = nullptr;
    QTextEdit *rtfLog = nullptr;
    QWidget *panel = nullptr;
    QLineEdit *field = nullptr;
    QTreeWidget *results = nullptr;
    LogSearch *search = nullptr;

    QList<Row> rows() const
    {
        QList<Row> rows;
        for (int i = 0; i < results->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = results->topLevelItem(i);
            rows.append({fileNameOf(item->data(0, LogSearchPanel::LogPathRole).toString()),
                         item->text(2), item->text(1),
                         !item->data(0, LogSearchPanel::PositionRole).isValid(),
                         item->foreground(2)});
        }
        return rows;
    }
    QString shownLog() const
    {
        const QListWidgetItem *item = lstFiles->currentItem();
        return item && item->isSelected() ? item->text() : QString();
    }
    QString selectedText() const
    {
        return rtfLog->textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n');
    }
    bool waitForLog() const
    {
        return QTest::qWaitFor([this] { return !window->isLoadingLog(); }, 60000);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QWidget *focused = QApplication::focusWidget();
        QTest::keyClick(focused ? focused : window, Qt::Key(key), modifiers);
    }
    // Types a query into the field and waits until its search has ended.
    bool find(const QString &query) const
    {
        QSignalSpy finished(search, &LogSearch::finished);
        field->selectAll();
        typeText(field, query);
        return finished.wait(60000);
    }
    // Chooses the result in `row` as a user does, and waits until its log is shown.
    bool choose(int row) const
    {
        QTreeWidgetItem *item = results->topLevelItem(row);
        if (!item)
            return false;
        results->scrollToItem(item);
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {},
                          results->visualItemRect(item).center());
        return waitForLog();
    }
};

} // namespace

class TestLogsViewerSearch : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        ChatFilePath = m_env->chats() + u"/team.QLIMChat"_s;
        ExchangeFolderPath = m_env->chats();
        appSettings() = SettingsRecord();
        Boxes::setHandler([](const BoxRequest &) { return BoxReply{BoxAnswer::Ok, {}}; });
        QDir().mkpath(logsFolder());
    }

    void cleanup()
    {
        if (LogsViewer *open = LogsViewer::instance())
            open->close();
        QTRY_VERIFY(!LogsViewer::instance());
        Boxes::resetHandler();
        m_env.reset();
    }

    // Ctrl+F opens the search with the field focused; results come newest log
    // first, each log's in text order, and choosing each shows its log with the
    // match selected.
    void findAndChoose()
    {
        writeLog(u"2026-11-30 09-00-00.RTF"_s,
                 {{u"Борис"_s, u"09:00:00 - 30.11.2026"_s, u"купи елку и игрушки"_s}});
        writeLog(u"2026-12-05 16-24-27.RTF"_s,
                 {{u"Борис"_s, u"16:24:27 - 05.12.2026"_s, u"Привет! Встретимся у Ёлки"_s},
                  {u"Alice"_s, u"16:25:00 - 05.12.2026"_s, u"нет"_s},
                  {u"Alice"_s, u"16:26:00 - 05.12.2026"_s, u"большая ёлка\r\nна площади"_s}});
        writeLog(u"2026-12-04 10-00-00.RTF"_s,
                 {{u"Alice"_s, u"10:00:00 - 04.12.2026"_s, u"ЕЛКА уже стоит"_s}});
        const Ui ui = openViewer();
        activate(ui);
        const QSize closedSize = ui.window->size();
        QVERIFY(!ui.panel->isVisible());

        ui.key(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(ui.panel->isVisible());
        QCOMPARE(QApplication::focusWidget(), ui.field);
        QVERIFY(ui.window->height() > closedSize.height());

        // "е" finds "ё", letter case aside, and a phrase runs across a line break.
        QVERIFY(ui.find(u"елка на"_s));
        const QList<Row> rows = ui.rows();
        QStringList logs, lines, selected;
        for (const Row &row : rows) {
            logs.append(row.log);
            lines.append(row.line);
            QVERIFY(!row.isError);
        }
        QCOMPARE(logs, QStringList{u"2026-12-05 16-24-27.RTF"_s});
        QCOMPARE(lines, QStringList{u"большая ёлка на площади"_s});
        QVERIFY(rows.first().message.contains(u"Alice"_s));

        QVERIFY(ui.find(u"ЕЛК"_s));
        logs.clear();
        for (const Row &row : ui.rows()) {
            logs.append(row.log);
            QVERIFY(!row.isError);
        }
        QCOMPARE(logs, (QStringList{u"2026-12-05 16-24-27.RTF"_s, u"2026-12-05 16-24-27.RTF"_s,
                                    u"2026-12-04 10-00-00.RTF"_s, u"2026-11-30 09-00-00.RTF"_s}));
        QVERIFY(ui.rows().at(0).message.contains(u"Борис"_s));
        QVERIFY(ui.rows().at(1).message.contains(u"Alice"_s));

        // Chosen from the oldest up, so that each choice loads another log.
        for (int row = ui.results->topLevelItemCount() - 1; row >= 0; --row) {
            QVERIFY(ui.choose(row));
            QCOMPARE(ui.shownLog(), logs.at(row));
            selected.prepend(ui.selectedText());
        }
        QCOMPARE(selected, (QStringList{u"Ёлк"_s, u"ёлк"_s, u"ЕЛК"_s, u"елк"_s}));
        // Another log chosen in the list shows without a selection.
        QTest::keyClick(ui.lstFiles, Qt::Key_Down);
        QVERIFY(ui.waitForLog());
        QCOMPARE(ui.shownLog(), u"2026-12-04 10-00-00.RTF"_s);
        QCOMPARE(ui.selectedText(), QString());
    }

    // The context menus of the list and of the log offer the search too.
    void contextMenuOpensTheSearch_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::newRow("list") << u"lstFiles"_s;
        QTest::newRow("log") << u"rtfLog"_s;
    }
    void contextMenuOpensTheSearch()
    {
        QFETCH(QString, widget);
        writeLog(u"2026-12-05 10-00-00.RTF"_s,
                 {{u"Alice"_s, u"10:00:00 - 05.12.2026"_s, u"слово"_s}});
        const Ui ui = openViewer();
        activate(ui);
        auto *area = ui.window->findChild<QAbstractScrollArea *>(widget);
        QVERIFY(area);
        const QPoint at = area->viewport()->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, area->viewport()->mapToGlobal(at));
        QApplication::sendEvent(area->viewport(), &event);
        QTRY_VERIFY(QApplication::activePopupWidget());
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *find = nullptr;
        for (QAction *action : menu->actions()) {
            if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_F))
                find = action;
        }
        QVERIFY(find);
        menu->close();
        find->trigger();
        QVERIFY(ui.panel->isVisible());
        QCOMPARE(QApplication::focusWidget(), ui.field);
    }

    // A match far down a long log is scrolled into view.
    void choosingScrollsToTheMatch()
    {
        QList<Message> messages;
        for (int m = 0; m < 400; ++m)
            messages.append({u"Alice"_s, u"08:00:00 - 10.01.2026"_s, u"строка %1"_s.arg(m)});
        messages.append({u"Борис"_s, u"09:00:00 - 10.01.2026"_s, u"искомое слово"_s});
        writeLog(u"2026-01-10 08-00-00.RTF"_s, messages);
        const Ui ui = openViewer();
        QVERIFY(QTest::qWaitForWindowExposed(ui.window));
        QCOMPARE(ui.rtfLog->verticalScrollBar()->value(), 0);
        ui.window->openSearch();
        QVERIFY(ui.find(u"искомое"_s));
        QCOMPARE(ui.rows().size(), 1);
        QVERIFY(ui.choose(0));
        QCOMPARE(ui.selectedText(), u"искомое"_s);
        QVERIFY(ui.rtfLog->verticalScrollBar()->value() > 0);
        QVERIFY(ui.rtfLog->viewport()->rect().contains(ui.rtfLog->cursorRect()));
    }

    // F3 and Shift+F3 go through the matches of the shown log only, round its end.
    void nextAndPreviousMatch()
    {
        writeLog(u"2026-12-05 10-00-00.RTF"_s,
                 {{u"Alice"_s, u"10:00:00 - 05.12.2026"_s, u"Ёлка"_s},
                  {u"Борис"_s, u"10:01:00 - 05.12.2026"_s, u"нет, елка"_s},
                  {u"Alice"_s, u"10:02:00 - 05.12.2026"_s, u"ну ЕЛКА же"_s}});
        writeLog(u"2026-12-04 10-00-00.RTF"_s,
                 {{u"Alice"_s, u"10:00:00 - 04.12.2026"_s, u"ёЛка в другом логе"_s}});
        const Ui ui = openViewer();
        activate(ui);
        ui.key(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(ui.find(u"елка"_s));
        QCOMPARE(ui.rows().size(), 4);
        QVERIFY(ui.choose(0));
        QCOMPARE(ui.selectedText(), u"Ёлка"_s);

        const auto currentRow = [&ui] {
            return ui.results->indexOfTopLevelItem(ui.results->currentItem());
        };
        const QList<std::pair<bool, QString>> steps = {{true, u"елка"_s},
                                                       {true, u"ЕЛКА"_s},
                                                       {true, u"Ёлка"_s},
                                                       {false, u"ЕЛКА"_s},
                                                       {false, u"елка"_s}};
        const QList<int> rows = {1, 2, 0, 2, 1};
        for (int i = 0; i < steps.size(); ++i) {
            ui.key(Qt::Key_F3, steps[i].first ? Qt::NoModifier : Qt::ShiftModifier);
            QCOMPARE(ui.selectedText(), steps[i].second);
            QCOMPARE(ui.shownLog(), u"2026-12-05 10-00-00.RTF"_s);
            // The results list follows, without loading the log again.
            QCOMPARE(currentRow(), rows[i]);
            QVERIFY(!ui.window->isLoadingLog());
        }

        // In a log shown from the list, F3 starts at its first match.
        ui.lstFiles->setFocus();
        QTest::keyClick(ui.lstFiles, Qt::Key_Down);
        QVERIFY(ui.waitForLog());
        QCOMPARE(ui.selectedText(), QString());
        ui.key(Qt::Key_F3);
        QCOMPARE(ui.selectedText(), u"ёЛка"_s);
        QCOMPARE(currentRow(), 3);
    }

    // Esc closes the search first, from its field or its results, then the viewer.
    void escapeClosesSearchThenViewer_data()
    {
        QTest::addColumn<bool>("fromResults");
        QTest::newRow("from the field") << false;
        QTest::newRow("from the results") << true;
    }
    void escapeClosesSearchThenViewer()
    {
        QFETCH(bool, fromResults);
        writeLog(u"2026-12-05 10-00-00.RTF"_s,
                 {{u"Alice"_s, u"10:00:00 - 05.12.2026"_s, u"слово"_s}});
        const Ui ui = openViewer();
        activate(ui);
        const QSize closedSize = ui.window->size();
        // At the bottom of the screen, where the grown window would not fit.
        const QRect screen = ui.window->screen()->availableGeometry();
        ui.window->move(ui.window->x(), screen.bottom() - ui.window->frameGeometry().height());
        const QPoint placed = ui.window->pos();
        ui.lstFiles->setFocus();
        ui.key(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(screen.contains(ui.window->frameGeometry()));
        QVERIFY(ui.find(u"слово"_s));
        if (fromResults) {
            QVERIFY(ui.choose(0));
            ui.results->setFocus();
        }
        ui.key(Qt::Key_Escape);
        QVERIFY(!ui.panel->isVisible());
        QVERIFY(ui.window->isVisible());
        QCOMPARE(ui.window->size(), closedSize);
        QCOMPARE(QApplication::focusWidget(), ui.lstFiles);

        // Opened again, it still holds the query and its results.
        ui.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), ui.field);
        QCOMPARE(ui.field->selectedText(), u"слово"_s);
        QCOMPARE(ui.rows().size(), 1);
        ui.key(Qt::Key_Escape);
        QVERIFY(!ui.panel->isVisible());

        ui.key(Qt::Key_Escape);
        QTRY_VERIFY(!LogsViewer::instance());
        // The placement is the window's own, not the one grown by the search.
        const Ui again = openViewer();
        QCOMPARE(again.window->pos(), placed);
        QCOMPARE(again.window->size(), closedSize);
        QVERIFY(!again.panel->isVisible());
    }

    // An unreadable log is listed in its place as an error, red, and the search goes on.
    void unreadableLogIsListed()
    {
        writeLog(u"2026-12-05 10-00-00.RTF"_s,
                 {{u"Alice"_s, u"10:00:00 - 05.12.2026"_s, u"ключ новый"_s}});
        QFile broken(joinPath(logsFolder(), u"2026-12-04 10-00-00.RTF"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray("\x00\xff not a log", 13));
        broken.close();
        writeLog(u"2026-12-03 10-00-00.RTF"_s,
                 {{u"Alice"_s, u"10:00:00 - 03.12.2026"_s, u"ключ старый"_s}});
        const Ui ui = openViewer();
        ui.window->openSearch();
        QVERIFY(ui.find(u"ключ"_s));
        const QList<Row> rows = ui.rows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].line, u"ключ новый"_s);
        QVERIFY(rows[1].isError);
        QCOMPARE(rows[1].log, u"2026-12-04 10-00-00.RTF"_s);
        QCOMPARE(rows[1].foreground.color(), QColor(255, 0, 0));
        QCOMPARE(rows[2].line, u"ключ старый"_s);

        // Chosen, it shows in the view as the viewer shows an unreadable log.
        QVERIFY(ui.choose(1));
        QCOMPARE(ui.shownLog(), u"2026-12-04 10-00-00.RTF"_s);
        const QString error = ui.rtfLog->toPlainText();
        QVERIFY2(error.startsWith(u"Код "_s), qPrintable(error));
        QVERIFY(rows[1].line.startsWith(error.section(u'\n', 0, 0)));
    }

    // A new query drops the search under way: nothing of the old one is listed.
    void newQueryReplacesTheOld()
    {
        writeManyLogs(200);
        const Ui ui = openViewer();
        ui.window->openSearch();
        typeText(ui.field, u"alpha"_s);
        QTRY_VERIFY_WITH_TIMEOUT(ui.results->topLevelItemCount() > 0, 60000);
        // On a fast machine the search may have ended by now; what follows holds either way.

        QSignalSpy finished(ui.search, &LogSearch::finished);
        ui.field->selectAll();
        typeText(ui.field, u"omega"_s);
        // Stopped at once, before the pause in typing starts the new one.
        QVERIFY(!ui.search->isRunning());
        QVERIFY(finished.wait(60000));
        const QList<Row> rows = ui.rows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].line, u"omega"_s);
        QCOMPARE(finished.size(), 1);

        // Emptied, the field lists nothing and searches nothing.
        ui.field->clear();
        QTRY_COMPARE(ui.results->topLevelItemCount(), 0);
        QVERIFY(!ui.search->isRunning());
    }

    // Closing the viewer stops its search; the window goes without waiting for it.
    void closingTheViewerCancels()
    {
        writeManyLogs(200);
        const Ui ui = openViewer();
        ui.window->openSearch();
        typeText(ui.field, u"alpha"_s);
        QTRY_VERIFY_WITH_TIMEOUT(ui.results->topLevelItemCount() > 0, 60000);
        // On a fast machine the search may have ended by now; what follows holds either way.
        const QPointer<LogSearch> search = ui.search;
        QSignalSpy found(ui.search, &LogSearch::resultsFound);
        ui.window->close();
        QVERIFY(!search->isRunning());
        QTRY_VERIFY(!LogsViewer::instance());
        QTRY_VERIFY(!search);
        QCOMPARE(found.size(), 0);
    }

private:
    static Ui openViewer()
    {
        showLogsViewer();
        Ui ui;
        ui.window = LogsViewer::instance();
        if (!ui.window)
            return ui;
        ui.lstFiles = ui.window->findChild<QListWidget *>(u"lstFiles"_s);
        ui.rtfLog = ui.window->findChild<QTextEdit *>(u"rtfLog"_s);
        ui.panel = ui.window->findChild<LogSearchPanel *>();
        ui.field = ui.window->findChild<QLineEdit *>(u"txtSearch"_s);
        ui.results = ui.window->findChild<QTreeWidget *>(u"lstResults"_s);
        ui.search = ui.window->findChild<LogSearch *>();
        (void)ui.waitForLog();
        return ui;
    }

    // Keys reach the window's shortcuts only while it is active.
    static void activate(const Ui &ui)
    {
        QApplication::setActiveWindow(ui.window);
        QVERIFY(QTest::qWaitForWindowActive(ui.window));
    }

    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestLogsViewerSearch)
#include "tst_logsviewersearch.moc"
