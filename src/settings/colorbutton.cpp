#include "settings/colorbutton.h"

#include <QColor>
#include <QPainter>
#include <QPalette>

namespace quillet {

ColorButton::ColorButton(QWidget *parent) : QPushButton(parent)
{
    setFlat(true);
    setAutoFillBackground(true);
    setColor(Qt::black);
}

void ColorButton::setColor(const QColor &color)
{
    m_color = QColor(color.rgb()); // opaque
    QPalette face = palette();
    face.setColor(QPalette::Button, m_color);
    face.setColor(QPalette::Window, m_color);
    setPalette(face);
    // The label beside the button names it; this says which colour it holds.
    setAccessibleDescription(m_color.name());
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
