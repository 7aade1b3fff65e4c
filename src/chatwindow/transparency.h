#pragma once

class QWidget;

// modTransparency: whole-window opacity.

namespace quillet {

// The alpha (0 transparent ... 255 opaque) for a value given in per cent
// (clamped to 0...100, value x 255 / 100 rounded half to even) or as a raw
// alpha (clamped to 0...255).
int transparencyAlpha(int value, bool valueIsPercent);

// Draws the window, its children included, with that opacity.
void setWindowTransparency(QWidget *window, int value, bool valueIsPercent);

} // namespace quillet
