#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>

namespace quillet {

// A square picture button without caption: one picture centred on its face
// and a three-dimensional edge, raised at rest and sunken while a mouse
// button (or Space, from the keyboard) is held down on it. The face is kept
// in an image of its own and redrawn only when the button is shown, resized,
// pressed or released, so a new picture appears at the next of those events.
// Being a QAbstractButton it takes Tab focus, answers Space and is a push
// button to screen readers, named by its tooltip or by the label whose buddy
// it is.
class PictureButton final : public QAbstractButton
{
    Q_OBJECT

public:
    explicit PictureButton(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(PictureButton)

    QPixmap picture() const { return m_picture; }
    // A null pixmap removes the picture. `doubleSize`, the same picture at
    // twice the pixels, is drawn instead on screens of a higher pixel ratio.
    void setPicture(const QPixmap &picture, const QPixmap &doubleSize = {});
    // Shows the PNG picture of the program's resources named `name`, with its
    // double-size variant where the resources have one; one that cannot be
    // loaded leaves the button blank, and the window works without it.
    void setPictureFromResource(const QString &name);

    // The button is a square of `side` pixels, as its layout keeps it.
    void setSide(int side);
    QSize sizeHint() const override { return {m_side, m_side}; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void drawButton(bool pressed);
    void showKeyDown();

    QPixmap m_picture;
    QPixmap m_doubleSize;
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
    QImage m_face;
    int m_side = 53;
    bool m_keyDown = false;
};

} // namespace quillet
