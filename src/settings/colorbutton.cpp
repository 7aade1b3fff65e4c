#include "colorbutton.h"

#include <QColor>
#include <QPalette>

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

QColor colorFromRgbValue(qint32 value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

qint32 rgbValueFromColor(const QColor &color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
