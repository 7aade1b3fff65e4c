#include "gui/picturebutton.h"

#include "gui/resources.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace quillet {

PictureButton::PictureButton(QWidget *parent) : QAbstractButton(parent)
{
    resize(sizeHint());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Reachable with Tab, but a mouse click leaves the focus where the user typed.
    setFocusPolicy(Qt::TabFocus);
}

void PictureButton::setSide(int side)
{
    m_side = side;
    resize(sizeHint());
    updateGeometry();
}

void PictureButton::setPictureFromResource(const QString &name)
{
    const auto load = [](const QString &resource) -> QPixmap {
        const Result<QByteArray> bytes = resourcePicture(resource);
        const Result<QPixmap> picture = bytes ? pictureFromPng(bytes.value()) : bytes.error();
        return picture ? picture.value() : QPixmap();
    };
    if (const QPixmap picture = load(name); !picture.isNull())
        setPicture(picture, load(doubleSizeName(name)));
}

void PictureButton::setPicture(const QPixmap &picture, const QPixmap &doubleSize)
{
    m_pictureWidth = picture.isNull() ? 0 : picture.width();
    m_pictureHeight = picture.isNull() ? 0 : picture.height();
    m_picture = picture;
    m_doubleSize = doubleSize.size() == picture.size() * 2 ? doubleSize : QPixmap();
}

bool PictureButton::event(QEvent *event)
{
    // The tooltip is what a sighted user reads; it is the button's name for a
    // screen reader too (without the padding blanks).
    if (event->type() == QEvent::ToolTipChange)
        setAccessibleName(toolTip().trimmed());
    return QAbstractButton::event(event);
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
        // Drawn into the face's device pixels: the double-size picture fills
        // them one to one at a ratio of 2 and is scaled down, not up, between.
        const bool sharper = ratio > 1.0 && !m_doubleSize.isNull();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, sharper && ratio != 2.0);
        painter.drawPixmap(QRect(x, y, m_pictureWidth, m_pictureHeight),
                           sharper ? m_doubleSize : m_picture);
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
    QAbstractButton::showEvent(event);
    drawButton(false);
}

void PictureButton::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    drawButton(false);
}

// Any mouse button shows the sunken edge; only the left one clicks. The second
// press of a double click arrives here too, so a double click clicks twice.
void PictureButton::mousePressEvent(QMouseEvent *event)
{
    drawButton(true);
    if (event->button() == Qt::LeftButton)
        QAbstractButton::mousePressEvent(event);
    else
        event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event)
{
    drawButton(false);
    if (event->button() == Qt::LeftButton)
        QAbstractButton::mouseReleaseEvent(event);
    else
        event->accept();
}

// Space holds the button down as a mouse button does; Esc or leaving the
// button lets it up again without a click.
void PictureButton::keyPressEvent(QKeyEvent *event)
{
    QAbstractButton::keyPressEvent(event);
    showKeyDown();
}

void PictureButton::keyReleaseEvent(QKeyEvent *event)
{
    QAbstractButton::keyReleaseEvent(event);
    showKeyDown();
}

void PictureButton::focusOutEvent(QFocusEvent *event)
{
    QAbstractButton::focusOutEvent(event);
    showKeyDown();
}

void PictureButton::showKeyDown()
{
    if (isDown() == m_keyDown)
        return;
    m_keyDown = isDown();
    drawButton(m_keyDown);
}

} // namespace quillet
