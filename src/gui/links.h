#pragma once

#include <QPoint>
#include <QUrl>

class QMenu;
class QTextEdit;

// Links in read-only rich-text views (the conversation, the logs viewer's log):
// anchors whose address isOpenableLink; no other anchor is ever opened or copied.

namespace quillet {

// Gives `view` link behaviour: the pointer is a pointing hand over a link, and a
// left click on one (not a drag that selects) opens it with the desktop's handler.
// The view keeps selecting text as before.
void enableLinks(QTextEdit *view);

// The openable link at a point of the view's viewport; empty for none.
QUrl linkAt(const QTextEdit &view, const QPoint &viewportPos);

// Puts "Копировать адрес ссылки" (copies the address to the clipboard) at the top
// of `menu`, with a separator before the entries already there, when
// `viewportPos` is on a link.
void addLinkActions(QMenu *menu, const QTextEdit &view, const QPoint &viewportPos);

// Opens `url` with the desktop's handler when it is openable; false when it is not
// or no handler took it.
bool openLink(const QUrl &url);

} // namespace quillet
