#pragma once

class QWidget;

// modTransparency: whole-window opacity.

namespace quillet {

// The alpha (0 transparent ... 255 opaque) for a value given in per cent
// (clamped to 0...100, value x 255 / 100 rounded half to even) or as a raw
// alpha (clamped to 0...255).
int transparencyAlpha(int value, bool valueIsPercent);

// Readies a window for setWindowTransparency; called before it is first shown.
// Where the window system has no whole-window opacity (Wayland), the window
// gets an alpha channel of its own and Qt paints its background, so it looks
// as before until it is made transparent.
void prepareWindowTransparency(QWidget *window);

// Draws the window, its children included, with that opacity: through the
// window system where it has whole-window opacity (X11), otherwise through
// the alpha of the window's own pixels.
void setWindowTransparency(QWidget *window, int value, bool valueIsPercent);

} // namespace quillet
