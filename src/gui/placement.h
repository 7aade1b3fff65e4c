#pragma once

#include "core/error.h"

#include <QString>

class QWidget;

namespace quillet {

// Window placements in the settings store, under `key` of `section`. Each kind
// of window has a section of its own, so the chat window and the logs viewer of
// one chat, which use the same key, do not overwrite each other.
// A resizable window keeps its size and whether it is maximised as well.
[[nodiscard]] Status saveWindowPlacement(QWidget *window, const QString &section,
                                         const QString &key);
// Moves the window to its stored placement; leaves it where it is when none
// is stored or the stored one lies on no screen. A resizable window takes its
// stored size, never below its smallest.
void restoreWindowPlacement(QWidget *window, const QString &section, const QString &key);
// Centres the window on the screen it is on (or the primary screen).
void centerOnScreen(QWidget *window);

} // namespace quillet
