#pragma once

#include <QString>

namespace quillet {

// The values the whole process shares about its one chat.
extern QString ChatFilePath;       // full path of the chat file; empty while no chat is open
extern QString ExchangeFolderPath; // its folder, where message files are exchanged
extern bool StartHidden;           // the chat window starts hidden in the tray
extern QString MyGUID;             // this user's identity, the last field of every message

} // namespace quillet
