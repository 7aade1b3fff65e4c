#include "gui/picturebutton.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace quillet {

PictureButton::PictureButton(QWidget *parent) : QWidget(parent)
{
    resize(sizeHint());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Status PictureButton::setPicture(const QPixmap &picture)
{
    m_pictureWidth = picture.isNull() ? 0 : picture.width();
    m_pictureHeight = picture.isNull() ? 0 : picture.height();
    m_picture = picture;
    return {};
}

void PictureButton::click()
{
    if (isEnabled())
        emit clicked();
}

void PictureButton::drawButton(bool pressed)
{
    const qreal ratio = devicePixelRatioF();
    m_face = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    m_face.setDevicePixelRatio(ratio);
    m_face.fill(palette().color(QPalette::Button));

    QPainter painter(&m_face);
    const QRect client = rect();
    if (!m_picture.isNull()) {
        // Integer division rounds towards zero: an odd remainder is dropped and
        // a picture larger than the button is cut off evenly.
        const int x = (client.width() - m_pictureWidth) / 2;
        const int y = (client.height() - m_pictureHeight) / 2;
        painter.drawPixmap(x, y, m_pictureWidth, m_pictureHeight, m_picture);
    }
    qDrawWinButton(&painter, client, palette(), pressed, nullptr);
    painter.end();
    update();
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_face.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Button));
    else
        painter.drawImage(0, 0, m_face);
}

void PictureButton::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    drawButton(false);
}

void PictureButton::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    drawButton(false);
}

void PictureButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_clickArmed = true;
    drawButton(true);
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event)
{
    drawButton(false);
    const bool click = event->button() == Qt::LeftButton && m_clickArmed &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_clickArmed = false;
    if (click)
        emit clicked();
}

// The second press of a double click emits clicked at once; its release does not.
void PictureButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    drawButton(true);
    if (event->button() == Qt::LeftButton) {
        m_clickArmed = false;
        emit clicked();
    }
}

} // namespace quillet
