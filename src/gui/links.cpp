#include "gui/links.h"

#include "core/links.h"
#include "gui/fileactions.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QTextEdit>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// Watches the view's viewport for the pointer over links and clicks on them.
class LinkInteraction final : public QObject
{
public:
    explicit LinkInteraction(QTextEdit *view) : QObject(view), m_view(view)
    {
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPointer(bool overLink);

    QTextEdit *m_view;
    bool m_overLink = false;
    QCursor m_pointer;  // the viewport's own, back when the pointer leaves a link
    QUrl m_pressedLink; // the link the left button went down on
};

bool LinkInteraction::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        showPointer(
            !linkAt(*m_view, static_cast<QMouseEvent *>(event)->position().toPoint()).isEmpty());
        break;
    case QEvent::Leave:
        showPointer(false);
        break;
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        m_pressedLink = mouse->button() == Qt::LeftButton
                            ? linkAt(*m_view, mouse->position().toPoint())
                            : QUrl();
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        // A drag that selects text ends on a link as often as a click does.
        if (mouse->button() == Qt::LeftButton && !m_pressedLink.isEmpty() &&
            !m_view->textCursor().hasSelection() &&
            linkAt(*m_view, mouse->position().toPoint()) == m_pressedLink)
            openLink(m_view, m_pressedLink);
        m_pressedLink.clear();
        break;
    }
    default:
        break;
    }
    return false; // the view selects and scrolls as it always does
}

void LinkInteraction::showPointer(bool overLink)
{
    if (overLink == m_overLink)
        return;
    m_overLink = overLink;
    QWidget *viewport = m_view->viewport();
    if (overLink) {
        m_pointer = viewport->cursor();
        viewport->setCursor(Qt::PointingHandCursor);
    } else {
        viewport->setCursor(m_pointer);
    }
}

} // namespace

void enableLinks(QTextEdit *view)
{
    new LinkInteraction(view);
}

QUrl linkAt(const QTextEdit &view, const QPoint &viewportPos)
{
    const QUrl url(view.anchorAt(viewportPos));
    return isStoredLink(url) ? url : QUrl();
}

void addLinkActions(QMenu *menu, QTextEdit &view, const QPoint &viewportPos)
{
    const QUrl url = linkAt(view, viewportPos);
    if (url.isEmpty())
        return;
    QAction *first = menu->actions().value(0);
    const auto add = [&](const QString &text, auto triggered) {
        auto *action = new QAction(text, menu);
        QObject::connect(action, &QAction::triggered, &view, triggered);
        menu->insertAction(first, action);
        return action;
    };
    if (isFileLink(url)) {
        const QString path = url.toLocalFile();
        QWidget *owner = view.window();
        // A file that might run is never opened, only shown in its folder.
        add(u"Открыть"_s, [owner, path] { openFile(owner, path); })->setEnabled(!mightRun(path));
        add(u"Сохранить как…"_s, [owner, path] { saveFileCopy(owner, path); });
        add(u"Показать в папке"_s, [owner, path] { showFileInFolder(owner, path); });
    } else {
        add(u"Копировать адрес ссылки"_s,
            [url] { QApplication::clipboard()->setText(url.toString(QUrl::FullyEncoded)); });
    }
    if (first)
        menu->insertSeparator(first);
}

bool openLink(QWidget *parent, const QUrl &url)
{
    if (isFileLink(url)) {
        openFile(parent ? parent->window() : nullptr, url.toLocalFile());
        return true;
    }
    return isOpenableLink(url) && QDesktopServices::openUrl(url);
}

} // namespace quillet
