#pragma once

#include "core/error.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace quillet {

// A square picture button without caption: one picture centred on its face
// and a three-dimensional edge, raised at rest and sunken while a mouse
// button is held down on it. The face is kept in an image of its own and
// redrawn only when the button is shown, resized, pressed or released, so a
// new picture appears at the next of those events.
class PictureButton final : public QWidget
{
    Q_OBJECT

public:
    explicit PictureButton(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(PictureButton)

    QPixmap picture() const { return m_picture; }
    // A null pixmap removes the picture.
    Status setPicture(const QPixmap &picture);

    // Emits clicked as a mouse click would, while the button is enabled
    // (keyboard shortcuts that stand for a click).
    void click();

    QSize sizeHint() const override { return {53, 53}; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void drawButton(bool pressed);

    QPixmap m_picture;
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
    QImage m_face;
    // A left press whose release still counts as a click (not the second
    // press of a double click, which has emitted clicked already).
    bool m_clickArmed = false;
};

} // namespace quillet
