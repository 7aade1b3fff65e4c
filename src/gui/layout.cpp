#include "gui/layout.h"

#include <QFontInfo>

namespace quillet {

namespace {

// The windows were designed for a 9 pt font at 96 dpi: 12 pixels.
constexpr double DesignFontPixels = 12.0;

} // namespace

void setDesignSize(QWidget *widget, QSize design)
{
    widget->setMinimumSize(design.expandedTo(widget->sizeHint()));
}

WrappedLabel::WrappedLabel(const QString &text, int designWidth, QWidget *parent)
    : QLabel(text, parent), m_designWidth(designWidth)
{
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

int WrappedLabel::preferredWidth() const
{
    const double scale = qMax(1.0, QFontInfo(font()).pixelSize() / DesignFontPixels);
    return qRound(m_designWidth * scale);
}

QSize WrappedLabel::sizeHint() const
{
    const int width = preferredWidth();
    return {width, heightForWidth(width)};
}

QSize WrappedLabel::minimumSizeHint() const
{
    return sizeHint();
}

} // namespace quillet
