#pragma once

#include <QPushButton>

namespace quillet {

// A flat push button without caption whose face is the colour it edits,
// inside a dark and a light ring so that no colour blends into the dialog.
// The colour is kept in the program's layout 0x00BBGGRR (red lowest).
class ColorButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit ColorButton(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ColorButton)

    qint32 color() const { return m_color; }
    void setColor(qint32 color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qint32 m_color = 0;
};

} // namespace quillet
