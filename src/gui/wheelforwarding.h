#pragma once

class QAbstractScrollArea;
class QWheelEvent;
class QWidget;

namespace quillet {

// A wheel turn that reaches `window` while the mouse is over `view` (one of its
// children) scrolls the view, wherever the keyboard focus (and so the turn) is.
// True when the turn was passed on.
bool forwardWheelToView(QWidget *window, QAbstractScrollArea *view, const QWheelEvent &wheel);

} // namespace quillet
