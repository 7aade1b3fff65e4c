#pragma once

#include <QLabel>

namespace quillet {

// Gives the widget at least its size in a window's design, or what its text
// needs where that is more: a layout keeps it from shrinking below either.
void setDesignSize(QWidget *widget, QSize design);

// A word-wrapped label as wide as its window was designed for, so that a
// window sized to its content wraps the text there rather than at Qt's guess;
// its height is what the lines need at that width. A desktop font larger than
// the design's widens it in proportion.
class WrappedLabel final : public QLabel
{
    Q_OBJECT

public:
    WrappedLabel(const QString &text, int designWidth, QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(WrappedLabel)

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    int preferredWidth() const;

    int m_designWidth;
};

} // namespace quillet
