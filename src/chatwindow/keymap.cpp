#include "chatwindow/keymap.h"

namespace quillet {

ChatKeyAction chatKeyAction(int key, Qt::KeyboardModifiers modifiers, ChatKeyTarget target,
                            bool sendOnEnter)
{
    // Only Shift, Ctrl, Alt and Meta count; the keypad flag tells the two
    // Enter keys and the two zero keys apart.
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    const Qt::KeyboardModifiers shiftState =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool none = shiftState == Qt::NoModifier;
    const bool shift = shiftState == Qt::ShiftModifier;
    const bool ctrl = shiftState == Qt::ControlModifier;
    const bool textBox =
        target == ChatKeyTarget::MessageBox || target == ChatKeyTarget::UserNameBox;

    switch (key) {
    case Qt::Key_Escape:
        return none ? ChatKeyAction::Hide : shift ? ChatKeyAction::Exit : ChatKeyAction::None;
    case Qt::Key_F9:
        return none ? ChatKeyAction::Settings : ChatKeyAction::None;
    case Qt::Key_L:
        return ctrl ? ChatKeyAction::Logs : ChatKeyAction::None;
    case Qt::Key_0:
        return ctrl && !keypad ? ChatKeyAction::Transparency : ChatKeyAction::None;
    case Qt::Key_A:
        return ctrl && textBox ? ChatKeyAction::SelectAll : ChatKeyAction::None;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (target != ChatKeyTarget::MessageBox)
            return ChatKeyAction::None;
        return (sendOnEnter ? none : ctrl) ? ChatKeyAction::Send : ChatKeyAction::None;
    default:
        return ChatKeyAction::None;
    }
}

} // namespace quillet
