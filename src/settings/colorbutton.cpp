#include "settings/colorbutton.h"

#include "gui/dialogs.h"

#include <QColor>
#include <QPainter>
#include <QPalette>

namespace quillet {

ColorButton::ColorButton(QWidget *parent) : QPushButton(parent)
{
    setFlat(true);
    setAutoFillBackground(true);
    setColor(0);
}

void ColorButton::setColor(qint32 color)
{
    m_color = color & 0x00FFFFFF;
    QPalette face = palette();
    const QColor shown = colorFromRgbValue(m_color);
    face.setColor(QPalette::Button, shown);
    face.setColor(QPalette::Window, shown);
    setPalette(face);
    // The label beside the button names it; this says which colour it holds.
    setAccessibleDescription(shown.name());
}

void ColorButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    // A dark outer ring shows a white or grey colour, a light inner ring a dark one.
    QPainter painter(this);
    const QRect outer = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(outer);
    painter.setPen(palette().color(QPalette::Base));
    painter.drawRect(outer.adjusted(1, 1, -1, -1));
}

} // namespace quillet
