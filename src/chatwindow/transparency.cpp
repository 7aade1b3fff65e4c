#include "chatwindow/transparency.h"

#include <QWidget>

namespace quillet {

void setWindowTransparency(QWidget *window, int value, bool valueIsPercent)
{
    if (!window)
        return;
    // Qt takes the opacity as a fraction; alpha / 255 maps back onto the same
    // byte the window system uses.
    window->setWindowOpacity(transparencyAlpha(value, valueIsPercent) / 255.0);
}

} // namespace quillet
