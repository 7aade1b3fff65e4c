#include "core/support.h"
#include "gui/boxes.h"
#include "gui/fonts.h"
#include "gui/placement.h"
#include "gui/resources.h"
#include "gui/shell.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsviewer.h"
#include "richtext/rtfwriter.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThreadPool>
#include <QUrl>
#include <QWheelEvent>

#include <memory>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

// The widgets of the open viewer, found the way a user sees them.
struct Viewer
{
    LogsViewer *window = nullptr;
    QListWidget *lstFiles = nullptr;
    QTextEdit *rtfLog = nullptr;
    QLabel *lblTag = nullptr;
    QPushButton *cmdOpenLogsFolder = nullptr;
    QPushButton *cmdClose = nullptr;

    QStringList names() const
    {
        QStringList result;
        for (int i = 0; i < lstFiles->count(); ++i)
            result.append(lstFiles->item(i)->text());
        return result;
    }
    QString selected() const
    {
        const QListWidgetItem *item = lstFiles->currentItem();
        return item && item->isSelected() ? item->text() : QString();
    }
    // The shown text, once the selected log has been read.
    QString shown() const
    {
        if (!QTest::qWaitFor([this] { return !window->isLoadingLog(); }, 60000))
            return u"<still loading>"_s;
        return rtfLog->toPlainText();
    }
};

QByteArray plainRtf(const QString &text)
{
    QByteArray body;
    for (const QChar c : text) {
        if (c.unicode() < 128)
            body.append(char(c.unicode()));
        else
            body.append("\\u" + QByteArray::number(qint16(c.unicode())) + '?');
    }
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Tahoma;}}\\f0\\fs18 " + body + '}';
}

// A log with many lines, long enough to scroll.
QByteArray longRtf(int lines)
{
    QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Tahoma;}}\\f0\\fs18 ";
    for (int i = 0; i < lines; ++i)
        rtf += "line " + QByteArray::number(i) + "\\par ";
    return rtf + '}';
}

} // namespace

class TestLogsViewer : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        ChatFilePath = m_env->chats() + u"/team.QLIMChat"_s;
        ExchangeFolderPath = m_env->chats();
        appSettings() = SettingsRecord();
        m_boxes.clear();
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{BoxAnswer::Ok, {}};
        });
        m_opened.clear();
        Shell::setOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
    }

    void cleanup()
    {
        closeViewer();
        Boxes::resetHandler();
        Shell::resetOpener();
        m_env.reset();
    }

    // The order of the list, the item selected and the log shown, per settings.
    void sortingAndSelection_data()
    {
        QTest::addColumn<bool>("sort");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("selected");

        const QStringList names = logNames();
        QTest::newRow("default: sorted, descending")
            << true << true << QStringList{names[2], names[1], names[0]} << 0;
        QTest::newRow("sorted, ascending") << true << false << names << 2;
    }
    void sortingAndSelection()
    {
        QFETCH(bool, sort);
        QFETCH(bool, descending);
        QFETCH(QStringList, expected);
        QFETCH(int, selected);

        // Written newest first, so creation order is not the sorted order.
        for (const QString &name : reversed(logNames()))
            writeLog(name, plainRtf(u"Лог "_s + name));
        appSettings().sortLogsList = sort;
        appSettings().sortLogsDescending = descending;

        const Viewer v = openViewer();
        QCOMPARE(v.names(), expected);
        QCOMPARE(v.lstFiles->currentRow(), selected);
        QCOMPARE(v.selected(), logNames().last());
        QCOMPARE(v.shown(), u"Лог "_s + logNames().last());
    }

    void unsortedFollowsTheFileSystemOrder_data()
    {
        QTest::addColumn<bool>("descending");
        QTest::newRow("ascending") << false;
        QTest::newRow("descending") << true;
    }
    void unsortedFollowsTheFileSystemOrder()
    {
        QFETCH(bool, descending);
        for (int i = 0; i < 40; ++i) {
            writeLog(u"2026-12-%1 10-00-00.RTF"_s.arg(i + 1, 2, 10, '0'_L1),
                     plainRtf(QString::number(i)));
        }
        QStringList enumerated =
            QDir(logsFolder()).entryList({u"*.RTF"_s}, QDir::Files, QDir::Unsorted);
        QCOMPARE(enumerated.size(), 40);
        const QString lastGiven = enumerated.last();
        if (descending)
            std::reverse(enumerated.begin(), enumerated.end());
        appSettings().sortLogsList = false;
        appSettings().sortLogsDescending = descending;

        const Viewer v = openViewer();
        QCOMPARE(v.names(), enumerated);
        QCOMPARE(v.selected(), lastGiven);
    }

    void chatWithoutLogs()
    {
        const QString folder = quillet::logsFolder(true).value();
        const Viewer v = openViewer();
        QCOMPARE(v.lstFiles->count(), 0);
        QCOMPARE(v.shown(), QString());
        QCOMPARE(v.lblTag->text(), u"Общий размер логов: 0 байт"_s);
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(!QFileInfo::exists(parentFolder(folder)));

        QTest::mouseClick(v.cmdOpenLogsFolder, Qt::LeftButton);
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, folder + u"\r\n\r\nНе удалось открыть папку с логами."_s);
        QCOMPARE(m_boxes[0].style, (BoxStyle{BoxButtons::Ok, BoxIcon::Stop}));
        QVERIFY(v.window->isVisible());
        QVERIFY(!QFileInfo::exists(folder));
    }

    void openFolderOpensTheLogsFolder()
    {
        writeLog(u"2026-12-05 16-24-27.RTF"_s, plainRtf(u"x"_s));
        const Viewer v = openViewer();
        QTest::mouseClick(v.cmdOpenLogsFolder, Qt::LeftButton);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened[0].toLocalFile(), logsFolder());
        QVERIFY(m_boxes.isEmpty());
    }

    void refusedOpeningShowsTheBox()
    {
        writeLog(u"2026-12-05 16-24-27.RTF"_s, plainRtf(u"x"_s));
        Shell::setOpener([](const QUrl &) { return false; });
        const Viewer v = openViewer();
        QTest::mouseClick(v.cmdOpenLogsFolder, Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, logsFolder() + u"\r\n\r\nНе удалось открыть папку с логами."_s);
    }

    void totalSizeCountsListedLogsOnly()
    {
        writeLog(u"a.RTF"_s, QByteArray(1000, 'a'));
        writeLog(u"b.rtf"_s, QByteArray(1500, 'b'));
        writeLog(u".hidden.RTF"_s, QByteArray(5000, 'h'));
        writeLog(u"note.txt"_s, QByteArray(7000, 'n'));
        QDir().mkpath(logsFolder() + u"/folder.RTF"_s);
        const Viewer v = openViewer();
        QCOMPARE(v.names(), (QStringList{u"b.rtf"_s, u"a.RTF"_s}));
        QCOMPARE(v.lblTag->text(), u"Общий размер логов: "_s + formatByteSize(2500));
    }

    void deletedLogShowsTheErrorInRedBold()
    {
        writeLog(u"2026-12-05 10-00-00.RTF"_s, plainRtf(u"old"_s));
        writeLog(u"2026-12-05 11-00-00.RTF"_s, plainRtf(u"new"_s));
        const Viewer v = openViewer();
        QCOMPARE(v.shown(), u"new"_s);
        QTest::keyClick(v.lstFiles, Qt::Key_Down);
        QCOMPARE(v.shown(), u"old"_s);
        QVERIFY(QFile::remove(logsFolder() + u"/2026-12-05 11-00-00.RTF"_s));
        QTest::keyClick(v.lstFiles, Qt::Key_Up);

        QCOMPARE(v.selected(), u"2026-12-05 11-00-00.RTF"_s);
        QCOMPARE(v.shown(), formatLogError(Error::fromErrno(ENOENT)));
        verifyRedBold(v.rtfLog);
    }

    // With one log there is nothing else to select: a click on it reads it again,
    // showing what the chat has written since, or the error once it is gone.
    void clickOnTheSelectedLogReadsItAgain()
    {
        const QString name = u"2026-12-05 11-00-00.RTF"_s;
        writeLog(name, plainRtf(u"first"_s));
        const Viewer v = openViewer();
        QVERIFY(QTest::qWaitForWindowExposed(v.window));
        QCOMPARE(v.shown(), u"first"_s);
        const auto clickSelected = [&v] {
            const QRect item = v.lstFiles->visualItemRect(v.lstFiles->currentItem());
            QTest::mouseClick(v.lstFiles->viewport(), Qt::LeftButton, {}, item.center());
        };

        writeLog(name, plainRtf(u"second"_s));
        clickSelected();
        QTRY_COMPARE(v.shown(), u"second"_s);
        QVERIFY(QFile::remove(logsFolder() + '/'_L1 + name));
        clickSelected();
        QTRY_COMPARE(v.shown(), formatLogError(Error::fromErrno(ENOENT)));
        verifyRedBold(v.rtfLog);
        QCOMPARE(v.selected(), name);
    }

    // Files that are no good as logs give the error or their content, never a hang or crash.
    void badLogs_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("sparseSize");
        QTest::addColumn<int>("error"); // 0: either loads or gives an error

        QByteArray binary(4096, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char((i * 131 + 7) % 256);
        const QByteArray complete = longRtf(2000);
        QTest::newRow("not RTF") << binary << qint64(0) << 0;
        QTest::newRow("plain text") << QByteArray("Привет, это не RTF.") << qint64(0) << 0;
        QTest::newRow("empty file") << QByteArray() << qint64(0) << 0;
        QTest::newRow("truncated") << complete.left(complete.size() / 2) << qint64(0) << 0;
        QTest::newRow("unbalanced braces") << QByteArray(100000, '{') << qint64(0) << 0;
        QTest::newRow("larger than 64 MiB")
            << QByteArray() << (MaxLogFileSize + 1) << int(ErrorCode::LogTooLarge);
    }
    void badLogs()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, sparseSize);
        QFETCH(int, error);
        const QString path = writeLog(u"2026-12-05 10-00-00.RTF"_s, content);
        if (sparseSize > 0)
            QVERIFY(QFile::resize(path, sparseSize));

        const Viewer v = openViewer();
        QCOMPARE(v.lstFiles->count(), 1);
        if (error != 0) {
            QCOMPARE(v.shown(), formatLogError(Error::make(error)));
            verifyRedBold(v.rtfLog);
        } else if (v.shown().startsWith(u"Код "_s)) {
            verifyRedBold(v.rtfLog);
        }
        QTest::mouseClick(v.cmdClose, Qt::LeftButton);
        QTRY_VERIFY(!LogsViewer::instance());
    }

    void twentyMegabyteLogLoads()
    {
        QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Tahoma;}}\\f0\\fs18 ";
        const QByteArray line = "\\b Bob:\\b0  a line of the conversation, long enough\\par ";
        while (rtf.size() < 20 * 1024 * 1024)
            rtf += line;
        rtf += "the end\\par}";
        writeLog(u"2026-12-05 10-00-00.RTF"_s, rtf);
        const Viewer v = openViewer();
        const QString shown = v.shown();
        if (shown.startsWith(u"Код "_s))
            verifyRedBold(v.rtfLog);
        else
            QVERIFY(shown.endsWith(u"the end\n"_s));
    }

    // A log read after a large one shows, even when the large one ends later.
    void selectingAnotherLogWhileOneIsRead()
    {
        writeLog(u"2026-12-05 10-00-00.RTF"_s, plainRtf(u"small"_s));
        writeLog(u"2026-12-05 11-00-00.RTF"_s, longRtf(60000));
        const Viewer v = openViewer(false);
        QTest::keyClick(v.lstFiles, Qt::Key_Down);
        QCOMPARE(v.selected(), u"2026-12-05 10-00-00.RTF"_s);
        QCOMPARE(v.shown(), u"small"_s);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(v.shown(), u"small"_s);
        QVERIFY(!v.window->isLoadingLog());
    }

    void closingWhileALogIsRead()
    {
        writeLog(u"2026-12-05 11-00-00.RTF"_s, longRtf(60000));
        const Viewer v = openViewer(false);
        v.window->close();
        QTRY_VERIFY(!LogsViewer::instance());
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        const Viewer again = openViewer();
        QVERIFY(again.shown().endsWith(u"line 59999\n"_s));
    }

    // Logs of our own writer and of other writers read back with their formatting.
    void logsReadBackWithTheirFormatting_data()
    {
        QTest::addColumn<QString>("file"); // a fixture, or empty for our own writer's log
        QTest::addColumn<QString>("needle");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("centred");

        const QColor black(0, 0, 0), green(0, 128, 0), grey(128, 128, 128), violet(128, 0, 255);
        const QString word = u"word-processor-unicode.rtf"_s;
        QTest::newRow("word processor: time") << word << "12:10:00" << 8.0 << false << grey << true;
        QTest::newRow("word processor: header")
            << word << "Гость (12:03:44 - 05.12.2026)" << 8.0 << true << green << false;
        QTest::newRow("word processor: text")
            << word << "Привет! Как дела? — «ёлка» & {скобки} \\ обратная косая" << 9.0 << false
            << black << false;
        QTest::newRow("word processor: name run")
            << word << "(12:04:01 - 05.12.2026) Bob: " << 8.0 << true << violet << false;
        QTest::newRow("word processor: surrogate pair")
            << word << "Hello 👋 world" << 9.0 << false << black << false;

        const QString richedit = u"richedit-cp1251.rtf"_s;
        QTest::newRow("rich edit: header")
            << richedit << "Гость  (12:03:44 - 05.12.2026)" << 8.0 << true << green << false;
        QTest::newRow("rich edit: text")
            << richedit << "Привет! Как дела?" << 9.0 << false << black << false;
        QTest::newRow("rich edit: time") << richedit << "12:10:00" << 8.0 << false << grey << true;
        QTest::newRow("rich edit: escapes")
            << richedit << "ёлка {x} \\ y" << 9.0 << false << black << false;
        QTest::newRow("rich edit: red")
            << richedit << "Quillet" << 8.0 << true << QColor(255, 0, 0) << false;
        QTest::newRow("rich edit: dash") << richedit << " — dash" << 9.0 << false << black << false;

        QTest::newRow("our writer: time")
            << QString() << "12:10:00" << 8.0 << false << grey << true;
        QTest::newRow("our writer: header")
            << QString() << "Гость (12:03:44 - 05.12.2026)" << 8.0 << true << green << false;
        QTest::newRow("our writer: text")
            << QString() << "Привет! {скобки} \\par не команда 👋" << 9.0 << false << black << false;
        QTest::newRow("our writer: system")
            << QString() << "Код 2" << 10.0 << true << QColor(255, 0, 0) << false;
    }
    void logsReadBackWithTheirFormatting()
    {
        QFETCH(QString, file);
        QFETCH(QString, needle);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QFETCH(QColor, colour);
        QFETCH(bool, centred);

        const QByteArray rtf = file.isEmpty() ? writeRtf(*conversation()) : fixture(file);
        writeLog(u"2026-12-05 12-03-44.RTF"_s, rtf);
        const Viewer v = openViewer();
        QVERIFY2(v.shown().contains(needle), qPrintable(v.shown()));

        const QTextCursor found = v.rtfLog->document()->find(needle);
        QVERIFY(!found.isNull());
        QTextCursor cursor(v.rtfLog->document());
        for (int position = found.selectionStart() + 1; position <= found.selectionEnd();
             ++position) {
            cursor.setPosition(position);
            const QTextCharFormat format = cursor.charFormat();
            QCOMPARE(format.fontPointSize(), points);
            QCOMPARE(format.fontWeight() >= QFont::Bold, bold);
            const QColor shown = format.hasProperty(QTextFormat::ForegroundBrush)
                                     ? format.foreground().color()
                                     : v.rtfLog->palette().color(QPalette::Text);
            QCOMPARE(shown, colour);
        }
        const Qt::Alignment alignment = cursor.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        QCOMPARE(alignment == Qt::AlignHCenter, centred);
    }

    void viewIsReadOnly()
    {
        writeLog(u"a.RTF"_s, plainRtf(u"kept"_s));
        const Viewer v = openViewer();
        v.rtfLog->setFocus();
        QTest::keyClicks(v.rtfLog, u"typed"_s);
        QTest::keyClick(v.rtfLog, Qt::Key_Backspace);
        QTest::keyClick(v.rtfLog, Qt::Key_Delete);
        QCOMPARE(v.shown(), u"kept"_s);
        QCOMPARE(readLog(u"a.RTF"_s), plainRtf(u"kept"_s));
    }

    void showingAgainWhileOpenDoesNotReload()
    {
        writeLog(u"2026-12-05 10-00-00.RTF"_s, plainRtf(u"first"_s));
        const Viewer v = openViewer();
        v.window->move(v.window->pos() + QPoint(13, 7));
        const QPoint moved = v.window->pos();
        writeLog(u"2026-12-05 11-00-00.RTF"_s, plainRtf(u"second"_s));
        const Viewer again = openViewer();
        QCOMPARE(again.window, v.window);
        QCOMPARE(again.names(), QStringList{u"2026-12-05 10-00-00.RTF"_s});
        QCOMPARE(again.shown(), u"first"_s);
        QCOMPARE(again.window->pos(), moved);

        // A minimised viewer comes back as it was, still not reloaded.
        v.window->showMinimized();
        QTRY_VERIFY(v.window->isMinimized());
        const Viewer restored = openViewer();
        QCOMPARE(restored.window, v.window);
        QTRY_VERIFY(!restored.window->isMinimized());
        QCOMPARE(restored.names(), QStringList{u"2026-12-05 10-00-00.RTF"_s});
    }

    void reopeningBuildsTheListAfresh()
    {
        writeLog(u"2026-12-05 10-00-00.RTF"_s, plainRtf(u"first"_s));
        Viewer v = openViewer();
        QTest::mouseClick(v.cmdClose, Qt::LeftButton);
        QTRY_VERIFY(!LogsViewer::instance());

        writeLog(u"2026-12-05 11-00-00.RTF"_s, plainRtf(u"second"_s));
        for (int round = 0; round < 2; ++round) {
            v = openViewer();
            QCOMPARE(v.names(),
                     (QStringList{u"2026-12-05 11-00-00.RTF"_s, u"2026-12-05 10-00-00.RTF"_s}));
            QCOMPARE(v.shown(), u"second"_s);
            // The caption is not appended to again on a later opening.
            QCOMPARE(v.lblTag->text().count(u"Общий размер логов: "_s), 1);
            QCOMPARE(v.lblTag->text(),
                     u"Общий размер логов: "_s + formatByteSize(plainRtf(u"first"_s).size() +
                                                                plainRtf(u"second"_s).size()));
            closeViewer();
        }
    }

    // Esc with no modifier closes the viewer from any of its widgets.
    void escapeCloses_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("closes");
        for (const char *name : {"lstFiles", "rtfLog", "cmdOpenLogsFolder", "cmdClose"}) {
            QTest::addRow("%s, Esc", name) << QString::fromLatin1(name) << 0 << true;
            QTest::addRow("%s, Shift+Esc", name)
                << QString::fromLatin1(name) << int(Qt::ShiftModifier) << false;
        }
        QTest::newRow("Ctrl+Esc") << "lstFiles" << int(Qt::ControlModifier) << false;
        QTest::newRow("Alt+Esc") << "lstFiles" << int(Qt::AltModifier) << false;
    }
    void escapeCloses()
    {
        QFETCH(QString, widget);
        QFETCH(int, modifiers);
        QFETCH(bool, closes);
        writeLog(u"a.RTF"_s, plainRtf(u"x"_s));
        const Viewer v = openViewer();
        QApplication::setActiveWindow(v.window);
        QVERIFY(QTest::qWaitForWindowActive(v.window));
        auto *target = v.window->findChild<QWidget *>(widget);
        QVERIFY(target);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape, Qt::KeyboardModifiers(modifiers));
        if (closes) {
            QTRY_VERIFY(!LogsViewer::instance());
        } else {
            QTest::qWait(50);
            QVERIFY(LogsViewer::instance());
            QVERIFY(v.window->isVisible());
        }
    }

    void placementIsRestoredPerChat()
    {
        Viewer v = openViewer();
        const QPoint centred = v.window->pos();
        const QPoint placed = centred + QPoint(-37, 21);
        v.window->move(placed);
        QTest::mouseClick(v.cmdClose, Qt::LeftButton);
        QTRY_VERIFY(!LogsViewer::instance());

        v = openViewer();
        QCOMPARE(v.window->pos(), placed);
        closeViewer();

        // Another chat has its own placement, and the chat window's is not the viewer's.
        ChatFilePath = m_env->chats() + u"/other.QLIMChat"_s;
        v = openViewer();
        QCOMPARE(v.window->pos(), centred);
        closeViewer();
        QWidget chatWindow;
        chatWindow.setObjectName(u"frmMain"_s);
        chatWindow.resize(300, 200);
        chatWindow.move(centred + QPoint(50, 50));
        saveWindowPlacement(&chatWindow, QString(), ChatFilePath);
        v = openViewer();
        QCOMPARE(v.window->pos(), centred);
    }

    // Turning the wheel over the log while the list has the focus scrolls the log.
    void wheelOverTheLogScrollsIt_data()
    {
        QTest::addColumn<QString>("hooked");
        QTest::newRow("list") << "lstFiles";
        QTest::newRow("close button") << "cmdClose";
        QTest::newRow("folder button") << "cmdOpenLogsFolder";
    }
    void wheelOverTheLogScrollsIt()
    {
        QFETCH(QString, hooked);
        for (int i = 0; i < 40; ++i) {
            writeLog(u"2026-12-%1 10-00-00.RTF"_s.arg(i + 1, 2, 10, '0'_L1), longRtf(300));
        }
        const Viewer v = openViewer();
        QVERIFY(QTest::qWaitForWindowExposed(v.window));
        v.lstFiles->setFocus();
        const int row = v.lstFiles->currentRow();
        const int listScroll = v.lstFiles->verticalScrollBar()->value();
        QCOMPARE(v.rtfLog->verticalScrollBar()->value(), 0);

        auto *widget = v.window->findChild<QWidget *>(hooked);
        QWidget *receiver = widget == v.lstFiles ? v.lstFiles->viewport() : widget;
        sendWheel(receiver, v.rtfLog->mapToGlobal(v.rtfLog->rect().center()), -120);
        QVERIFY(v.rtfLog->verticalScrollBar()->value() > 0);
        QCOMPARE(v.lstFiles->currentRow(), row);
        QCOMPARE(v.lstFiles->verticalScrollBar()->value(), listScroll);
        QCOMPARE(QApplication::focusWidget(), v.lstFiles);
    }

    void wheelOverTheListScrollsTheList()
    {
        for (int i = 0; i < 40; ++i) {
            writeLog(u"2026-12-%1 10-00-00.RTF"_s.arg(i + 1, 2, 10, '0'_L1), longRtf(300));
        }
        const Viewer v = openViewer();
        QVERIFY(QTest::qWaitForWindowExposed(v.window));
        const int row = v.lstFiles->currentRow();
        sendWheel(v.lstFiles->viewport(), v.lstFiles->mapToGlobal(v.lstFiles->rect().center()),
                  -120);
        QVERIFY(v.lstFiles->verticalScrollBar()->value() > 0);
        QCOMPARE(v.lstFiles->currentRow(), row);
        QCOMPARE(v.rtfLog->verticalScrollBar()->value(), 0);
    }

    void quittingTheProgramClosesTheViewer()
    {
        Viewer v = openViewer();
        const QPoint placed = v.window->pos() + QPoint(11, 11);
        v.window->move(placed);
        QMetaObject::invokeMethod(qApp, "aboutToQuit");
        QVERIFY(!LogsViewer::instance());
        v = openViewer();
        QCOMPARE(v.window->pos(), placed);
    }

private:
    static QStringList logNames()
    {
        return {u"2026-01-31 23-59-59.RTF"_s, u"2026-12-05 09-05-00.RTF"_s,
                u"2026-12-05 16-24-27.RTF"_s};
    }
    static QStringList reversed(QStringList list)
    {
        std::reverse(list.begin(), list.end());
        return list;
    }

    static QByteArray fixture(const QString &name)
    {
        QFile file(TestEnvironment::sourceDir() + u"/tests/data/rtf/"_s + name);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("missing fixture %s", qPrintable(name));
        return file.readAll();
    }

    // A conversation as the chat window renders it: a centred time stamp, a bold
    // coloured header, the message text, and a system line.
    static std::unique_ptr<QTextDocument> conversation()
    {
        auto document = std::make_unique<QTextDocument>();
        QTextCursor cursor(document.get());
        const auto run = [&cursor](const QString &text, double points, bool bold, QColor colour) {
            QTextCharFormat format;
            format.setFontPointSize(points);
            format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
            format.setForeground(colour);
            cursor.insertText(text, format);
        };
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        cursor.setBlockFormat(centred);
        run(u"12:10:00"_s, 8, false, QColor(128, 128, 128));
        cursor.insertBlock(QTextBlockFormat());
        run(u"Гость (12:03:44 - 05.12.2026)"_s, 8, true, QColor(0, 128, 0));
        cursor.insertBlock();
        run(u"Привет! {скобки} \\par не команда 👋"_s, 9, false, QColor(0, 0, 0));
        cursor.insertBlock();
        run(u"Код 2"_s, 10, true, QColor(255, 0, 0));
        return document;
    }

    // The logs folder, made by the test as the conversation log would.
    static QString logsFolder()
    {
        const Result<QString> folder = quillet::logsFolder(false);
        return folder ? folder.value() : QString();
    }
    static QString writeLog(const QString &name, const QByteArray &content)
    {
        const QString path = joinPath(logsFolder(), name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    static QByteArray readLog(const QString &name)
    {
        QFile file(joinPath(logsFolder(), name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Opens the viewer; unless told not to, waits until its log is shown.
    static Viewer openViewer(bool waitForLog = true)
    {
        showLogsViewer();
        Viewer v;
        v.window = LogsViewer::instance();
        if (!v.window)
            return v;
        v.lstFiles = v.window->findChild<QListWidget *>(u"lstFiles"_s);
        v.rtfLog = v.window->findChild<QTextEdit *>(u"rtfLog"_s);
        v.lblTag = v.window->findChild<QLabel *>(u"lblTag"_s);
        v.cmdOpenLogsFolder = v.window->findChild<QPushButton *>(u"cmdOpenLogsFolder"_s);
        v.cmdClose = v.window->findChild<QPushButton *>(u"cmdClose"_s);
        if (waitForLog)
            (void)QTest::qWaitFor([&v] { return !v.window->isLoadingLog(); }, 60000);
        return v;
    }
    static void closeViewer()
    {
        if (LogsViewer *open = LogsViewer::instance())
            open->close();
        QTRY_VERIFY(!LogsViewer::instance());
    }

    static void verifyRedBold(QTextEdit *log)
    {
        QTextCursor cursor(log->document());
        cursor.movePosition(QTextCursor::NextCharacter);
        const QTextCharFormat format = cursor.charFormat();
        QCOMPARE(format.foreground().color(), QColor(255, 0, 0));
        QCOMPARE(format.fontWeight(), int(QFont::Bold));
    }

    static void sendWheel(QWidget *receiver, const QPoint &global, int delta)
    {
        QWheelEvent wheel(receiver->mapFromGlobal(QPointF(global)), QPointF(global), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(receiver, &wheel);
    }

    std::unique_ptr<TestEnvironment> m_env;
    QList<BoxRequest> m_boxes;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestLogsViewer)
#include "tst_frmlogsviewer.moc"
