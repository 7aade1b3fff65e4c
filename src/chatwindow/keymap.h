#pragma once

#include <Qt>

namespace quillet {

// The chat window's key map. The window looks at every key before the focused
// widget; the modifiers must match exactly (Ctrl+Shift+L is not Ctrl+L).
enum class ChatKeyAction
{
    None,
    Hide,         // Esc
    Exit,         // Shift+Esc
    Settings,     // F9
    Logs,         // Ctrl+L
    Transparency, // Ctrl+0 of the main keyboard
    SelectAll,    // Ctrl+A in one of the two text boxes
    Send,         // Enter or Ctrl+Enter in the message box, by "Send on Enter"
};

enum class ChatKeyTarget
{
    Other,
    MessageBox,
    UserNameBox,
};

ChatKeyAction chatKeyAction(int key, Qt::KeyboardModifiers modifiers, ChatKeyTarget target,
                            bool sendOnEnter);

} // namespace quillet
