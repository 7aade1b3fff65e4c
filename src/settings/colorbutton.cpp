#include "settings/colorbutton.h"

#include <QColor>
#include <QPalette>

#include "gui/dialogs.h"

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
}

} // namespace quillet
