#include "frmlogsviewer.h"

#include "boxes.h"
#include "logdocument.h"
#include "logslist.h"
#include "placement.h"
#include "resources.h"
#include "settings.h"
#include "shell.h"
#include "support.h"

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

namespace {

QPointer<frmLogsViewer> &openViewer()
{
    static QPointer<frmLogsViewer> viewer;
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

void ShowLogsViewer()
{
    QPointer<frmLogsViewer> &viewer = openViewer();
    if (!viewer) {
        viewer = new frmLogsViewer;
        // The viewer has no owner: close it with the program so its placement is kept.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, viewer, [] {
            if (frmLogsViewer *open = openViewer())
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

frmLogsViewer::frmLogsViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmLogsViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quillet IM :: Просмотр логов"));
    setFont(viewerFont());
    setFixedSize(574, 349);
    createWidgets();
    Form_Load();
}

frmLogsViewer::~frmLogsViewer()
{
    Form_Unload();
}

frmLogsViewer *frmLogsViewer::instance()
{
    return openViewer().data();
}

QFont frmLogsViewer::viewerFont()
{
    if (QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive))
        return QFont(QStringLiteral("Tahoma"), 9);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(9);
    return font;
}

void frmLogsViewer::createWidgets()
{
    // Created in tab order; positions are fixed, the window is not resized.
    lstFiles = new QListWidget(this);
    lstFiles->setObjectName(QStringLiteral("lstFiles"));
    lstFiles->setGeometry(4, 4, 169, 305);
    lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);

    rtfLog = new QTextEdit(this);
    rtfLog->setObjectName(QStringLiteral("rtfLog"));
    rtfLog->setGeometry(180, 4, 389, 305);
    rtfLog->setReadOnly(true);
    rtfLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_tagCaption = QStringLiteral("Общий размер логов: ");
    lblTag = new QLabel(m_tagCaption, this);
    lblTag->setObjectName(QStringLiteral("lblTag"));
    lblTag->move(12, 320);
    lblTag->adjustSize();

    cmdOpenLogsFolder = new QPushButton(QStringLiteral("Открыть папку с логами"), this);
    cmdOpenLogsFolder->setObjectName(QStringLiteral("cmdOpenLogsFolder"));
    cmdOpenLogsFolder->setGeometry(304, 316, 177, 29);
    cmdOpenLogsFolder->setAutoDefault(false);

    cmdClose = new QPushButton(QStringLiteral("Закрыть"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(488, 316, 81, 29);
    cmdClose->setAutoDefault(false);

    m_loader = new LogLoader(this);
    connect(m_loader, &LogLoader::loaded, this,
            [this](QTextDocument *document) { takeLog(document); });
    connect(lstFiles, &QListWidget::currentRowChanged, this, [this] { lstFiles_Click(); });
    connect(cmdOpenLogsFolder, &QPushButton::clicked, this, [this] { cmdOpenLogsFolder_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    // Esc without Shift, Ctrl or Alt closes the viewer from any of its widgets.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] { cmdClose_Click(); });
}

void frmLogsViewer::Form_Load()
{
    bfCenterFormEx(this);
    bfSetWindowResIconAll(this, QStringLiteral("A_MAIN"));
    FillLogsList();
    StartSubclassing();
    LoadViewerPlacement();
}

void frmLogsViewer::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    SaveViewerPlacement();
    StopSubclassing();
}

void frmLogsViewer::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmLogsViewer::FillLogsList()
{
    const WaitCursor wait;
    const Result<QString> folder = GetLogsFolder(true);
    m_logsFolder = folder ? folder.value() : QString();
    lstFiles->clear();
    const LogsList list =
        BuildLogsList(m_logsFolder, Settings.SortLogsList, Settings.SortLogsDescending);
    lstFiles->addItems(list.names);
    if (list.selected >= 0)
        lstFiles->setCurrentRow(list.selected);
    lblTag->setText(m_tagCaption + bfFormatByteSizeEx(list.totalSize));
    lblTag->adjustSize();
}

void frmLogsViewer::lstFiles_Click()
{
    const QListWidgetItem *item = lstFiles->currentItem();
    if (!item)
        return;
    showLog(bfBuildFileName(m_logsFolder, item->text()));
}

void frmLogsViewer::showLog(const QString &path)
{
    // The view is emptied at once and takes the log when it has been read.
    rtfLog->clear();
    m_loader->load(path, font());
}

void frmLogsViewer::takeLog(QTextDocument *document)
{
    // The view never deletes a document it was given: it is the view's child,
    // and the previous log goes now.
    document->setParent(rtfLog);
    rtfLog->setDocument(document);
    delete m_document;
    m_document = document;
    emit logShown();
}

bool frmLogsViewer::isLoadingLog() const
{
    return m_loader->isLoading();
}

void frmLogsViewer::cmdOpenLogsFolder_Click()
{
    if (Shell::openFolder(m_logsFolder))
        return;
    Boxes::message(this,
                   m_logsFolder + QStringLiteral("\r\n\r\nНе удалось открыть папку с логами."),
                   MB_OK | MB_ICONSTOP);
}

void frmLogsViewer::cmdClose_Click()
{
    close();
}

void frmLogsViewer::StartSubclassing()
{
    // The list takes wheel turns on its viewport, so both are watched.
    m_hooked = {lstFiles, lstFiles->viewport(), cmdClose, cmdOpenLogsFolder};
    for (QWidget *widget : std::as_const(m_hooked))
        widget->installEventFilter(this);
}

void frmLogsViewer::StopSubclassing()
{
    for (QWidget *widget : std::as_const(m_hooked))
        widget->removeEventFilter(this);
    m_hooked.clear();
}

bool frmLogsViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel && m_hooked.contains(watched))
        return forwardWheelToLog(event);
    return QWidget::eventFilter(watched, event);
}

bool frmLogsViewer::forwardWheelToLog(QEvent *event)
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

void frmLogsViewer::LoadViewerPlacement()
{
    RestoreFormPlacement(this, QString(), ChatFilePath);
}

void frmLogsViewer::SaveViewerPlacement()
{
    SaveFormPlacement(this, QString(), ChatFilePath);
}
