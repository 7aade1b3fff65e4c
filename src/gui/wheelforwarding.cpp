#include "gui/wheelforwarding.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QWheelEvent>

namespace quillet {

bool forwardWheelToView(QWidget *window, QAbstractScrollArea *view, const QWheelEvent &wheel)
{
    const QWidget *child = window->childAt(window->mapFromGlobal(wheel.globalPosition().toPoint()));
    if (!child || (child != view && !view->isAncestorOf(child)))
        return false;
    QWidget *receiver = view->viewport();
    QWheelEvent forwarded(receiver->mapFromGlobal(wheel.globalPosition()), wheel.globalPosition(),
                          wheel.pixelDelta(), wheel.angleDelta(), wheel.buttons(),
                          wheel.modifiers(), wheel.phase(), wheel.inverted(), wheel.source(),
                          wheel.pointingDevice());
    QCoreApplication::sendEvent(receiver, &forwarded);
    return true;
}

} // namespace quillet
