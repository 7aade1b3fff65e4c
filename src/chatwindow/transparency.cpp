#include "transparency.h"

#include <QWidget>

void SetWindowTransparency(QWidget *window, int value, bool valueIsPercent)
{
    if (!window)
        return;
    // Qt takes the opacity as a fraction; alpha / 255 maps back onto the same
    // byte the window system uses.
    window->setWindowOpacity(TransparencyAlpha(value, valueIsPercent) / 255.0);
}
