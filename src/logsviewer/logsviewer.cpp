#include "logsviewer/logsviewer.h"

#include "core/support.h"
#include "gui/boxes.h"
#include "gui/placement.h"
#include "gui/resources.h"
#include "gui/shell.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logslist.h"
#include "settings/settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>
#include <QTextEdit>
#include <QWheelEvent>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

QPointer<LogsViewer> &openViewer()
{
    static QPointer<LogsViewer> viewer;
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

void showLogsViewer()
{
    QPointer<LogsViewer> &viewer = openViewer();
    if (!viewer) {
        viewer = new LogsViewer;
        // The viewer has no owner: close it with the program so its placement is kept.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, viewer, [] {
            if (LogsViewer *open = openViewer())
                open->close();
            delete openViewer().data();
        });
    }
    if (viewer->isMinimized())
        viewer->showNormal();
    else
        viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

LogsViewer::LogsViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"frmLogsViewer"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Quillet IM :: Просмотр логов"_s);
    setFont(viewerFont());
    setFixedSize(574, 349);
    createWidgets();
    load();
}

LogsViewer::~LogsViewer()
{
    unload();
}

LogsViewer *LogsViewer::instance()
{
    return openViewer().data();
}

QFont LogsViewer::viewerFont()
{
    if (QFontDatabase::families().contains(u"Tahoma"_s, Qt::CaseInsensitive))
        return QFont(u"Tahoma"_s, 9);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(9);
    return font;
}

void LogsViewer::createWidgets()
{
    // Created in tab order; positions are fixed, the window is not resized.
    lstFiles = new QListWidget(this);
    lstFiles->setObjectName(u"lstFiles"_s);
    lstFiles->setGeometry(4, 4, 169, 305);
    lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);

    rtfLog = new QTextEdit(this);
    rtfLog->setObjectName(u"rtfLog"_s);
    rtfLog->setGeometry(180, 4, 389, 305);
    rtfLog->setReadOnly(true);
    rtfLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_tagCaption = u"Общий размер логов: "_s;
    lblTag = new QLabel(m_tagCaption, this);
    lblTag->setObjectName(u"lblTag"_s);
    lblTag->move(12, 320);
    lblTag->adjustSize();

    cmdOpenLogsFolder = new QPushButton(u"Открыть папку с логами"_s, this);
    cmdOpenLogsFolder->setObjectName(u"cmdOpenLogsFolder"_s);
    cmdOpenLogsFolder->setGeometry(304, 316, 177, 29);
    cmdOpenLogsFolder->setAutoDefault(false);

    cmdClose = new QPushButton(u"Закрыть"_s, this);
    cmdClose->setObjectName(u"cmdClose"_s);
    cmdClose->setGeometry(488, 316, 81, 29);
    cmdClose->setAutoDefault(false);

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
    // Esc without Shift, Ctrl or Alt closes the viewer from any of its widgets.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { closeViewer(); });
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
    const Result<QString> folder = logsFolder(true);
    m_logsFolder = folder ? folder.value() : QString();
    lstFiles->clear();
    const LogsList list =
        buildLogsList(m_logsFolder, appSettings().sortLogsList, appSettings().sortLogsDescending);
    lstFiles->addItems(list.names);
    if (list.selected >= 0)
        lstFiles->setCurrentRow(list.selected);
    lblTag->setText(m_tagCaption + formatByteSize(list.totalSize));
    lblTag->adjustSize();
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
    m_loader->load(path, font());
}

void LogsViewer::takeLog(QTextDocument *document)
{
    // The view never deletes a document it was given: it is the view's child,
    // and the previous log goes now.
    document->setParent(rtfLog);
    rtfLog->setDocument(document);
    delete m_document;
    m_document = document;
    emit logShown();
}

bool LogsViewer::isLoadingLog() const
{
    return m_loader->isLoading();
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
        return forwardWheelToLog(event);
    if (event->type() == QEvent::MouseButtonPress && watched == lstFiles->viewport())
        m_rowChangedByPress = false;
    return QWidget::eventFilter(watched, event);
}

bool LogsViewer::forwardWheelToLog(QEvent *event)
{
    const auto *wheel = static_cast<QWheelEvent *>(event);
    const QPoint global = wheel->globalPosition().toPoint();
    const QWidget *child = childAt(mapFromGlobal(global));
    if (!child || (child != rtfLog && !rtfLog->isAncestorOf(child)))
        return false;
    QWidget *target = rtfLog->viewport();
    QWheelEvent forwarded(target->mapFromGlobal(wheel->globalPosition()), wheel->globalPosition(),
                          wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
                          wheel->modifiers(), wheel->phase(), wheel->inverted(), wheel->source());
    QCoreApplication::sendEvent(target, &forwarded);
    return true;
}

void LogsViewer::restorePlacement()
{
    restoreWindowPlacement(this, QString(), ChatFilePath);
}

void LogsViewer::savePlacement()
{
    saveWindowPlacement(this, QString(), ChatFilePath);
}

} // namespace quillet
