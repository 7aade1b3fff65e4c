#include "logsviewer/logsviewer.h"

#include "core/support.h"
#include "gui/boxes.h"
#include "gui/fonts.h"
#include "gui/layout.h"
#include "gui/links.h"
#include "gui/placement.h"
#include "gui/resources.h"
#include "gui/shell.h"
#include "gui/singlewindow.h"
#include "gui/wheelforwarding.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "logsviewer/logsearchpanel.h"
#include "logsviewer/logslist.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// The stored section of the window's placement, named as the stores know it.
const QString PlacementSection = u"Placement frmLogsViewer"_s;
// The window's design, in pixels at 96 dpi: the list and the log take the
// room a larger window has, the row of buttons keeps its height.
constexpr QSize ListMinimumSize(169, 305);
constexpr QSize LogMinimumSize(389, 305);
constexpr QSize OpenFolderButtonSize(177, 29);
constexpr QSize CloseButtonSize(81, 29);
constexpr int Spacing = 7;
constexpr int LabelIndent = 8;
// The search opens below the list and the log, so that neither moves.
constexpr int SearchPanelHeight = 184;
// The list is wide enough for the names of the logs in the desktop's font.
const QString SampleLogName = u"2026-12-31 23-59-59.RTF"_s;

SingleWindow<LogsViewer> &openViewer()
{
    static SingleWindow<LogsViewer> viewer;
    return viewer;
}

// Keeps the wait cursor up for the life of a scope, whatever way it is left.
class WaitCursor final
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    Q_DISABLE_COPY_MOVE(WaitCursor)
};

} // namespace

void showLogsViewer(const QString &chatFile)
{
    openViewer().show([&] {
        auto *viewer = new LogsViewer(chatFile);
        // The viewer has no owner: close it with the program so its placement is kept.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, viewer, [viewer] {
            viewer->close();
            delete viewer;
        });
        return viewer;
    });
}

LogsViewer::LogsViewer(const QString &chatFile, QWidget *parent)
    : QWidget(parent, Qt::Window), m_chatFile(chatFile)
{
    setObjectName(u"LogsViewer"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Quillet IM :: Просмотр логов"_s);
    createWidgets();
    layOut();
    load();
}

LogsViewer::~LogsViewer()
{
    unload();
}

LogsViewer *LogsViewer::instance()
{
    return openViewer().window();
}

void LogsViewer::createWidgets()
{
    // Created in tab order.
    lstFiles = new QListWidget(this);
    lstFiles->setObjectName(u"lstFiles"_s);
    lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    const int nameWidth = lstFiles->fontMetrics().horizontalAdvance(SampleLogName) +
                          lstFiles->verticalScrollBar()->sizeHint().width() +
                          2 * lstFiles->frameWidth() + 2 * Spacing;
    // The log takes the width a larger window has; the list, only the height.
    lstFiles->setFixedWidth(qMax(ListMinimumSize.width(), nameWidth));
    lstFiles->setMinimumHeight(ListMinimumSize.height());

    rtfLog = new QTextEdit(this);
    rtfLog->setObjectName(u"rtfLog"_s);
    rtfLog->setMinimumSize(LogMinimumSize);
    rtfLog->setFont(conversationFont());
    rtfLog->setReadOnly(true);
    rtfLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    enableLinks(rtfLog);

    m_tagCaption = u"Общий размер логов: "_s;
    lblTag = new QLabel(m_tagCaption, this);
    lblTag->setObjectName(u"lblTag"_s);

    cmdOpenLogsFolder = new QPushButton(u"Открыть папку с логами"_s, this);
    cmdOpenLogsFolder->setObjectName(u"cmdOpenLogsFolder"_s);
    setDesignSize(cmdOpenLogsFolder, OpenFolderButtonSize);
    cmdOpenLogsFolder->setAutoDefault(false);

    cmdClose = new QPushButton(u"Закрыть"_s, this);
    cmdClose->setObjectName(u"cmdClose"_s);
    setDesignSize(cmdClose, CloseButtonSize);
    cmdClose->setAutoDefault(false);

    // Last, so that the search follows the buttons in the tab order.
    m_searchPanel = new LogSearchPanel(this);
    m_searchPanel->setMinimumHeight(SearchPanelHeight);
    m_searchPanel->hide();
    connect(m_searchPanel, &LogSearchPanel::resultChosen, this,
            [this](const LogSearchResult &result) { showResult(result); });

    // The search is offered by its key and in the context menus of the list and
    // the log, so the window looks as it always did until it is used.
    m_findAction = new QAction(u"Найти…"_s, this);
    m_findAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    m_findAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_findAction);
    connect(m_findAction, &QAction::triggered, this, [this] { openSearch(); });
    for (QAbstractScrollArea *area : {static_cast<QAbstractScrollArea *>(lstFiles),
                                      static_cast<QAbstractScrollArea *>(rtfLog)}) {
        area->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(area, &QWidget::customContextMenuRequested, this,
                [this, area](const QPoint &pos) { showContextMenu(area, pos); });
    }
    auto *findNext = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(findNext, &QShortcut::activated, this, [this] { goToMatch(true); });
    auto *findPrevious = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(findPrevious, &QShortcut::activated, this, [this] { goToMatch(false); });

    m_loader = new LogLoader(this);
    connect(m_loader, &LogLoader::loaded, this,
            [this](QTextDocument *document) { takeLog(document); });
    connect(lstFiles, &QListWidget::currentRowChanged, this, [this] {
        m_rowChangedByPress = true;
        showSelectedLog();
    });
    // A click on the log already selected reads it again: the chat may have
    // rewritten it, or it may be gone.
    connect(lstFiles, &QListWidget::itemClicked, this, [this] {
        if (!m_rowChangedByPress)
            showSelectedLog();
    });
    connect(cmdOpenLogsFolder, &QPushButton::clicked, this, [this] { openLogsFolder(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { closeViewer(); });
    // Esc without Shift, Ctrl or Alt closes the search when it is open, else the
    // viewer, from any of its widgets.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { escapePressed(); });
}

// The list and the log side by side, the total size and the buttons under
// them, and under those the search while it is open.
void LogsViewer::layOut()
{
    auto *views = new QHBoxLayout;
    views->setSpacing(Spacing);
    views->addWidget(lstFiles);
    views->addWidget(rtfLog, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(Spacing);
    buttons->addSpacing(LabelIndent);
    buttons->addWidget(lblTag);
    buttons->addStretch(1);
    buttons->addWidget(cmdOpenLogsFolder);
    buttons->addWidget(cmdClose);

    auto *window = new QVBoxLayout(this);
    window->setContentsMargins(4, 4, 5, 4);
    window->setSpacing(Spacing);
    window->addLayout(views, 1);
    window->addLayout(buttons);
    window->addWidget(m_searchPanel);
    resize(minimumSizeHint());
}

void LogsViewer::load()
{
    centerOnScreen(this);
    setWindowIconFromResource(this, u"A_MAIN"_s);
    fillLogsList();
    installEventFilters();
    restorePlacement();
}

void LogsViewer::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_searchPanel->cancel();
    closeSearch(); // the placement is kept for the window without the search
    savePlacement();
    removeEventFilters();
}

void LogsViewer::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void LogsViewer::fillLogsList()
{
    const WaitCursor wait;
    const Result<QString> folder = logsFolder(m_chatFile, true);
    m_logsFolder = folder ? folder.value() : QString();
    m_searchPanel->setLogsFolder(m_logsFolder);
    lstFiles->clear();
    const LogsList list =
        buildLogsList(m_logsFolder, appSettings().sortLogsList, appSettings().sortLogsDescending);
    lstFiles->addItems(list.names);
    if (list.selected >= 0)
        lstFiles->setCurrentRow(list.selected);
    lblTag->setText(m_tagCaption + formatByteSize(list.totalSize));
}

void LogsViewer::showSelectedLog()
{
    const QListWidgetItem *item = lstFiles->currentItem();
    if (!item)
        return;
    showLog(joinPath(m_logsFolder, item->text()));
}

void LogsViewer::showLog(const QString &path)
{
    // The view is emptied at once and takes the log when it has been read.
    rtfLog->clear();
    m_requestedPath = path;
    m_loader->load(path, rtfLog->font());
}

void LogsViewer::takeLog(QTextDocument *document)
{
    // The view never deletes a document it was given: it is the view's child,
    // and the previous log goes now.
    document->setParent(rtfLog);
    rtfLog->setDocument(document);
    delete m_document;
    m_document = document;
    m_shownPath = m_requestedPath;
    m_matchesQuery.reset();
    if (m_pendingMatch && m_pendingMatch->path == m_shownPath)
        selectMatch(m_pendingMatch->position, m_pendingMatch->length);
    m_pendingMatch.reset();
    emit logShown();
}

bool LogsViewer::isLoadingLog() const
{
    return m_loader->isLoading();
}

void LogsViewer::openSearch()
{
    if (!isSearchOpen()) {
        QWidget *focused = QApplication::focusWidget();
        m_focusBeforeSearch = isAncestorOf(focused) ? focused : nullptr;
        const int heightWithout = height();
        m_searchPanel->show();
        resize(width(), heightWithout + SearchPanelHeight + Spacing);
        // The window grows downwards; near the bottom of the screen it moves up instead.
        if (const QScreen *screen = this->screen()) {
            const QRect available = screen->availableGeometry();
            const QRect frame = frameGeometry();
            if (frame.bottom() > available.bottom()) {
                const QPoint from = pos();
                move(x(), qMax(available.top(), y() - (frame.bottom() - available.bottom())));
                m_shiftedFrom = std::pair{from, pos()};
            }
        }
    }
    m_searchPanel->focusField();
}

void LogsViewer::closeSearch()
{
    if (!isSearchOpen())
        return;
    const bool hadFocus = m_searchPanel->isAncestorOf(QApplication::focusWidget());
    const int heightWithout = height() - m_searchPanel->height() - Spacing;
    m_searchPanel->hide();
    // The layout's smaller minimum takes effect when it is next activated.
    layout()->activate();
    resize(width(), heightWithout);
    // Back where it was before the search moved it up, unless the user moved it since.
    if (m_shiftedFrom && pos() == m_shiftedFrom->second)
        move(m_shiftedFrom->first);
    m_shiftedFrom.reset();
    if (hadFocus)
        (m_focusBeforeSearch ? m_focusBeforeSearch.data() : rtfLog)->setFocus();
}

bool LogsViewer::isSearchOpen() const
{
    return m_searchPanel->isVisibleTo(this);
}

void LogsViewer::escapePressed()
{
    if (isSearchOpen())
        closeSearch();
    else
        closeViewer();
}

void LogsViewer::showContextMenu(QAbstractScrollArea *area, const QPoint &pos)
{
    QMenu *menu = area == rtfLog ? rtfLog->createStandardContextMenu() : new QMenu(this);
    if (area == rtfLog)
        addLinkActions(menu, *rtfLog, pos);
    if (!menu->isEmpty())
        menu->addSeparator();
    menu->addAction(m_findAction);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(area->viewport()->mapToGlobal(pos));
}

void LogsViewer::showResult(const LogSearchResult &result)
{
    m_pendingMatch.reset();
    if (!result.error)
        m_pendingMatch = PendingMatch{result.logPath, result.position, result.length};
    if (result.logPath == m_requestedPath) {
        if (isLoadingLog())
            return; // the match is selected when the log arrives
        if (result.logPath == m_shownPath) {
            if (m_pendingMatch)
                selectMatch(m_pendingMatch->position, m_pendingMatch->length);
            m_pendingMatch.reset();
            return;
        }
    }
    // Through the list when the log is listed, so the list names the log shown.
    const QString name = fileNameOf(result.logPath);
    const QList<QListWidgetItem *> items = lstFiles->findItems(name, Qt::MatchExactly);
    if (!items.isEmpty() && joinPath(m_logsFolder, name) == result.logPath &&
        lstFiles->currentItem() != items.first()) {
        lstFiles->setCurrentItem(items.first());
        return;
    }
    if (items.isEmpty()) {
        // Begun after the list was filled: shown without a list item.
        const QSignalBlocker blocker(lstFiles);
        lstFiles->setCurrentRow(-1);
    }
    showLog(result.logPath);
}

void LogsViewer::selectMatch(qsizetype position, qsizetype length)
{
    QTextDocument *document = rtfLog->document();
    if (position < 0 || length < 0 || position + length >= document->characterCount())
        return;
    QTextCursor cursor(document);
    cursor.setPosition(int(position));
    cursor.setPosition(int(position + length), QTextCursor::KeepAnchor);
    rtfLog->setTextCursor(cursor);
    rtfLog->ensureCursorVisible();
    m_searchPanel->markCurrent(m_shownPath, position);
}

void LogsViewer::goToMatch(bool forward)
{
    const QString query = m_searchPanel->query();
    if (!m_document || isLoadingLog() || LogTextSearch::fold(query).trimmed().isEmpty())
        return;
    if (m_matchesQuery != query) {
        // The same search as across the logs, so the same places are found.
        m_matches = LogTextSearch::search(m_document->toPlainText(), query);
        m_matchesQuery = query;
    }
    if (m_matches.isEmpty())
        return;
    const QTextCursor cursor = rtfLog->textCursor();
    const qsizetype at = cursor.hasSelection() ? cursor.selectionStart() : cursor.position();
    const LogSearchResult *target = nullptr;
    if (forward) {
        for (const LogSearchResult &match : std::as_const(m_matches)) {
            if (match.position > at || (!cursor.hasSelection() && match.position == at)) {
                target = &match;
                break;
            }
        }
        if (!target)
            target = &m_matches.first();
    } else {
        for (auto it = m_matches.crbegin(); it != m_matches.crend() && !target; ++it) {
            if (it->position < at)
                target = &*it;
        }
        if (!target)
            target = &m_matches.last();
    }
    selectMatch(target->position, target->length);
}

void LogsViewer::openLogsFolder()
{
    if (Shell::openFolder(m_logsFolder))
        return;
    Boxes::message(this, m_logsFolder + u"\r\n\r\nНе удалось открыть папку с логами."_s,
                   BoxStyle{BoxButtons::Ok, BoxIcon::Stop});
}

void LogsViewer::closeViewer()
{
    close();
}

void LogsViewer::installEventFilters()
{
    // The list takes wheel turns on its viewport, so both are watched.
    m_hooked = {lstFiles, lstFiles->viewport(), cmdClose, cmdOpenLogsFolder};
    for (QWidget *widget : std::as_const(m_hooked))
        widget->installEventFilter(this);
}

void LogsViewer::removeEventFilters()
{
    for (QWidget *widget : std::as_const(m_hooked))
        widget->removeEventFilter(this);
    m_hooked.clear();
}

bool LogsViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel && m_hooked.contains(watched))
        return forwardWheelToView(this, rtfLog, *static_cast<QWheelEvent *>(event));
    if (event->type() == QEvent::MouseButtonPress && watched == lstFiles->viewport())
        m_rowChangedByPress = false;
    return QWidget::eventFilter(watched, event);
}

void LogsViewer::restorePlacement()
{
    restoreWindowPlacement(this, PlacementSection, m_chatFile);
}

void LogsViewer::savePlacement()
{
    // The viewer closes whatever happens; a lost placement is only noted.
    if (const Status saved = saveWindowPlacement(this, PlacementSection, m_chatFile); !saved)
        qWarning("cannot store the logs viewer's placement: %s",
                 qPrintable(saved.error().description));
}

} // namespace quillet
