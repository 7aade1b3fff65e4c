#pragma once

#include <optional>

namespace quillet {

// Whether the desktop shows tray icons. Without one, the chat window is
// minimised instead of hidden, so that it can never become unreachable.
// Tests fix the answer to run both ways on any desktop.
bool trayAvailable();
void overrideTrayAvailable(std::optional<bool> available);

} // namespace quillet
