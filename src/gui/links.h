#pragma once

#include <QPoint>
#include <QUrl>

class QMenu;
class QTextEdit;
class QWidget;

// Links in read-only rich-text views (the conversation, the logs viewer's log):
// anchors whose address isStoredLink; no other anchor is ever opened or copied.
// A link to a file goes through the file actions, which never run it.

namespace quillet {

// Gives `view` link behaviour: the pointer is a pointing hand over a link, and a
// left click on one (not a drag that selects) opens it with the desktop's handler.
// The view keeps selecting text as before.
void enableLinks(QTextEdit *view);

// The stored link at a point of the view's viewport; empty for none.
QUrl linkAt(const QTextEdit &view, const QPoint &viewportPos);

// Puts the link's actions at the top of `menu`, with a separator before the
// entries already there, when `viewportPos` is on a link: "Копировать адрес
// ссылки" (to the clipboard), or for a file "Открыть" (disabled when it might
// run), "Сохранить как…" and "Показать в папке".
void addLinkActions(QMenu *menu, QTextEdit &view, const QPoint &viewportPos);

// Opens `url` with the desktop's handler when it is openable, a file through
// openFile (boxes over `parent`'s window); false when it is neither or no
// handler took it.
bool openLink(QWidget *parent, const QUrl &url);

} // namespace quillet
