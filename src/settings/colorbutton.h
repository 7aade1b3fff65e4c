#pragma once

#include <QPushButton>

namespace quillet {

// A flat push button without caption whose face is the colour it edits,
// inside a dark and a light ring so that no colour blends into the dialog.
class ColorButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit ColorButton(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ColorButton)

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color = Qt::black;
};

} // namespace quillet
